// The disk handlers in the running qdAnalyze. Every event file of
// tests/corpus/handlers/disk is catalogued and analyzed; the history row
// (urgency, keys, details) and the report are compared with EXPECTED and
// the expected report files beside the events. Off the service processor
// the handlers write their reports; on it they only choose the template.

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_root.h"
#include "child_process.h"
#include "handler_run.h"
#include "test_files.h"

namespace {

// History lines of the disk fixtures: the handlers set no component or
// keyword of their own.
const std::vector<std::string> kDiskKeys = {"urgency", "keys", "details"};

class DiskRun : public HandlerRun {
 protected:
  DiskRun() : HandlerRun("disk", "d") {}
};

// The folder's EXPECTED for the tests that run no daemon.
ExpectedSections DiskExpected() {
  ExpectedSections sections;
  std::string error;
  EXPECT_TRUE(LoadExpected(SourcePath("tests/corpus/handlers/disk/EXPECTED"), &sections, &error))
      << error;
  return sections;
}

TEST_F(DiskRun, OffTheServiceProcessorReportsCarryTheCategoryAndCallouts) {
  ExpectedSections expected = LoadExpected();
  ASSERT_GE(expected.size(), 7u);
  Configure(false);
  AnalyzeAll(expected);
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    SCOPED_TRACE(name);
    EXPECT_EQ(History(name, kDiskKeys), Want(fixture.second, kDiskKeys));
    // No expected file: no report.
    EXPECT_EQ(Report(name), ExpectedReport(name));
  }
  EXPECT_EQ(Count("QDA0042 A Extended analysis failed: 'showpd #'"), 0) << "the missing listing is quiet";
  EXPECT_EQ(Alerts().find("fru callout"), std::string::npos) << Alerts();
  EXPECT_EQ(Alerts().find("description not found"), std::string::npos) << Alerts();
}

TEST_F(DiskRun, OnTheServiceProcessorNoReportAndNoKeys) {
  ExpectedSections expected = LoadExpected();
  Configure(true);
  AnalyzeAll(expected);
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    ExpectedSection want = fixture.second;
    SCOPED_TRACE(name);
    EXPECT_EQ(History(name, kDiskKeys), want["urgency.on_sp"] + "||");
    EXPECT_EQ(Report(name), "");
  }
}

// Each fixture's attached listing is what the collection stand-in prints
// for that disk, so the demo and the tests show the same command output.
TEST(DiskFixtures, AttachedListingsAreTheStandInsOutputs) {
  ExpectedSections expected = DiskExpected();
  ASSERT_FALSE(expected.empty());
  TempRoot root;  // what the stand-in prints, removed with the root
  for (const auto& fixture : expected) {
    if (fixture.second.count("command") == 0) continue;
    SCOPED_TRACE(fixture.first);
    std::string event = FileText(SourcePath("tests/corpus/handlers/disk/" + fixture.first + ".event"));
    ChildSpec cmd;
    cmd.argv = {BuildPath("sim-bin/spcmd")};
    std::istringstream words(fixture.second.at("command"));
    for (std::string word; words >> word;) cmd.argv.push_back(word);
    std::string out = root.under("/spcmd." + fixture.first);
    cmd.stdoutPath = out;
    int status = -1;
    char err[256] = {0};
    ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string printed = FileText(out);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(event.substr(event.size() - std::min(event.size(), printed.size())), printed);
  }
}

// Commands without a recorded output, and words that would leave the
// outputs folder, fail with one line and exit 1.
TEST(DiskFixtures, StandInRefusesUnknownCommands) {
  TempRoot root;
  std::string out = root.under("/spcmd.unknown");
  for (std::vector<std::string> words : {std::vector<std::string>{"showpd", "999"},
                                         std::vector<std::string>{"..", "outputs", "showpd", "7"},
                                         std::vector<std::string>{"../outputs/showpd", "7"}}) {
    ChildSpec cmd;
    cmd.argv = {BuildPath("sim-bin/spcmd")};
    cmd.argv.insert(cmd.argv.end(), words.begin(), words.end());
    cmd.stdoutPath = out;
    cmd.stderrPath = "=stdout";
    int status = -1;
    char err[256] = {0};
    ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << words[0];
    std::string said = FileText(out);
    EXPECT_EQ(said.rfind("spcmd: unknown command '", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

}  // namespace
