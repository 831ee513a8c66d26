// qdGrpNot in the foreground against a private database: parked rows go in
// with back-dated times, summaries come out as "NIQ" messages for "QDNOT",
// read field by field as format 3 records.
#include <dirent.h>
#include <algorithm>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analyzer_run.h"
#include "qd_txn.h"
#include "work_messages.h"

namespace {

// One parked row of class 2 of Zarvek Velmar.
struct Row {
  std::string serial;
  int minutes_ago;             // when it was parked
  std::string abstract = "Fan failed";
  int counter = 1;
  std::string forwarded = "NULL";  // an SQL literal
  std::string first = "2024-05-01 10:00:00";
  std::string last = "2024-05-01 11:00:00";
  int notclass = 2;
};

std::string Insert(const Row& r) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "insert into qd_grouped_not (vendor, product, notclass, prod_id, timestamp, "
                "ap_vendor, ap_product, ap_prod_id, sp_vendor, sp_product, sp_prod_id, "
                "forwarded_rap, eventtimefirst, eventtimelast, counter, abstract) values "
                "('Zarvek', 'Velmar', %d, '%s', localtimestamp - interval '%d minutes', "
                "'Zarvek', 'Velmar', '%s', 'Zarvek', 'SPx', 'SP0042', %s, '%s', '%s', %d, '%s');\n",
                r.notclass, r.serial.c_str(), r.minutes_ago, r.serial.c_str(),
                r.forwarded.c_str(), r.first.c_str(), r.last.c_str(), r.counter,
                r.abstract.c_str());
  return text;
}

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }
template <size_t N>
std::string Text(const char (&field)[N]) {
  return Text(field, N);
}
std::string Stamp(const Time_Stamp& s) { return std::string(&s.fmt, sizeof s - 1); }

class GrouperRun : public AnalyzerRun {
 protected:
  void SetUp() override {
    // The grouper's session and the test's read parked times in one zone.
    setenv("PGTZ", "UTC", 1);
    AnalyzerRun::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // The array's installed attributes (91_notifier_defaults.sql) make way
    // for the grouping settings of these tests.
    ASSERT_EQ(db_.exec("delete from qd_prod_attr where vendor = 'Zarvek' and product = 'Velmar'"),
              "");
    ASSERT_EQ(db_.exec("insert into qd_prod_attr (vendor, product, notification_grouping2, "
                       "ng_delay2, ng_max_delay2, notification_grouping3, ng_delay3, "
                       "ng_max_delay3) values ('Zarvek', 'Velmar', 'Y', 30, 240, 'N', 0, 0)"),
              "");
  }

  void Park(const std::vector<Row>& rows) {
    std::string sql;
    for (const Row& r : rows) sql += Insert(r);
    ASSERT_EQ(db_.exec(sql), "");  // one transaction: no pass sees half of it
  }

  // Starts qdGrpNot -d with a sleep of 5 seconds (50 ms at the test's scale).
  void StartGrouper() {
    const char* build = std::getenv("QD_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    ASSERT_TRUE(daemon_.Start(std::string(build) + "/bin/qdGrpNot", {"-d", "-s", "5"},
                              StderrPath()));
  }

  // Waits until the grouper has looked at class 2 `passes` more times.
  bool MorePasses(int passes) {
    int target = Count("Processing for Zarvek Velmar class 2") + passes;
    return PollUntil([&] { return Count("Processing for Zarvek Velmar class 2") >= target; },
                     kAnalyzerPatience);
  }

  // The records waiting for QDNOT, oldest first.
  std::vector<qd_Transaction_Format_3> Summaries() {
    std::vector<qd_Transaction_Format_3> out;
    CWorkMessages wm(true);
    int notifier = wm.GetUID("QDNOT");
    std::vector<WmMessageInfo> list;
    EXPECT_EQ(wm.ListMessages(notifier, list), 0) << wm.szErrorMsg;
    for (const WmMessageInfo& m : list) {
      WmMessageInfo info;
      std::string data;
      EXPECT_EQ(wm.GetMessage(m.id, info, data), 0);
      EXPECT_EQ(info.msgname, "NIQ");
      EXPECT_EQ(data.size(), sizeof(qd_Transaction_Format_3));
      qd_Transaction_Format_3 rec;
      std::memset(&rec, 0, sizeof rec);
      std::memcpy(&rec, data.data(), std::min(data.size(), sizeof rec));
      out.push_back(rec);
    }
    return out;
  }

  std::string Rows(const std::string& where) const {
    std::vector<std::string> n =
        db_.query("select count(*) from qd_grouped_not where " + where);
    return n.empty() ? "?" : n[0];
  }

  int SpoolEntries() const {
    int n = 0;
    DIR* dir = opendir(root_.under("/var/spool/qd/wm").c_str());
    if (!dir) return 0;
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name.size() > 3 && name.compare(name.size() - 3, 3, ".wm") == 0) ++n;
    }
    closedir(dir);
    return n;
  }

  // Makes every store into the work-message service fail from the
  // `allowed`-th message on.
  void FailSends(int allowed) {
    ASSERT_EQ(db_.exec("create function wm.refuse() returns trigger language plpgsql as $$ "
                       "begin if (select count(*) from wm.message) >= " +
                       std::to_string(allowed) +
                       " then raise exception 'refused by the test'; end if; "
                       "return new; end $$; "
                       "create trigger refuse before insert on wm.message "
                       "for each row execute function wm.refuse()"),
              "");
  }

  void Stop() {
    daemon_.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(Exit()), 100) << Log();
  }
};

