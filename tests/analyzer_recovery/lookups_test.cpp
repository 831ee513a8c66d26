// What one analysis looks up and leaves behind, where it went wrong before:
// a file type of a maker's other product family, a tag translation the
// database refuses, the handler name of a failed handler lookup, and the
// temporary report a killed analyzer left.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_request.h"

namespace {

using LookupRun = EventRequestRun;

// A file type above 100000 is analysed by the rules of the type below it:
// tags, patterns, severity, event row, texts and parts, history.
TEST_F(LookupRun, AFamilyFileTypeIsAnalysedWithTheRulesOfItsType) {
  Install("evt_dskfail");
  StartReady({"-t", "60"});
  ASSERT_TRUE(Ended(Request("evt_dskfail", "f1", 100100), "Deleted")) << Log();
  EXPECT_EQ(Rows("select file_type, component, symptom_keyword, ea_key1 from qd_anal_history"),
            "100|PD7|disk_failed|AnalysisFailed\n");
  EXPECT_EQ(NotifyRequests()["f1"], 1);
  EXPECT_EQ(Count("TAG initialization error"), 0);
  const std::string report = root_.read(kEventDir + std::string("evt_dskfail.analysis"));
  EXPECT_NE(report.find("Analysis for Zarvek/VELMAR/1400123"), std::string::npos) << report;
  EXPECT_EQ(report.find("Unable to find requested fru callout"), std::string::npos) << report;
  // The catalogue row keeps the file's own type.
  EXPECT_EQ(Rows("select file_type, anal_date is not null from qd_fdb_cat"), "100100|t\n");
}

// The database refuses the translation of a component type (the session
// lives on): the value stays untranslated and the analysis goes on to its
// severity, history and notification.
TEST_F(LookupRun, ATagTranslationTheDatabaseRefusesLeavesTheValueAndTheAnalysisGoesOn) {
  ASSERT_EQ("", db_.exec(
      "create function qd_test_refuse(field text) returns boolean language plpgsql cost 10000 as "
      "$$ begin if field <> 'SEVERITY' then raise exception 'no translations now'; end if; "
      "return true; end $$;"
      "alter table qd_edit rename to qd_edit_rows;"
      "create view qd_edit as select * from qd_edit_rows where qd_test_refuse(field)"));
  Install("evt_dskfail");
  StartReady({"-t", "60"});
  ASSERT_TRUE(Ended(Request("evt_dskfail", "t1"), "Deleted")) << Log();
  EXPECT_NE(Log().find("translate filetype 100 tag CompType"), std::string::npos) << Log();
  EXPECT_EQ(Rows("select severity, urgency from qd_anal_history"), "major|H\n");
  EXPECT_EQ(NotifyRequests()["t1"], 1);
  EXPECT_EQ(Count("QDZ0102"), 1) << "no reconnection";
}

// The notification of a handler that cannot be found names the handler
// name last read, also for an event without a type (no row is read then).
TEST_F(LookupRun, AHandlerNotFoundIsNotifiedWithTheNameLastRead) {
  ASSERT_EQ("", db_.exec("update qd_anal_evtdata set handlername = 'gone' "
                         "where eventname = 'evt_dskfail'"));
  Install("evt_dskfail");
  std::string text = Corpus("evt_dskfail").text;
  text.erase(text.find("  <Type>evt_dskfail</Type>\n"), 28);
  root_.write(kEventDir + std::string("untyped"), text);
  StartReady({"-t", "60"});
  ASSERT_TRUE(Ended(Request("evt_dskfail", "n1"), "Deleted")) << Log();
  ASSERT_TRUE(Ended(Request("untyped", "n2"), "Deleted")) << Log();
  const std::string alerts = Alerts();
  size_t first = alerts.find("\"abstract\":\"Event handler 'gone' not found\"");
  ASSERT_NE(first, std::string::npos) << alerts;
  EXPECT_NE(alerts.find("\"abstract\":\"Event handler 'gone' not found\"", first + 1),
            std::string::npos) << alerts;
  EXPECT_EQ(alerts.find("Event handler '' not found"), std::string::npos) << alerts;
}

// A temporary report left by an analyzer killed while writing it is removed
// by the next analysis of the file; one of a live process stays.
TEST_F(LookupRun, TheNextAnalysisOfAFileRemovesTheTemporaryReportAKilledAnalyzerLeft) {
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  const std::string report = kEventDir + std::string("evt_dskfail.analysis");
  const std::string stale = report + ".qdAnalyze." + std::to_string(dead);
  const std::string live = report + ".qdAnalyze." + std::to_string(getpid());
  root_.write(stale, "half a report");
  root_.write(live, "another analyzer at work");
  Install("evt_dskfail");
  StartReady({"-t", "60"});
  ASSERT_TRUE(Ended(Request("evt_dskfail", "r1"), "Deleted")) << Log();
  EXPECT_NE(root_.read(report), "");
  EXPECT_EQ(access(root_.under(stale).c_str(), F_OK), -1) << stale;
  EXPECT_EQ(root_.read(live), "another analyzer at work");
}

}  // namespace
