#include "log_message.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "qd_path.h"
#include "temp_root.h"

namespace {

const char* const kLog = "/var/log/qd/qd.log";
const char* const kCatalogue = "/usr/local/qd/share/messages.cat";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The TEXT part of the platform log's only line.
std::string OnlyText(const TempRoot& root) {
  std::vector<std::string> lines = Lines(root.read(kLog));
  if (lines.size() != 1) return "<" + std::to_string(lines.size()) + " lines>";
  std::smatch m;
  static const std::regex line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+\[\d+\] [A-Z]{3}\d{4} [A012] (.*)$)");
  return std::regex_match(lines[0], m, line) ? m[1].str() : "<malformed: " + lines[0] + ">";
}

}  // namespace

TEST(Logger, SubstitutesCatalogueTextsAndStillLogsWhatIsMissing) {
  struct Case {
    std::string want;
    std::function<bool(CLogMessage&)> insert;
  };
  const std::vector<Case> cases = {
      {"Copied src to dst (50%)", [](CLogMessage& l) { return l.Insert("QDX0001", '1', "dst", std::string("src"), 50); }},
      {"only a | b", [](CLogMessage& l) { return l.Insert(std::string("QDX0002"), 'A', 'a', "b"); }},
      {"gap %2", [](CLogMessage& l) { return l.Insert("QDX0003", '0', "gap"); }},
      {"-1 | patterns | 3 | 2.5 | 7", [](CLogMessage& l) { return l.Insert("QDA0036", '2', -1, "patterns", 3L, 2.5, 7u); }},
      {"only f: No such file or directory", [](CLogMessage& l) { return l.Insert(ENOENT, "QDX0002", '2', "f"); }},
      {"line\\none\\ttab\\x01", [](CLogMessage& l) { return l.Insert("QDZ9999", '2', "line\none\ttab\x01"); }},
  };
  for (const Case& c : cases) {
    TempRoot root;
    root.write(kCatalogue, "# test\nQDX0001 Copied %2 to %1 (%3%%)\nQDX0002\t only %1  \nQDX0003 %1 %2\n\nQDZ9999 %1\n");
    CLogMessage logger("QDTEST");
    ASSERT_EQ(logger.CreateError, 0) << logger.szErrorMsg;
    ASSERT_TRUE(c.insert(logger)) << logger.szErrorMsg;
    EXPECT_EQ(OnlyText(root), c.want);
  }
}

TEST(Logger, RefusesMalformedIdsAndUrgenciesWithoutLogging) {
  TempRoot root;
  RemoveTree(root.under("/var/log/qd"));
  CLogMessage logger("QDTEST");
  ASSERT_EQ(logger.CreateError, 0) << logger.szErrorMsg;
  for (const char* id : {"QDZ001", "QDZ00011", "qdz0001", "Q1Z0001", "QDZ000A", "", (const char*)nullptr}) {
    EXPECT_FALSE(logger.Insert(id, 'A')) << (id ? id : "null");
    EXPECT_STRNE(logger.szErrorMsg, "");
  }
  for (char urgency : {'B', '3', 'a', '\0'}) EXPECT_FALSE(logger.Insert("QDZ0001", urgency));
  EXPECT_EQ(root.read(kLog), "");
  // The directory is made on the first good message.
  EXPECT_TRUE(logger.Insert("QDZ0001", 'A')) << logger.szErrorMsg;
  EXPECT_EQ(OnlyText(root), "Process started");
  RemoveTree(root.under(kLog));
  QdMakeDirs(root.under(kLog));  // a directory where the log should be
  EXPECT_FALSE(logger.Insert("QDZ0001", 'A'));
  EXPECT_NE(std::string(logger.szErrorMsg).find("qd.log"), std::string::npos);
}

TEST(Logger, CreationChecksNameAndCatalogue) {
  TempRoot root;
  EXPECT_EQ(CLogMessage("").CreateError, 1);
  EXPECT_EQ(CLogMessage("two words").CreateError, 1);
  EXPECT_EQ(CLogMessage("X", "/no/such.cat").CreateError, 2);
  root.write(kCatalogue, "QDZ0001 a\nQDZ001 b\n");
  CLogMessage bad_id("X");
  EXPECT_EQ(bad_id.CreateError, 3);
  EXPECT_NE(std::string(bad_id.szErrorMsg).find("line 2"), std::string::npos);
  root.write(kCatalogue, "QDZ0001 a\nQDZ0001 b\n");
  EXPECT_EQ(CLogMessage("X").CreateError, 3);
}

