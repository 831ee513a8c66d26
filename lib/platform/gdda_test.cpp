#include "gdda.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "temp_root.h"

namespace {

const char* const kConf = "/etc/qd/gdda.conf";
const char* const kState = "/var/lib/qd/gdda.state";

bool NotFound(const CGDDA& d) { return std::strstr(d.szErrorMsg, " value not found") != nullptr; }

}  // namespace

TEST(Dictionary, LevelsFallBackToGlobalAndStateOverridesConf) {
  TempRoot root;
  root.write(kConf,
             "# operator settings\n[global]\nSYSTEM_LEVEL = prod\nSP_ID = SP0042\nX = conf-global\n"
             "[Prod]\n  ORASID =  proddb  \nX = conf-prod\n[Test]\nEMPTY =\n");
  CGDDA d;
  ASSERT_EQ(d.CreateError, 0) << d.szErrorMsg;
  char level[kGddaLevelTextSize];
  EXPECT_EQ(d.GetSystemLevel(level), GDDA_PROD);
  EXPECT_STREQ(level, "Prod");

  char text[32];
  ASSERT_TRUE(d.GetValue("ORASID", text, GDDA_PROD, true));
  EXPECT_STREQ(text, "proddb");
  ASSERT_TRUE(d.GetValue("SP_ID", text, GDDA_PROD, true)) << d.szErrorMsg;
  EXPECT_STREQ(text, "SP0042");
  ASSERT_TRUE(d.GetValue("EMPTY", text, GDDA_TEST, true));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(d.GetValue("SP_ID", text, GDDA_PROD, false));
  EXPECT_TRUE(NotFound(d)) << d.szErrorMsg;
  EXPECT_FALSE(d.GetValue("ORAID", text, GDDA_TEST, true));
  EXPECT_TRUE(NotFound(d)) << d.szErrorMsg;
  EXPECT_FALSE(d.GetValue("ORASID", text, 5, true));
  EXPECT_FALSE(NotFound(d));

  // Another object stands for another process: its writes are seen at once.
  CGDDA writer;
  ASSERT_TRUE(writer.SetValue("ORASID", "statedb", GDDA_PROD, 2, true)) << writer.szErrorMsg;
  ASSERT_TRUE(d.GetValue("ORASID", text, GDDA_PROD, true));
  EXPECT_STREQ(text, "statedb");
  // A Global state value does not shadow the level's own configuration.
  ASSERT_TRUE(writer.SetValue("X", "state-global", GDDA_GLOBAL));
  ASSERT_TRUE(d.GetValue("X", text, GDDA_PROD));
  EXPECT_STREQ(text, "conf-prod");
  ASSERT_TRUE(d.GetValue("X", text, GDDA_DEV));
  EXPECT_STREQ(text, "state-global");
}

TEST(Dictionary, ConvertsFlagsNumbersAndTextsOrSaysWhy) {
  TempRoot root;
  root.write(kConf,
             "[Global]\nY1 = y\nY2 = YES\nY3 = True\nY4 = 1\nN1 = n\nN2 = No\nN3 = FALSE\n"
             "N4 = 0\nBAD = maybe\nNUM = -42\nBIG = 99999999999999999999\nLONG = 0123456789\n");
  CGDDA d;
  for (const char* key : {"Y1", "Y2", "Y3", "Y4", "N1", "N2", "N3", "N4"}) {
    bool flag = key[0] == 'N';
    ASSERT_TRUE(d.GetValue(key, flag, GDDA_GLOBAL)) << key << ": " << d.szErrorMsg;
    EXPECT_EQ(flag, key[0] == 'Y') << key;
  }
  bool flag = true;
  EXPECT_FALSE(d.GetValue("BAD", flag, GDDA_GLOBAL));
  EXPECT_TRUE(flag);  // untouched on failure
  EXPECT_NE(std::strstr(d.szErrorMsg, "maybe"), nullptr) << d.szErrorMsg;

  long number = 7;
  ASSERT_TRUE(d.GetValue("NUM", number, GDDA_GLOBAL));
  EXPECT_EQ(number, -42);
  EXPECT_FALSE(d.GetValue("BIG", number, GDDA_GLOBAL));
  EXPECT_FALSE(d.GetValue("BAD", number, GDDA_GLOBAL));
  EXPECT_EQ(number, -42);

  // A value that does not fit is refused, never cut; boundary at size-1.
  char fits[11] = "untouched";
  ASSERT_TRUE(d.GetValue("LONG", fits, GDDA_GLOBAL));
  EXPECT_STREQ(fits, "0123456789");
  char tight[10] = "untouched";
  EXPECT_FALSE(d.GetValue("LONG", tight, GDDA_GLOBAL));
  EXPECT_STREQ(tight, "untouched");
}

