// The configuration analysis without a database: the checker's result
// lines and the alert texts, how the checker is started, and what each of
// its ends makes of the analysis (fake checkers first in PATH).
#include "config_analysis.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analyses.h"
#include "engine_test_fixture.h"

namespace {

TEST(CageLines, SecondAndThirdWordBlanksOrTabs) {
  HotCage cage;
  ASSERT_TRUE(ParseCageLine("hot 3 52", cage));
  EXPECT_EQ(cage.cage, "3");
  EXPECT_EQ(cage.temp, "52");
  ASSERT_TRUE(ParseCageLine("  over\t\t12 \t 61.5  extra words", cage));
  EXPECT_EQ(cage.cage, "12");
  EXPECT_EQ(cage.temp, "61.5");
  EXPECT_FALSE(ParseCageLine("hot 3", cage));
  EXPECT_FALSE(ParseCageLine("", cage));
  EXPECT_FALSE(ParseCageLine(" \t ", cage));
}

TEST(CageAlertTexts, TwoHotCagesNameTheFirstInTheSymptom) {
  CageAlert alert = NewCageAlert();
  AddHotCage(alert, {"3", "52"});
  AddHotCage(alert, {"5", "55"});
  EXPECT_EQ(alert.symptom, "CAGE3 HIGH_TEMP Drive Cage temperature is high\n");
  EXPECT_EQ(alert.cage_name, "CAGE3");
  EXPECT_EQ(CageAlertText(alert),
            "========== Symptom ==============================\n"
            "CAGE3 Drive Cage temperature is high\n"
            "CAGE5 Drive Cage temperature is high\n"
            "========== Description ==========================\n"
            "The operating temperature of at least one drive in the cage exceeded 50C.\n"
            "Attempts should be made to reduce the drives (and cage) to temperatures\n"
            "below 45C.\n"
            "Current high disk temperature in CAGE3 is 52C.\n"
            "Current high disk temperature in CAGE5 is 55C.\n"
            "========== FRUs/Maintenance Procedures ==========\n"
            "Priority 1, Probability 100%\n"
            "        Maintenance Procedure:\n"
            "                Contact the customer and request that they check the environment\n"
            "                near the Velmar for cooling/air-conditioning problems.");
}

TEST(CheckerCommand, TheStoredFileIsOneArgumentWhateverItHolds) {
  const std::string name = "/sp/files/cfg 1; rm -rf $HOME `id` 'x'";
  ChildSpec spec = CheckerSpec(name, "/tmp/qdAnalyze.CheckCageTemp.77");
  ASSERT_EQ(spec.argv.size(), 2u);
  EXPECT_EQ(spec.argv[0], "CheckCageTemp");
  EXPECT_EQ(spec.argv[1], name);
  EXPECT_EQ(QdCommandText(spec),
            "CheckCageTemp '/sp/files/cfg 1; rm -rf $HOME `id` '\\''x'\\''' "
            "> /tmp/qdAnalyze.CheckCageTemp.77 2>&1");
}

// ---- the checker's ends ---------------------------------------------------
// No database here: the prior-analysis check fails (QDZ0100) and the
// analysis goes on, as it does on a real database error.

class CheckerEnds : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
    bin_ = root_.under("/fakebin");
    setenv("PATH", (bin_ + ":" + saved_path_).c_str(), 1);
    an_.file.Cfile_type = 101;
    std::snprintf(an_.file.Cstore_filename, sizeof an_.file.Cstore_filename, "/sp/cfg 1");
    root_.write("/sp/cfg 1", "cage 1 temp 20 limit 50\n");
    st_.process_name = "QDAN";
    st_.app = &an_;
    std::memset(&txn_, 0, sizeof txn_);
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    EngineTest::TearDown();
  }

  // A checker that runs `body` as a shell script.
  void FakeChecker(const std::string& body) {
    root_.write("/fakebin/CheckCageTemp", "#!/bin/sh\n" + body);
    ASSERT_EQ(chmod((bin_ + "/CheckCageTemp").c_str(), 0755), 0);
  }
  std::string ResultFile() const {
    return root_.under("/tmp/qdAnalyze.CheckCageTemp." + std::to_string(getpid()));
  }
  int Analyze() { return AnalZarvekVelmarConfig(st_, &txn_); }

  std::string bin_;
  std::string saved_path_;
  QDTxn txn_;
};

TEST_F(CheckerEnds, CoolCagesEndTheAnalysisQuietly) {
  FakeChecker("[ \"$1\" = '" + root_.under("/sp/cfg 1") + "' ] || exit 9\nexit 0\n");
  EXPECT_EQ(Analyze(), kStepDone);
  std::string log = Log();
  EXPECT_NE(log.find("QDZ0100 2"), std::string::npos) << log;  // no database here
  EXPECT_NE(log.find("prior analysis select"), std::string::npos);
  EXPECT_EQ(Count(log, "QDA9999"), 0) << log;
  EXPECT_EQ(Alerts(), "");
  EXPECT_NE(access(ResultFile().c_str(), F_OK), 0);
}

TEST_F(CheckerEnds, FailureCodeLogsTheOutputLineByLine) {
  FakeChecker("echo 'cannot parse line 4'\necho 'giving up' >&2\nexit 2\n");
  EXPECT_EQ(Analyze(), kStepDone);
  std::string log = Log();
  std::string command = "CheckCageTemp '" + root_.under("/sp/cfg 1") + "' > " + ResultFile() +
                        " 2>&1";
  EXPECT_NE(log.find("QDA9999 2 " + command + " ended with rc=2, log follows."), std::string::npos)
      << log;
  size_t first = log.find("QDA9999 2 cannot parse line 4");
  size_t second = log.find("QDA9999 2 giving up");
  EXPECT_NE(first, std::string::npos);
  EXPECT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_EQ(Alerts(), "");
  EXPECT_NE(access(ResultFile().c_str(), F_OK), 0);
}

TEST_F(CheckerEnds, SignalAndMissingCheckerAskForARetry) {
  FakeChecker("kill -9 $$\n");
  EXPECT_EQ(Analyze(), kStepRetry);
  EXPECT_NE(Log().find(" abnormal termination, signal=9"), std::string::npos) << Log();
  EXPECT_NE(access(ResultFile().c_str(), F_OK), 0);

  unlink((bin_ + "/CheckCageTemp").c_str());
  setenv("PATH", bin_.c_str(), 1);
  EXPECT_EQ(Analyze(), kStepRetry);
  EXPECT_NE(Log().find("QDA9999 2 execvp() failed, errno=2(No such file or directory)"),
            std::string::npos) << Log();
  EXPECT_NE(access(ResultFile().c_str(), F_OK), 0);
}

TEST_F(CheckerEnds, APlantedLinkAtTheResultNameReceivesNothing) {
  root_.write("/victim", "precious\n");
  ASSERT_EQ(symlink(root_.under("/victim").c_str(), ResultFile().c_str()), 0);
  FakeChecker("echo overwritten\nexit 0\n");
  EXPECT_EQ(Analyze(), kStepDone);
  EXPECT_EQ(root_.read("/victim"), "precious\n");
}

}  // namespace
