#include "qd_path.h"
#include "time_scale.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "temp_root.h"

TEST(PathRoot, UnsetRootLeavesPathsAlone) {
  unsetenv("QD_ROOT");
  EXPECT_EQ(QdPath("/sp/prod/data/files"), "/sp/prod/data/files");
  EXPECT_EQ(QdRoot(), "");
}

TEST(PathRoot, RootPrefixesAbsolutePathsOnly) {
  setenv("QD_ROOT", "/tmp/r//", 1);
  EXPECT_EQ(QdPath("/etc/qd/gdda.conf"), "/tmp/r/etc/qd/gdda.conf");
  EXPECT_EQ(QdPath("relative/file"), "relative/file");
  EXPECT_EQ(QdPath(""), "");
  unsetenv("QD_ROOT");
}

TEST(PathRoot, MakeDirsCreatesParentsAndRefusesFiles) {
  TempRoot root;
  std::string deep = root.under("/a/b/c");
  ASSERT_EQ(QdMakeDirs(deep), 0);
  struct stat st;
  EXPECT_EQ(stat(deep.c_str(), &st), 0);
  EXPECT_EQ(QdMakeDirs(deep), 0);  // existing is fine
  root.write("/a/file", "x");
  EXPECT_EQ(QdMakeDirs(root.under("/a/file")), -1);
}

TEST(PathRoot, SafePathWordsCannotLeaveTheirDirectory) {
  EXPECT_TRUE(QdSafePathWord("1400123"));
  EXPECT_TRUE(QdSafePathWord("2.3.1.45"));
  for (const char* bad : {"", ".", "..", "../x", "a/b", "a b", "x\n"}) EXPECT_FALSE(QdSafePathWord(bad)) << bad;
  EXPECT_FALSE(QdSafePathWord("050415.102430.0+234595"));
  EXPECT_TRUE(QdSafePathWord("050415.102430.0+234595", "+"));
  EXPECT_FALSE(QdSafePathWord("a/b", "+"));
}

TEST(TimeScale, FactorComesOnlyFromAValidPositiveNumber) {
  unsetenv("QD_TIME_SCALE");
  EXPECT_DOUBLE_EQ(QdTimeScale(), 1.0);
  for (const char* bad : {"", "abc", "0", "-2", "1x", "inf"}) {
    setenv("QD_TIME_SCALE", bad, 1);
    EXPECT_DOUBLE_EQ(QdTimeScale(), 1.0) << bad;
  }
  setenv("QD_TIME_SCALE", "0.001", 1);
  EXPECT_DOUBLE_EQ(QdScaledSeconds(900), 0.9);
  EXPECT_EQ(QdScaledMillis(900), 900);
  EXPECT_EQ(QdScaledMillis(0.1), 1);  // never rounds a real wait to nothing
  EXPECT_EQ(QdScaledMillis(0), 0);
  unsetenv("QD_TIME_SCALE");
}
