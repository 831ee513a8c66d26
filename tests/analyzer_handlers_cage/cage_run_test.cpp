// Drive cage events through the running qdAnalyze with the installed rules:
// the event files of tests/corpus/handlers/cage (showcage listing attached)
// give the keys, urgency and details EXPECTED names, and the reports in
// that folder; on the service processor the same files give no report and
// no keys.
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "handler_run.h"
#include "test_files.h"

namespace {

class CageRun : public HandlerRun {
 protected:
  CageRun() : HandlerRun("cage", "k") {}

  void SetUp() override {
    // The cage clock and the event time are both read as this zone's.
    setenv("TZ", "UTC0", 1);
    HandlerRun::SetUp();
  }
};

TEST_F(CageRun, OffTheServiceProcessorKeysReportsAndUrgencyFollowTheListing) {
  ExpectedSections expected = LoadExpected();
  ASSERT_FALSE(expected.empty());
  Configure(false);
  AnalyzeAll(expected);
  for (const auto& file : expected) {
    SCOPED_TRACE(file.first);
    const ExpectedSection& want = file.second;
    HistoryFields got = HistoryRow(Seq(file.first));
    ASSERT_FALSE(got.empty()) << "no history row";
    EXPECT_EQ(want.at("urgency"), got["urgency"]);
    EXPECT_EQ(want.at("keys"), got["keys"]);
    EXPECT_EQ(want.at("details"), got["details"]);
    EXPECT_EQ(want.at("detail"), got["symptom_detail"]);
    const std::string report = Report(file.first);
    if (want.at("report") == "none") {
      EXPECT_EQ("", report);
    } else {
      EXPECT_EQ(NormalizedReport(FileText(FixtureDir() + want.at("report"))), report);
      // The report as written, to review against the expected one.
      std::ofstream(BuildPath(want.at("report")), std::ios::binary) << report;
    }
  }
  EXPECT_EQ(std::string::npos, Log().find("Unable to find requested fru callout"));
}

TEST_F(CageRun, OnTheServiceProcessorNoReportAndNoKeys) {
  ExpectedSections expected = LoadExpected();
  Configure(true);
  AnalyzeAll(expected);
  for (const auto& file : expected) {
    SCOPED_TRACE(file.first);
    HistoryFields got = HistoryRow(Seq(file.first));
    ASSERT_FALSE(got.empty());
    EXPECT_EQ("", got["keys"]);
    EXPECT_EQ("", Report(file.first));
    // The symptom still comes from the code's message text.
    EXPECT_EQ(expected[file.first].at("detail_on_sp"), got["symptom_detail"]);
  }
}

// The history count of a serial controller chip error fails (the database
// refuses the select, the connection lives on): the rest of the analysis
// still runs, and the report is written with "Monitor" as if no earlier
// error had been counted.
TEST_F(CageRun, AChipErrorCountTheDatabaseRefusesStillGivesTheMonitorReport) {
  // "ea_details like $7" on a number is no statement the database takes.
  ASSERT_EQ("", db_.exec("alter table qd_anal_history drop column ea_details;"
                         "alter table qd_anal_history add column ea_details integer"));
  ExpectedSections expected = LoadExpected();
  ASSERT_EQ(expected.count("cage_chip_loop"), 1u);
  // The fixture's expected report names the sequence it has in name order.
  EXPECT_EQ(Seq("cage_ac_stale"), "k1");
  Configure(false);
  AnalyzeAll({{"cage_chip_loop", expected.at("cage_chip_loop")}});
  EXPECT_NE(Log().find("evt_jbod_jtype code 17 Monitor select"), std::string::npos) << Log();
  EXPECT_EQ(ExpectedReport("cage_chip_loop"), Report("cage_chip_loop"));
}

}  // namespace
