// What the event analysis decides without a database: the event time from a
// seconds count at its edges, and the handler table's names. The pipeline
// as a whole is tested in the running program (tests/analyzer_event).
#include "event_analysis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "event_handlers.h"

namespace {

std::string StampText(const Time_Stamp& stamp) {
  const char* bytes = reinterpret_cast<const char*>(&stamp);
  return std::string(bytes, strnlen(bytes, sizeof stamp));
}

TEST(EventTime, SecondsSince1970AreReadAsUtc) {
  Time_Stamp stamp;
  ASSERT_TRUE(EventTimeFromSeconds("0", stamp));
  EXPECT_EQ(StampText(stamp), "a1970/01/01 00:00:00.UT");
  ASSERT_TRUE(EventTimeFromSeconds(" 1113560430\n", stamp));
  EXPECT_EQ(StampText(stamp), "a2005/04/15 10:20:30.UT");
  ASSERT_TRUE(EventTimeFromSeconds("253402300799", stamp));  // the last second of year 9999
  EXPECT_EQ(StampText(stamp), "a9999/12/31 23:59:59.UT");

  // Anything else leaves the stamp for the caller's default.
  std::memcpy(&stamp, "a1999/12/31 23:59:59.00", 24);
  for (const char* bad : {"", "soon", "12ab", "253402300800", "99999999999999999999"}) {
    EXPECT_FALSE(EventTimeFromSeconds(bad, stamp)) << bad;
    EXPECT_EQ(StampText(stamp), "a1999/12/31 23:59:59.00") << bad;
  }
}

TEST(EventHandlers, TableNamesEveryHandlerExactly) {
  const char* names[] = {"pattern", "generic",    "jbodevt",   "nodepower", "lesb",
                         "dskerr",  "dskfail",    "dskabrt",   "notifycomp", "battery",
                         "PATbattery", "compstate", "nodeinteg", "noanalysis"};
  for (const char* name : names) EXPECT_NE(FindEventHandler(name), nullptr) << name;
  EXPECT_EQ(FindEventHandler("PATbattery"), FindEventHandler("battery"));
  EXPECT_EQ(FindEventHandler("pattern"), &EH_pattern);
  for (const char* unknown : {"Pattern", "patternx", "", "unknown"}) {
    EXPECT_EQ(FindEventHandler(unknown), nullptr) << unknown;
  }
  EXPECT_EQ(FindEventHandler(nullptr), nullptr);
}

}  // namespace
