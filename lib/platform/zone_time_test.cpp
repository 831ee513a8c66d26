#include "zone_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "err_text.h"
#include "qd_path.h"
#include "temp_root.h"
#include "test_stamps.h"
#include "zone_info.h"

namespace {

std::string Text(const Time_Stamp& s) { return std::string(s.Year, 22); }

std::string Convert(const char* from, const char* text, const char* to) {
  Time_Stamp out = TextStamp("0001/01/01 00:00:00.00");
  char err[kErrTextSize] = "";
  if (ConvertTime(from, TextStamp(text), to, out, err) != 0) return std::string("error: ") + err;
  return Text(out);
}

std::string Abbr(const char* zone, const char* text) {
  std::string name = "unset";
  char err[kErrTextSize] = "";
  if (GetTZname(zone, TextStamp(text), name, err) != 0) return std::string("error: ") + err;
  return name;
}

class ZoneTime : public ::testing::Test {
 protected:
  TempRoot root_;
};

TEST_F(ZoneTime, LosAngelesAcrossItsDaylightChanges) {
  const char* la = "America/Los_Angeles";
  EXPECT_EQ("2021/03/14 09:59:59.42", Convert(la, "2021/03/14 01:59:59.42", "UTC"));
  // 02:30 does not exist that night: it reads as 03:30 daylight time.
  EXPECT_EQ("2021/03/14 10:30:00.00", Convert(la, "2021/03/14 02:30:00.00", "UTC"));
  EXPECT_EQ("2021/03/14 03:30:00.00", Convert(la, "2021/03/14 02:30:00.00", la));
  EXPECT_EQ("2021/03/14 10:00:00.00", Convert(la, "2021/03/14 03:00:00.00", "UTC"));
  // 01:30 happens twice in November: the first, daylight, one is taken.
  EXPECT_EQ("2021/11/07 08:30:00.00", Convert(la, "2021/11/07 01:30:00.00", "UTC"));
  EXPECT_EQ("2021/11/07 07:59:59.00", Convert(la, "2021/11/07 00:59:59.00", "UTC"));
  EXPECT_EQ("2021/11/07 10:00:00.00", Convert(la, "2021/11/07 02:00:00.00", "UTC"));
  // And back: both universal hours show as 01:30, once in each time.
  EXPECT_EQ("2021/11/07 01:30:00.00", Convert("UTC", "2021/11/07 08:30:00.00", la));
  EXPECT_EQ("2021/11/07 01:30:00.00", Convert("UTC", "2021/11/07 09:30:00.00", la));
}

TEST_F(ZoneTime, ParisAcrossItsDaylightChanges) {
  const char* paris = "Europe/Paris";
  EXPECT_EQ("2021/03/28 00:59:59.00", Convert(paris, "2021/03/28 01:59:59.00", "GMT"));
  EXPECT_EQ("2021/03/28 01:30:00.00", Convert(paris, "2021/03/28 02:30:00.00", "GMT"));
  EXPECT_EQ("2021/03/28 03:30:00.00", Convert(paris, "2021/03/28 02:30:00.00", paris));
  EXPECT_EQ("2021/10/31 00:30:00.00", Convert(paris, "2021/10/31 02:30:00.00", "GMT"));
  EXPECT_EQ("2021/10/31 02:00:00.00", Convert(paris, "2021/10/31 03:00:00.00", "GMT"));
  EXPECT_EQ("2021/07/01 21:00:00.00", Convert("America/Los_Angeles", "2021/07/01 12:00:00.00", paris));
  EXPECT_EQ("2021/01/15 03:00:00.00", Convert(paris, "2021/01/15 12:00:00.00", "America/Los_Angeles"));
}

TEST_F(ZoneTime, TimesBeyondTheListedChangesFollowTheZoneRule) {
  // Far-future times come from the rule text at the end of the zone file;
  // Sydney's daylight time spans the turn of the year.
  EXPECT_EQ("2100/07/01 19:00:00.00", Convert("America/Los_Angeles", "2100/07/01 12:00:00.00", "UTC"));
  EXPECT_EQ("2100/01/15 20:00:00.00", Convert("America/Los_Angeles", "2100/01/15 12:00:00.00", "UTC"));
  EXPECT_EQ("2100/01/15 01:00:00.00", Convert("Australia/Sydney", "2100/01/15 12:00:00.00", "UTC"));
  EXPECT_EQ("2100/07/15 02:00:00.00", Convert("Australia/Sydney", "2100/07/15 12:00:00.00", "UTC"));
  EXPECT_EQ("AEDT", Abbr("Australia/Sydney", "2100/01/15 12:00:00.00"));
  EXPECT_EQ("PDT", Abbr("America/Los_Angeles", "2100/07/01 12:00:00.00"));
  // Before the first change: local mean time.
  EXPECT_EQ("1800/01/01 07:52:58.00", Convert("America/Los_Angeles", "1800/01/01 00:00:00.00", "UTC"));
}

TEST_F(ZoneTime, AbbreviationsInWinterAndSummer) {
  EXPECT_EQ("PST", Abbr("America/Los_Angeles", "2021/01/15 12:00:00.00"));
  EXPECT_EQ("PDT", Abbr("America/Los_Angeles", "2021/07/15 12:00:00.00"));
  EXPECT_EQ("PDT", Abbr("America/Los_Angeles", "2021/03/14 02:30:00.00"));
  EXPECT_EQ("PDT", Abbr("America/Los_Angeles", "2021/11/07 01:30:00.00"));
  EXPECT_EQ("CET", Abbr("Europe/Paris", "2021/01/15 12:00:00.00"));
  EXPECT_EQ("CEST", Abbr("Europe/Paris", "2021/07/15 12:00:00.00"));
  EXPECT_EQ("GMT", Abbr("GMT", "2021/07/15 12:00:00.00"));
}

TEST_F(ZoneTime, FailuresNameTheZoneAndLeaveTheOutputAlone) {
  const char* jan = "2021/01/15 12:00:00.00";
  EXPECT_EQ("error: unknown time zone 'Mars/Olympus'", Convert("Mars/Olympus", jan, "UTC"));
  EXPECT_EQ("error: unknown time zone 'Mars/Olympus'", Convert("UTC", jan, "Mars/Olympus"));
  EXPECT_EQ("error: unknown time zone 'America'", Convert("America", jan, "UTC"));
  EXPECT_EQ("error: unknown time zone '../zoneinfo/UTC'", Convert("../zoneinfo/UTC", jan, "UTC"));
  EXPECT_EQ("error: unknown time zone '/etc/passwd'", Abbr("/etc/passwd", jan));
  EXPECT_EQ("error: invalid time stamp", Convert("UTC", "2021/02/30 12:00:00.00", "UTC"));
  EXPECT_EQ("error: time converted from 'UTC' to 'Pacific/Kiritimati' is out of range",
            Convert("UTC", "9999/12/31 23:00:00.00", "Pacific/Kiritimati"));
  std::string long_name(600, 'x');
  char err[kErrTextSize + 8];
  std::memset(err, '#', sizeof err);
  std::string name = "kept";
  EXPECT_EQ(-1, GetTZname(long_name.c_str(), TextStamp(jan), name, err));
  EXPECT_EQ("kept", name);
  EXPECT_EQ(kErrTextSize - 1, std::strlen(err));  // cut, never overrun
  EXPECT_EQ('#', err[kErrTextSize]);
  Time_Stamp out = TextStamp("2000/01/01 00:00:00.00");
  EXPECT_EQ(-1, ConvertTime("Nowhere", TextStamp(jan), "UTC", out, err));
  EXPECT_EQ("2000/01/01 00:00:00.00", Text(out));
  out = TextStamp("2021/07/01 12:00:00.99");  // the output may be the input
  ASSERT_EQ(0, ConvertTime("America/Los_Angeles", out, "Europe/Paris", out, err));
  EXPECT_EQ("2021/07/01 21:00:00.99", Text(out));
}

// The conversions must neither read nor leave behind a change of TZ: set
// or unset, it is the same afterwards, and so is local time.
TEST_F(ZoneTime, TheProcessZoneIsLeftAsItWas) {
  const char* outer = std::getenv("TZ");
  std::string saved = outer ? outer : "";
  for (const char* tz : {"Asia/Tokyo", static_cast<const char*>(nullptr)}) {
    tz ? setenv("TZ", tz, 1) : unsetenv("TZ");
    tzset();
    time_t probe = 1625140800;
    struct tm before, after;
    localtime_r(&probe, &before);  // this itself sets tzname for the probe's year
    std::string names = std::string(tzname[0]) + "/" + tzname[1];
    long offset = timezone;
    std::string abbr;
    Time_Stamp out;
    char err[kErrTextSize];
    ASSERT_EQ(0, ConvertTime("America/Los_Angeles", TextStamp("2021/07/01 12:00:00.00"), "Europe/Paris", out, err));
    ASSERT_EQ(0, GetTZname("Australia/Sydney", TextStamp("2021/07/01 12:00:00.00"), abbr, err));
    const char* now_tz = std::getenv("TZ");
    EXPECT_EQ(tz ? tz : "(unset)", std::string(now_tz ? now_tz : "(unset)"));
    EXPECT_EQ(names, std::string(tzname[0]) + "/" + tzname[1]);
    EXPECT_EQ(offset, timezone);
    localtime_r(&probe, &after);
    EXPECT_EQ(before.tm_gmtoff, after.tm_gmtoff);
  }
  outer ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

// Every cut-short copy of a real zone file must be refused, never read
// past its end.
TEST_F(ZoneTime, DamagedZoneFilesAreRefused) {
  std::ifstream in("/usr/share/zoneinfo/America/Los_Angeles", std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(data.size(), 100u);
  // The root's zone database is a link to the machine's: replace the link
  // (never what it points to) by a directory of our own.
  ASSERT_EQ(0, unlink(root_.under("/usr/share/zoneinfo").c_str()));
  QdMakeDirs(root_.under("/usr/share/zoneinfo/Test"));
  ZoneInfo zone;
  char err[kErrTextSize];
  root_.write("/usr/share/zoneinfo/Test/Whole", data);
  ASSERT_EQ(0, ZoneLoad("Test/Whole", zone, err)) << err;
  for (size_t length = 1; length < data.size(); ++length) {
    root_.write("/usr/share/zoneinfo/Test/Cut", data.substr(0, length));
    ASSERT_EQ(-1, ZoneLoad("Test/Cut", zone, err)) << length;
    ASSERT_STREQ("time zone file for 'Test/Cut' is damaged", err) << length;
  }
}

TEST(ZoneRule, UnusualRuleTexts) {
  ZoneRule rule;
  ASSERT_EQ(0, ZoneParseRule("<+0330>-3:30", rule));
  EXPECT_EQ(3 * 3600 + 1800, rule.std_type.utoff);
  EXPECT_FALSE(rule.has_dst);
  ASSERT_EQ(0, ZoneParseRule("<-02>2<-01>,M3.5.0/-1,M10.5.0/0", rule));
  EXPECT_EQ(-3600, rule.start.time);
  ASSERT_EQ(0, ZoneParseRule("IST-1GMT0,M10.5.0,M3.5.0/1", rule));  // negative daylight saving
  EXPECT_EQ(0, rule.dst_type.utoff);
  for (const char* bad : {"P8", "PST8PDT,M13.2.0,M11.1.0", "PST8PDT,M3.2.0", "PST8PDT,M3.2.0,M11.1.0x"}) {
    EXPECT_EQ(-1, ZoneParseRule(bad, rule)) << bad;
  }
}

}  // namespace