TEST(Dictionary, RefusesWhatTheFileCannotHoldAndKeepsTheStateFile) {
  TempRoot root;
  CGDDA d;
  ASSERT_TRUE(d.SetValue("EMAIL.FROM_ID", "a=b # c ] [x]", GDDA_GLOBAL));
  std::string before = root.read(kState);
  for (const char* key : {"", "A=B", "A]", "[A", "#A", ";A", "A B", "A\nB"}) {
    EXPECT_FALSE(d.SetValue(key, "v", GDDA_GLOBAL)) << key;
    EXPECT_STRNE(d.szErrorMsg, "");
  }
  for (const char* value : {"x\ny", "x\r", " x", "x ", "\x01"}) {
    EXPECT_FALSE(d.SetValue("K", value, GDDA_GLOBAL)) << value;
  }
  EXPECT_FALSE(d.SetValue("K", std::string("a\0b", 3), GDDA_GLOBAL));
  EXPECT_FALSE(d.SetValue("NEW", "v", GDDA_GLOBAL, 2, false));  // create refused
  EXPECT_TRUE(NotFound(d));
  EXPECT_EQ(root.read(kState), before);

  std::string value;
  ASSERT_TRUE(d.GetValue("EMAIL.FROM_ID", value, GDDA_GLOBAL));
  EXPECT_EQ(value, "a=b # c ] [x]");
  ASSERT_TRUE(d.SetValue("EMAIL.FROM_ID", 17, GDDA_GLOBAL, 2, false));
  long number = 0;
  ASSERT_TRUE(d.GetValue("EMAIL.FROM_ID", number, GDDA_GLOBAL));
  EXPECT_EQ(number, 17);
}

TEST(Dictionary, MalformedFilesAreReportedNotGuessed) {
  TempRoot root;
  root.write(kConf, "[Global]\nA = 1\n[Stage]\nB = 2\n");
  CGDDA unknown_level;
  EXPECT_NE(unknown_level.CreateError, 0);
  EXPECT_NE(std::strstr(unknown_level.szErrorMsg, "line 3"), nullptr) << unknown_level.szErrorMsg;

  root.write(kConf, "A = 1\n");
  EXPECT_NE(CGDDA().CreateError, 0);

  root.write(kConf, "[Global]\nSYSTEM_LEVEL = Stage\n");
  CGDDA d;
  ASSERT_EQ(d.CreateError, 0);
  char level[kGddaLevelTextSize];
  EXPECT_EQ(d.GetSystemLevel(level), GDDA_INVALID);
  EXPECT_STREQ(level, "Invalid");

  // A hand-broken state file is neither read past nor overwritten; a
  // temporary file left by a crash does not matter.
  root.write(kState, "[Global]\ngarbage\n");
  root.write(std::string(kState) + ".tmp", "[Glo");
  EXPECT_FALSE(d.SetValue("K", "v", GDDA_GLOBAL));
  EXPECT_EQ(root.read(kState), "[Global]\ngarbage\n");
  root.write(kState, "[Global]\nK = old\n");
  ASSERT_TRUE(d.SetValue("K2", "new", GDDA_GLOBAL)) << d.szErrorMsg;
  std::string value;
  ASSERT_TRUE(d.GetValue("K", value, GDDA_GLOBAL));
  EXPECT_EQ(value, "old");
}

TEST(Dictionary, ConcurrentWritersInSeparateProcessesLoseNothing) {
  TempRoot root;
  const int kWriters = 6, kKeys = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      CGDDA d;
      int failures = 0;
      for (int k = 0; k < kKeys; ++k) {
        std::string key = "W" + std::to_string(w) + "_K" + std::to_string(k);
        failures += !d.SetValue(key.c_str(), "v" + std::to_string(w * 1000 + k), GDDA_DEV);
        failures += !d.SetValue("SHARED", std::to_string(w), GDDA_GLOBAL);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  CGDDA d;
  std::vector<GddaEntry> entries;
  ASSERT_EQ(d.List(entries), 0);
  EXPECT_EQ(entries.size(), static_cast<size_t>(kWriters * kKeys + 1));
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kKeys; ++k) {
      std::string key = "W" + std::to_string(w) + "_K" + std::to_string(k), value;
      ASSERT_TRUE(d.GetValue(key.c_str(), value, GDDA_DEV, false)) << d.szErrorMsg;
      EXPECT_EQ(value, "v" + std::to_string(w * 1000 + k));
    }
  }
}