TEST_F(GrouperRun, DueByQuietTimeOrByAgeOfTheOldestRow) {
  std::vector<Row> rows = {{"QUIET10", 180}, {"QUIET10", 10}, {"QUIET31", 180},
                           {"QUIET31", 31}};
  // One row every 5 minutes: quiet for 5 minutes at most, due only by age.
  for (int m = 235; m >= 5; m -= 5) rows.push_back({"STEADY235", m});
  for (int m = 245; m >= 5; m -= 5) rows.push_back({"STEADY245", m});
  Row other{"OTHERCLASS", 5000};
  other.notclass = 3;  // grouping 'N': never looked at
  rows.push_back(other);
  Park(rows);

  StartGrouper();
  ASSERT_TRUE(LogShows("notifications grouped for Zarvek Velmar class 2")) << Log();
  ASSERT_TRUE(MorePasses(3)) << Log();
  EXPECT_EQ(Count("QDZ9999 0 51 notifications grouped for Zarvek Velmar class 2"), 1) << Log();
  EXPECT_EQ(Count("Processing for Zarvek Velmar class 3"), 0);

  std::vector<qd_Transaction_Format_3> sent = Summaries();
  ASSERT_EQ(sent.size(), 2u) << Log();
  std::vector<std::string> serials = {Text(sent[0].hdr.prod.id), Text(sent[1].hdr.prod.id)};
  std::sort(serials.begin(), serials.end());
  EXPECT_EQ(serials, (std::vector<std::string>{"QUIET31", "STEADY245"}));
  EXPECT_EQ(Rows("prod_id = 'QUIET10' and status = 'W'"), "2");
  EXPECT_EQ(Rows("prod_id = 'STEADY235' and status = 'W'"), "47");
  EXPECT_EQ(Rows("prod_id in ('QUIET31', 'STEADY245')"), "0");
  EXPECT_EQ(Rows("prod_id = 'OTHERCLASS'"), "1");

  // Five minutes later the steady serial's oldest row passes four hours.
  ASSERT_EQ(db_.exec("update qd_grouped_not set timestamp = timestamp - interval '6 minutes' "
                     "where prod_id = 'STEADY235'"),
            "");
  ASSERT_TRUE(LogShows("47 notifications grouped")) << Log();
  EXPECT_EQ(Summaries().size(), 3u);

  Stop();
  EXPECT_EQ(Count("QDZ0002 A Sleep interval=5 (sec)"), 1);
  EXPECT_EQ(Count("QDZ0002 A Max inactivity"), 0);
  EXPECT_EQ(Count("QDZ0003 A"), 1);
  EXPECT_NE(Stderr().find("Stopping due to operator request."), std::string::npos);
}

