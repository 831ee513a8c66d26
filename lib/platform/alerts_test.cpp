#include "alerts.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <map>
#include <regex>
#include <sstream>

#include "qd_path.h"
#include "temp_root.h"

namespace {

const char* const kAlerts = "/var/log/qd/alerts.log";
const std::string kFFFD = "\xEF\xBF\xBD";

bool ValidUtf8(const std::string& text) {
  iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  std::string in = text;
  std::string out(in.size() * 4 + 4, '\0');
  char* inp = in.data();
  char* outp = out.data();
  size_t inleft = in.size(), outleft = out.size();
  size_t rc = iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  return rc != static_cast<size_t>(-1) && inleft == 0;
}

void AppendUtf8(unsigned cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Strict reader of one flat JSON object whose values are strings: false on
// anything JSON does not allow there. Escapes are decoded.
bool ParseFlatObject(const std::string& s, std::map<std::string, std::string>& out) {
  size_t i = 0;
  auto str = [&](std::string& v) {
    if (i >= s.size() || s[i++] != '"') return false;
    while (i < s.size()) {
      unsigned char c = static_cast<unsigned char>(s[i++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        v += static_cast<char>(c);
        continue;
      }
      if (i >= s.size()) return false;
      char e = s[i++];
      static const std::map<char, char> simple = {{'"', '"'},  {'\\', '\\'}, {'/', '/'}, {'n', '\n'},
                                                  {'r', '\r'}, {'t', '\t'},  {'b', '\b'}, {'f', '\f'}};
      if (simple.count(e)) {
        v += simple.at(e);
      } else if (e == 'u' && i + 4 <= s.size()) {
        AppendUtf8(static_cast<unsigned>(std::stoul(s.substr(i, 4), nullptr, 16)), v);
        i += 4;
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
    if (i < s.size() && s[i] == ',') {
      ++i;
      continue;
    }
    return i + 1 == s.size() && s[i] == '}';
  }
}

std::vector<std::map<std::string, std::string>> ReadAlerts(const TempRoot& root) {
  std::vector<std::map<std::string, std::string>> alerts;
  std::istringstream in(root.read(kAlerts));
  for (std::string line; std::getline(in, line);) {
    std::map<std::string, std::string> fields;
    EXPECT_TRUE(ValidUtf8(line)) << line;
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
