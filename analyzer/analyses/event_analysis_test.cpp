// What the event analysis decides without a database: the event time from a
// seconds count at its edges, and the handler table's names. The pipeline
// as a whole is tested in the running program (tests/analyzer_event).
#include "event_analysis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "event_handlers.h"
#include "notify_request.h"
#include "txn_check.h"

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

// The notification request of an event whose time is `stamp`, through the
// checks the notifier's transaction log applies to it: 0 when it would be
// logged.
int NotifierCheck(const Time_Stamp& stamp) {
  qd_Transaction_Header request{};
  std::memcpy(request.AssocId, "SecABCuSecDEF", 13);
  std::memcpy(request.sp.vendor, "Zarvek", 6);
  std::memcpy(request.sp.prod, "SPx", 3);
  std::memcpy(request.sp.id, "SP0042", 6);
  CurrentFile file{};
  AnalysisResult result;
  result.AUrgency = 'H';
  result.AEvent = "Zarvek VELMAR evt_x";
  result.ASymptom = "Something failed(evt_x)";
  result.AText = "text";
  result.AModel = "S400";
  result.Anot_unique = "evt_x;none";
  result.AEventTimeFirst = result.AEventTimeLast = stamp;
  result.AEventLocation = 'R';
  NotifySource src;
  src.request = &request;
  src.file = &file;
  src.severity = "major";
  src.hw_arch = 'X';
  src.now = 1113560430;
  qd_Transaction_Format_6 rec;
  BuildNotifyRecord(result, src, rec);
  TxnHeaderText hdr;
  TxnNotifyText body;
  QDTxn txn;
  std::memcpy(&txn, &rec, sizeof rec);
  return TxnCheckHeader(rec.hdr, hdr, nullptr) | TxnCheckFormat3(txn.f3, body, nullptr) |
         TxnCheckNotifyExtra(txn, body, nullptr);
}

TEST(EventTime, EveryEventTimeIsOneTheNotifierLogs) {
  // "Time" in seconds: "UT" where the hundredths go.
  const std::string seconds = "1113560430";
  Time_Stamp stamp = EventTime(nullptr, &seconds);
  EXPECT_EQ(StampText(stamp), "a2005/04/15 10:20:30.UT");
  EXPECT_EQ(NotifierCheck(stamp), 0);
  // A "tTime" whose month name is unknown gives no date: the default time.
  const std::string odd_month = "Tue mar 15 10:20:30 2005";
  stamp = EventTime(&odd_month, &seconds);
  EXPECT_EQ(StampText(stamp), "a1999/12/31 23:59:59.00");
  EXPECT_EQ(NotifierCheck(stamp), 0);
  const std::string good = "Tue Mar 15 10:20:30 2005";
  EXPECT_EQ(StampText(EventTime(&good, nullptr)), "a2005/03/15 10:20:30.00");
  EXPECT_EQ(StampText(EventTime(nullptr, nullptr)), "a1999/12/31 23:59:59.00");
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