TEST_F(GrouperRun, OneLinePerAbstractWithSummedCountInOneSummary) {
  std::vector<Row> rows;
  for (int c : {2, 3, 4}) {
    Row r{"1234567", 300};
    r.counter = c;
    rows.push_back(r);
  }
  Row forwarded{"1234567", 300, "Disk 3 degraded", 12345, "'y'", "2024-05-01 08:00:00",
                "2024-05-02 12:30:15"};
  rows.push_back(forwarded);
  Park(rows);

  StartGrouper();
  ASSERT_TRUE(LogShows("4 notifications grouped for Zarvek Velmar class 2")) << Log();
  EXPECT_TRUE(LogShows("QDZ9999 1 GNR Notification msg ["));
  std::vector<qd_Transaction_Format_3> sent = Summaries();
  ASSERT_EQ(sent.size(), 1u);
  const qd_Transaction_Format_3& r = sent[0];
  EXPECT_EQ(r.hdr.fmt, 3);
  EXPECT_EQ(Text(r.hdr.TxnId), "GNR");
  EXPECT_EQ(r.hdr.encription, '0');
  EXPECT_EQ(r.hdr.char_set, 'A');
  EXPECT_NE(r.hdr.hw_architecture, 0);
  EXPECT_EQ(Text(r.hdr.AssocId).size(), 23u);
  EXPECT_EQ(Text(r.hdr.prod.vendor), "Zarvek");
  EXPECT_EQ(Text(r.hdr.prod.prod), "Velmar");
  EXPECT_EQ(Text(r.hdr.prod.id), "1234567");
  EXPECT_EQ(Text(r.hdr.sp.prod), "SPx");
  EXPECT_EQ(Text(r.hdr.sp.id), "SP0042");
  EXPECT_EQ(r.urgency, 'L');
  EXPECT_EQ(r.notclass, 2);
  EXPECT_EQ(Text(r.event), "Misc events");
  EXPECT_EQ(Text(r.source), "Zarvek Central task qdGrpNot");
  EXPECT_EQ(Stamp(r.EventTimeFirst), "a2024/05/01 08:00:00.00");
  EXPECT_EQ(Stamp(r.EventTimeLast), "a2024/05/02 12:30:15.00");
  EXPECT_EQ(r.EventLocation, 'R');
  EXPECT_EQ(Text(r.abstract), "Grouped low urgency notifications");
  EXPECT_EQ(Text(r.counter), "1");
  // Oldest group first; the forwarded mark keeps all five digits.
  EXPECT_EQ(Text(r.text), "*12345 Disk 3 degraded\n    9 Fan failed");
  Stop();
}

TEST_F(GrouperRun, MoreLinesThanFitGiveSeveralSummariesWithTheirOwnRanges) {
  // 120 abstracts of 73 characters: lines of 80, 50 to a summary.
  std::vector<Row> rows;
  char abstract[80], first[32], last[32];
  for (int i = 0; i < 120; ++i) {
    std::snprintf(abstract, sizeof abstract, "Event %03d %s", i, std::string(63, 'x').c_str());
    std::snprintf(first, sizeof first, "2024-05-%02d 10:00:00", 1 + i / 10);
    std::snprintf(last, sizeof last, "2024-05-%02d 12:00:00", 1 + i / 10);
    rows.push_back({"1234567", 300, abstract, 1, "NULL", first, last});
  }
  Park(rows);
  StartGrouper();
  ASSERT_TRUE(LogShows("120 notifications grouped")) << Log();
  std::vector<qd_Transaction_Format_3> sent = Summaries();
  ASSERT_EQ(sent.size(), 3u);
  const char* ranges[3][2] = {{"a2024/05/01 10:00:00.00", "a2024/05/05 12:00:00.00"},
                              {"a2024/05/06 10:00:00.00", "a2024/05/10 12:00:00.00"},
                              {"a2024/05/11 10:00:00.00", "a2024/05/12 12:00:00.00"}};
  const size_t lengths[3] = {3999, 3999, 1599};  // without the last line feed
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Stamp(sent[i].EventTimeFirst), ranges[i][0]) << i;
    EXPECT_EQ(Stamp(sent[i].EventTimeLast), ranges[i][1]) << i;
    EXPECT_EQ(Text(sent[i].text).size(), lengths[i]) << i;
  }
  EXPECT_EQ(Text(sent[1].text).substr(0, 16), "    1 Event 050 ");
  Stop();
}

