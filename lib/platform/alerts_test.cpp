#include "alerts.h"

#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>

#include "qd_path.h"
#include "temp_root.h"

namespace {

const char* const kAlerts = "/var/log/qd/alerts.log";
const std::string kFFFD = "\xEF\xBF\xBD";

// Strict reader of one flat JSON object whose values are strings: false on
// anything JSON does not allow there. Decodes the escapes the writer uses
// (\u only below U+0080, which is all it emits).
bool ParseFlatObject(const std::string& s, std::map<std::string, std::string>& out) {
  static const std::map<char, char> simple = {{'"', '"'}, {'\\', '\\'}, {'/', '/'}, {'n', '\n'},
                                              {'r', '\r'}, {'t', '\t'}, {'b', '\b'}, {'f', '\f'}};
  size_t i = 0;
  auto str = [&](std::string& v) {
    if (i >= s.size() || s[i++] != '"') return false;
    while (i < s.size()) {
      char c = s[i++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20 || (c == '\\' && i >= s.size())) return false;
      if (c != '\\') {
        v += c;
      } else if (simple.count(s[i])) {
        v += simple.at(s[i++]);
      } else if (s.compare(i, 3, "u00") == 0 && i + 5 <= s.size() && s[i + 3] < '8') {
        v += static_cast<char>(std::stoi(s.substr(i + 3, 2), nullptr, 16));
        i += 5;
      } else {
        return false;
      }
    }
    return false;
  };
  if (s.empty() || s[i++] != '{') return false;
  for (;;) {
    std::string key, value;
    if (!str(key) || i >= s.size() || s[i++] != ':' || !str(value)) return false;
    out[key] = value;
    if (i >= s.size() || s[i] != ',') return i + 1 == s.size() && s[i] == '}';
    ++i;
  }
}

std::vector<std::map<std::string, std::string>> ReadAlerts(const TempRoot& root) {
  std::vector<std::map<std::string, std::string>> alerts;
  std::istringstream in(root.read(kAlerts));
  for (std::string line; std::getline(in, line);) {
    std::map<std::string, std::string> fields;
    EXPECT_TRUE(ParseFlatObject(line, fields)) << line;
    alerts.push_back(fields);
  }
  return alerts;
}

}  // namespace

TEST(Alerts, EveryLineIsValidJsonWhateverTheBytes) {
  TempRoot root;
  std::string abstract = "say \"hi\" \\ back/slash";
  std::string text =
      "line1\nline2\ttab\x01\x1f\x7f|\xff|\xc3(|\xc0\xaf|\xed\xa0\x80|\xf0\x9f |"
      "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  std::string want_text = "line1\nline2\ttab\x01\x1f\x7f|" + kFFFD + "|" + kFFFD + "(|" + kFFFD +
                          kFFFD + "|" + kFFFD + kFFFD + kFFFD + "|" + kFFFD + kFFFD +
                          " |\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
  EXPECT_EQ(ProcessNotify("q\"d", 'H', abstract.c_str(), text.c_str()), QD_ALERT_DONE);
  EXPECT_EQ(BackDoorNotify("qdGrpNot", 'H', "qdGrpNot unable to Send() NIQ message", nullptr, '0'),
            QD_ALERT_DONE);

  auto alerts = ReadAlerts(root);
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0]["kind"], "process");
  EXPECT_EQ(alerts[0]["name"], "q\"d");
  EXPECT_EQ(alerts[0]["urgency"], "H");
  EXPECT_EQ(alerts[0]["abstract"], abstract);
  EXPECT_EQ(alerts[0]["text"], want_text);
  EXPECT_TRUE(std::regex_match(alerts[0]["time"],
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4})")))
      << alerts[0]["time"];
  EXPECT_EQ(alerts[1]["kind"], "backdoor");
  EXPECT_EQ(alerts[1]["text"], "");
  EXPECT_EQ(alerts[1].size(), 6u);

  // Both alerts also stand in the platform log, one line each.
  std::string log = root.read("/var/log/qd/qd.log");
  EXPECT_NE(log.find("q\"d["), std::string::npos) << log;
  EXPECT_NE(log.find("QDZ0090 A Operator alert (backdoor) from qdGrpNot, urgency H: "
                     "qdGrpNot unable to Send() NIQ message -- \n"),
            std::string::npos)
      << log;
}

TEST(Alerts, UnwritableAlertFileIsReportedAsFailure) {
  TempRoot root;
  QdMakeDirs(root.under(kAlerts));  // a directory where the file should be
  EXPECT_EQ(ProcessNotify("qdAnalyze", 'L', "abstract", "text"), QD_ALERT_FAILED);
  // Missing directories are made, not a reason to fail.
  TempRoot fresh;
  RemoveTree(fresh.under("/var/log/qd"));
  EXPECT_EQ(ProcessNotify("qdAnalyze", 'L', "abstract", "text"), QD_ALERT_DONE);
  EXPECT_EQ(ReadAlerts(fresh).size(), 1u);
}
