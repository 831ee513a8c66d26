// The node power supply and battery handlers in the running qdAnalyze.
// Every event file of tests/corpus/handlers/power is analyzed in name
// order, so that later fixtures find the history rows of earlier ones
// (a repeated AC failure, a fan failure after a removal).
#include <gtest/gtest.h>

#include "handler_run.h"

namespace {

class PowerRun : public HandlerRun {
 protected:
  PowerRun() : HandlerRun("power") {}
};

TEST_F(PowerRun, OffTheServiceProcessorReportsCarryTheDecisionAndCallouts) {
  ExpectedSections expected = LoadExpected();
  ASSERT_GE(expected.size(), 10u);
  Configure(false);
  AnalyzeAll(expected);
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    SCOPED_TRACE(name);
    EXPECT_EQ(History(name), Want(fixture.second));
    EXPECT_EQ(Report(name), ExpectedReport(name));
  }
  EXPECT_EQ(Count("Unable to find requested fru callout"), 0);
  EXPECT_EQ(Count("QDA0042 A 'showbattery/shownode' output not available"), 0)
      << "missing output is quiet";
  EXPECT_EQ(Count("Node 1 power supply number '2' is invalid."), 1);
}

TEST_F(PowerRun, OnTheServiceProcessorNoReportAndNoKeys) {
  ExpectedSections expected = LoadExpected();
  Configure(true);
  AnalyzeAll(expected);
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    SCOPED_TRACE(name);
    ExpectedSection want = fixture.second;
    want["urgency"] = want["urgency.on_sp"];
    want["keys"] = "none";
    want["details"] = "none";
    EXPECT_EQ(History(name), Want(want));
    EXPECT_EQ(Report(name), "");
  }
}

}  // namespace
