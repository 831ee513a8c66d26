#include "local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Runs the test in a zone of its own, giving the process's back after.
class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    had_tz_ = tz != nullptr;
    if (had_tz_) saved_ = tz;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (had_tz_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  bool had_tz_ = false;
  std::string saved_;
};

TEST_F(LocalTimeTest, FormatsTheLocalTime) {
  EXPECT_EQ(LocalTimeText(0, "%Y-%m-%d %H:%M:%S"), "1970-01-01 00:00:00");
  EXPECT_EQ(LocalTimeText(1717245296, "%Y/%m/%d %H:%M:%S"), "2024/06/01 12:34:56");
  setenv("TZ", "XST-2", 1);
  tzset();
  EXPECT_EQ(LocalTimeText(0, "%H:%M %z"), "02:00 +0200");
}

TEST_F(LocalTimeTest, TextThatDoesNotFitIsEmptyNotCut) {
  std::string format(21, 'x');
  format += "%Y-%m-%d %H:%M:%S%Y%m%d";  // 21 + 19 + 8 = 48 characters: fits
  EXPECT_EQ(LocalTimeText(0, format.c_str()).size(), 48u);
  format = std::string(45, 'x') + "%Y-%m-%d %H:%M:%S";  // 64 characters
  EXPECT_EQ(LocalTimeText(0, format.c_str()), "");
  EXPECT_EQ(LocalTimeText(0, ""), "");
}

}  // namespace
