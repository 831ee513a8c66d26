#include "time_stamp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "test_stamps.h"

namespace {

// Sets the process's zone for one test and puts the previous one back.
class LocalZone {
 public:
  explicit LocalZone(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (old) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~LocalZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

std::string Text(const Time_Stamp& s) { return std::string(&s.fmt, 23); }

TEST(TimeStamp, UniversalTimeWritesTheRecordByteForByte) {
  Time_Stamp s;
  ASSERT_EQ(0, TStampOut(0, s, false));
  EXPECT_EQ(0, std::memcmp(&s, "a1970/01/01 00:00:00.00", 24));  // the NUL at 23 included
  ASSERT_EQ(0, TStampOut(951868799, s, false));
  EXPECT_EQ("a2000/02/29 23:59:59.00", Text(s));
}

TEST(TimeStamp, UniversalTimeRoundTrips) {
  // Epoch, before it, leap days, the first and last second a stamp holds.
  const time_t cases[] = {0, -1, 951782400, 1615712400, 2147483647, 4102444800,
                          -62135596800LL, 253402300799LL};
  for (time_t t : cases) {
    Time_Stamp s;
    ASSERT_EQ(0, TStampOut(t, s, false)) << t;
    time_t back = 12345;
    ASSERT_EQ(0, TStampIn(s, back, false)) << Text(s);
    EXPECT_EQ(t, back) << Text(s);
  }
}

TEST(TimeStamp, LocalTimeFollowsTheProcessZoneAndRoundTrips) {
  LocalZone zone("America/Los_Angeles");
  Time_Stamp s;
  ASSERT_EQ(0, TStampOut(1625140800, s, true));  // 2021-07-01 12:00 UTC
  EXPECT_EQ("a2021/07/01 05:00:00.00", Text(s));
  ASSERT_EQ(0, TStampOut(1610712000, s, true));  // 2021-01-15 12:00 UTC
  EXPECT_EQ("a2021/01/15 04:00:00.00", Text(s));
  for (time_t t : {1610712000L, 1625140800L, 1615712399L, 1615716000L}) {
    ASSERT_EQ(0, TStampOut(t, s, true));
    time_t back = 0;
    ASSERT_EQ(0, TStampIn(s, back, true));
    EXPECT_EQ(t, back) << Text(s);
  }
  // 01:00 to 02:00 happens twice that night: the first (daylight) one is meant.
  ASSERT_EQ(0, TStampOut(1636275600L, s, true));
  EXPECT_EQ("a2021/11/07 01:00:00.00", Text(s));
  time_t back = 0;
  ASSERT_EQ(0, TStampIn(s, back, true));
  EXPECT_EQ(1636275600L - 3600, back);
  ASSERT_EQ(0, TStampIn(TextStamp("2021/03/14 02:30:00.00"), back, true));  // in the gap
  EXPECT_EQ(1615717800L, back);
  // The second before the epoch is a time, not mktime's failure value.
  LocalZone utc("UTC");
  ASSERT_EQ(0, TStampIn(TextStamp("1969/12/31 23:59:59.00"), back, true));
  EXPECT_EQ(-1, back);
}

TEST(TimeStamp, InvalidOrOutOfRangeStampsAreRefusedAndChangeNothing) {
  const char* bad[] = {
      "2021-07/01 05:00:00.00", "2021/07/01_05:00:00.00", "2021/07/01 05:00:00:00",
      "2O21/07/01 05:00:00.00", "2021/13/01 05:00:00.00", "2021/02/29 05:00:00.00",
      "2021/04/31 05:00:00.00", "2021/07/01 24:00:00.00", "2021/07/01 05:00:61.00",
      "2021/07/01 05:00:00.x0", "0000/07/01 05:00:00.00",
  };
  for (const char* text : bad) {
    time_t t = 777;
    EXPECT_EQ(-1, TStampIn(TextStamp(text), t, false)) << text;
    EXPECT_EQ(-1, TStampIn(TextStamp(text), t, true)) << text;
    EXPECT_EQ(777, t) << text;
  }
  Time_Stamp s = TextStamp("2024/02/29 05:00:00.00");  // a real leap day
  time_t t = 0;
  EXPECT_EQ(0, TStampIn(s, t, false));
  s.dlm7 = ' ';
  EXPECT_EQ(-1, TStampIn(s, t, false));
  Time_Stamp before = s;
  EXPECT_EQ(-1, TStampOut(253402300800LL, s, false));  // year 10000
  EXPECT_EQ(-1, TStampOut(-62135596801LL, s, false));  // year 0
  EXPECT_EQ(0, std::memcmp(&before, &s, sizeof s));
}

}  // namespace