TEST(Logger, ShippedCatalogueCoversTheSharedMessages) {
  TempRoot root;  // nothing installed: the build tree's copy is used
  CLogMessage logger("QDTEST");
  ASSERT_EQ(logger.CreateError, 0) << logger.szErrorMsg;
  std::map<std::string, int> args = {
      {"QDZ0001", 0}, {"QDZ0002", 1}, {"QDZ0003", 0}, {"QDZ0004", 0}, {"QDZ0005", 0},
      {"QDZ0006", 1}, {"QDZ0020", 1}, {"QDZ0021", 1}, {"QDZ0031", 1}, {"QDZ0032", 2},
      {"QDZ0034", 2}, {"QDZ0040", 1}, {"QDZ0041", 2}, {"QDZ0042", 2}, {"QDZ0044", 1},
      {"QDZ0045", 1}, {"QDZ0047", 2}, {"QDZ0048", 1}, {"QDZ0049", 2}, {"QDZ0080", 2},
      {"QDZ0090", 5}, {"QDZ0100", 3}, {"QDZ0102", 2}, {"QDZ9999", 1}};
  for (const auto& [id, count] : args) {
    std::vector<std::string> inserts;
    for (int i = 1; i <= count; ++i) inserts.push_back("<" + std::to_string(i) + ">");
    std::string text = logger.Text(id.c_str(), inserts);
    // Every argument placed by the text itself, none appended, none missing.
    EXPECT_EQ(text.find(" | "), std::string::npos) << id << ": " << text;
    EXPECT_EQ(text.find('%'), std::string::npos) << id << ": " << text;
    for (const std::string& insert : inserts) EXPECT_NE(text.find(insert), std::string::npos) << id;
    if (count == 0) {
      EXPECT_FALSE(text.empty()) << id;
    }
  }
}

TEST(Logger, ConcurrentWritersNeverInterleaveLines) {
  TempRoot root;
  const int kWriters = 6, kLines = 400, kLength = 3000;
  std::vector<pid_t> children;
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(gate[1]);
      char ignored;
      while (read(gate[0], &ignored, 1) < 0) {  // all writers start together
      }
      CLogMessage logger(("W" + std::to_string(w)).c_str());
      int failures = logger.CreateError;
      for (int n = 0; n < kLines; ++n) {
        std::string payload(kLength, static_cast<char>('a' + w));
        failures += !logger.Insert("QDZ9999", '1', std::to_string(n) + ":" + payload);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::string> lines = Lines(root.read(kLog));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kWriters * kLines));
  std::vector<int> next(kWriters, 0);
  static const std::regex line(R"(^\S+ \S+ W(\d)\[\d+\] QDZ9999 1 (\d+):([a-z]+)$)");
  for (const std::string& l : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l.substr(0, 80);
    int w = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), next[w]++);  // each writer's lines in order
    EXPECT_EQ(m[3].str(), std::string(kLength, static_cast<char>('a' + w)));
  }
}

TEST(Logger, TheLogLineIsUtf8WhateverBytesTheTextHolds) {
  EXPECT_EQ(QdEscapeLogText("caf\xc3\xa9 \xff\xc3(x\xed\xa0\x80\n"),
            "caf\xc3\xa9 \\xff\\xc3(x\\xed\\xa0\\x80\\n");
  EXPECT_EQ(QdEscapeLogText("ab\xc3\xa9", 3), "ab...");  // no character cut in two
}

TEST(Logger, Log2cerrWritesOneStampedLineNamingTheModule) {
  TempRoot root;
  std::string path = root.under("/tmp/stderr");
  int saved = dup(STDERR_FILENO);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  dup2(fd, STDERR_FILENO);
  close(fd);
  int plain = Log2cerr("Failed to set up signals", "qdAnalyze", false);
  int daemon = Log2cerr(std::string("two\nlines"), "qdNotify", true);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(plain, 0);
  EXPECT_EQ(daemon, 0);
  std::vector<std::string> lines = Lines(root.read("/tmp/stderr"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(^\S+ \S+ qdAnalyze: Failed to set up signals$)")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(^\S+ \S+ qdNotify\[\d+\]: two\\nlines$)")))
      << lines[1];
}
