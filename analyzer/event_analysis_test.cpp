// The event analysis's own decisions that need no database: the event time
// from a seconds count, the model from its text, the alert flags, and the
// handler table. The pipeline as a whole is tested in the running program
// (tests/analyzer_event).
#include "event_analysis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "analysis_engine.h"
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

TEST(EventModel, TheLastWordOfTheSystemModel) {
  EXPECT_EQ(ModelOf("<no value>"), "Unknown");
  EXPECT_EQ(ModelOf("Velmar S400"), "S400");
  EXPECT_EQ(ModelOf("Zarvek Velmar E200"), "E200");
  EXPECT_EQ(ModelOf("S400"), "S400");
  EXPECT_EQ(ModelOf(""), "");
}

TEST(EventAlert, AlertIdOrClassDecide) {
  AlertFlags f = AlertFlagsOf(true, false, "<no value>");
  EXPECT_TRUE(f.alert);
  EXPECT_FALSE(f.service_alert);
  f = AlertFlagsOf(false, true, "evt_class_svcalert");  // no customer alert hides in it
  EXPECT_FALSE(f.alert);
  EXPECT_TRUE(f.service_alert);
  f = AlertFlagsOf(false, true, "evt_class_sysmgr,evt_class_alert,evt_class_svcalert");
  EXPECT_TRUE(f.alert);
  EXPECT_TRUE(f.service_alert);
  // A class without data of this event counts for nothing.
  f = AlertFlagsOf(false, false, "evt_class_alert");
  EXPECT_FALSE(f.alert);
  EXPECT_FALSE(f.service_alert);
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

TEST(EventHandlers, NoAnalysisSkipsHistoryAndNotification) {
  ResetEngine();
  Engine().result.ASymptom = "Disk failed(disk_fail)";
  EXPECT_EQ(EH_noanalysis(0, "evt_skipped", "whatever"), nullptr);
  EXPECT_TRUE(Engine().result.ForceUrgencyIgnore);
  EXPECT_EQ(Engine().result.ASymptom, "Skip analysis for evt_skipped");
  ResetEngine();
}

}  // namespace
