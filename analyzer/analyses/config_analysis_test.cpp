// The configuration analysis without a database: the alert texts, and the
// checker's ends that the program tests do not reach (fake checkers first
// in PATH; the prior-analysis check fails for want of a database and the
// analysis goes on, as on a real database error).
#include "config_analysis.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analyses.h"
#include "engine_test_fixture.h"

namespace {

TEST(CageAlert, TwoHotCagesNameTheFirstAndLinesWithoutThreeWordsAreNoCage) {
  CageAlert alert = NewCageAlert();
  HotCage cage;
  for (const char* line : {"hot 3 52", "  over\t\t5 \t 55  extra words"}) {
    ASSERT_TRUE(ParseCageLine(line, cage)) << line;
    AddHotCage(alert, cage);
  }
  EXPECT_FALSE(ParseCageLine("hot 3", cage));
  EXPECT_FALSE(ParseCageLine(" \t ", cage));
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

class CheckerEnds : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
    bin_ = root_.under("/fakebin");
    setenv("PATH", (bin_ + ":" + saved_path_).c_str(), 1);
    std::snprintf(an_.file.Cstore_filename, sizeof an_.file.Cstore_filename, "/sp/cfg1");
    st_.app = &an_;
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    EngineTest::TearDown();
  }
  void FakeChecker(const std::string& body) {
    root_.write("/fakebin/CheckCageTemp", "#!/bin/sh\n" + body);
    ASSERT_EQ(chmod((bin_ + "/CheckCageTemp").c_str(), 0755), 0);
  }
  std::string ResultFile() const {
    return root_.under("/tmp/qdAnalyze.CheckCageTemp." + std::to_string(getpid()));
  }
  int Analyze() {
    QDTxn txn{};
    return AnalZarvekVelmarConfig(st_, &txn);
  }

  std::string bin_;
  std::string saved_path_;
};

TEST_F(CheckerEnds, SignalOrNoCheckerAsksForARetryAndLeavesNoResultFile) {
  FakeChecker("kill -9 $$\n");
  EXPECT_EQ(Analyze(), kStepRetry);
  EXPECT_NE(Log().find("QDA9999 2 CheckCageTemp " + root_.under("/sp/cfg1") + " > " +
                       ResultFile() + " 2>&1 abnormal termination, signal=9"),
            std::string::npos) << Log();
  EXPECT_NE(access(ResultFile().c_str(), F_OK), 0);

  setenv("PATH", root_.under("/empty").c_str(), 1);
  EXPECT_EQ(Analyze(), kStepRetry);
  EXPECT_NE(Log().find("QDA9999 2 execvp() failed, errno=2(No such file or directory)"),
            std::string::npos) << Log();
  EXPECT_NE(access(ResultFile().c_str(), F_OK), 0);
}

TEST_F(CheckerEnds, ALinkPlantedAtTheResultNameReceivesNothing) {
  root_.write("/victim", "precious\n");
  ASSERT_EQ(symlink(root_.under("/victim").c_str(), ResultFile().c_str()), 0);
  FakeChecker("echo overwritten\nexit 0\n");
  EXPECT_EQ(Analyze(), kStepDone);
  EXPECT_EQ(root_.read("/victim"), "precious\n");
}

}  // namespace