TEST_F(GrouperRun, SpooledSummaryCountsAsSentAndIsDeliveredOnce) {
  FailSends(0);
  Park({{"1234567", 300}, {"1234567", 40}});
  StartGrouper();
  ASSERT_TRUE(LogShows("2 notifications grouped")) << Log();
  ASSERT_TRUE(MorePasses(3));
  EXPECT_EQ(Rows("true"), "0");
  EXPECT_EQ(SpoolEntries(), 1);
  EXPECT_EQ(Summaries().size(), 0u);
  EXPECT_EQ(Count("QDZ9999 2 message for QDNOT/NIQ spooled as"), 1) << Log();
  EXPECT_NE(Alerts().find("\"abstract\":\"qdGrpNot unable to Send() NIQ message\""),
            std::string::npos) << Alerts();
  EXPECT_NE(Alerts().find("Grouped notify request for Zarvek Velmar 1234567 can not be sent."),
            std::string::npos);

  // Once the service takes messages again the spool delivers it, once.
  ASSERT_EQ(db_.exec("drop trigger refuse on wm.message"), "");
  CWorkMessages wm(true);
  WmDrainReport report;
  ASSERT_EQ(wm.DrainSpool(true, report), 0) << wm.szErrorMsg;
  ASSERT_TRUE(MorePasses(3));
  std::vector<qd_Transaction_Format_3> sent = Summaries();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(Text(sent[0].text), "    2 Fan failed");
  EXPECT_EQ(SpoolEntries(), 0);
  Stop();
}

TEST_F(GrouperRun, SummaryThatGoesNowhereLeavesItsRowsParkedAndErrorsRecycle) {
  // The first summary is taken, every later one refused; and the fallback
  // spool cannot be written either.
  FailSends(1);
  RemoveTree(root_.under("/var/spool/qd/wm"));
  root_.write("/var/spool/qd/wm", "not a directory");
  std::vector<Row> rows;
  char abstract[80];
  for (int i = 0; i < 120; ++i) {
    std::snprintf(abstract, sizeof abstract, "Event %03d %s", i, std::string(63, 'x').c_str());
    rows.push_back({"1234567", 300, abstract});
  }
  Park(rows);
  StartGrouper();
  // Every pass fails on the same serial: three in a row stop the grouper.
  EXPECT_EQ(ExitCode(Exit()), 3) << Log();
  // The rows of the summary that went out are gone, the others wait again.
  EXPECT_EQ(Summaries().size(), 1u);
  EXPECT_EQ(Rows("true"), "70");
  EXPECT_EQ(Rows("status = 'W'"), "70");
  EXPECT_EQ(Rows("abstract < 'Event 050'"), "0");
  EXPECT_EQ(Count("50 notifications grouped"), 1);
  EXPECT_GE(Count("QDZ9999 2 message for QDNOT/NIQ lost"), 3) << Log();
  EXPECT_EQ(Count("QDZ9999 2 Stopping due to excessive errors."), 1);
  EXPECT_NE(Stderr().find("Stopping due to excessive errors."), std::string::npos);
  EXPECT_NE(Alerts().find("\"abstract\":\"qdGrpNot recycling due to excessive errors\""),
            std::string::npos) << Alerts();
  EXPECT_NE(Alerts().find("Errors encountered in 3 successive cycles."), std::string::npos);
}

TEST_F(GrouperRun, HangUpReinitialisesAndAnotherDaemonsOptionStopsStartUp) {
  StartGrouper();
  ASSERT_TRUE(MorePasses(1)) << Log();
  daemon_.Signal(SIGHUP);
  ASSERT_TRUE(LogShows("QDZ0006 A Re-initialisation succeeded")) << Log();
  Park({{"1234567", 45}});
  ASSERT_TRUE(LogShows("1 notifications grouped")) << Log();
  Stop();

  const char* build = std::getenv("QD_BUILD_DIR");
  DaemonRun refused;
  ASSERT_TRUE(refused.Start(std::string(build) + "/bin/qdGrpNot", {"-d", "-C"}, StderrPath()));
  int status = -1;
  ASSERT_TRUE(refused.Wait(kAnalyzerPatience, status));
  EXPECT_EQ(ExitCode(status), 1);
  EXPECT_NE(Stderr().find("Unknown/invalid option 'C'"), std::string::npos) << Stderr();
}

}  // namespace
