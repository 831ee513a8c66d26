// The link error, component state and node integrity handlers in the
// running qdAnalyze: none of them writes a report; what they decide shows
// in the history row (component and keyword of the symptom, urgency) or
// in its absence. They decide alike on and off the service processor.
#include <gtest/gtest.h>

#include "handler_run.h"

namespace {

class StateRun : public HandlerRun {
 protected:
  StateRun() : HandlerRun("state") {}

  void Check(bool on_sp) {
    ExpectedSections expected = LoadExpected();
    ASSERT_GE(expected.size(), 6u);
    Configure(on_sp);
    AnalyzeAll(expected);
    for (const auto& fixture : expected) {
      SCOPED_TRACE(fixture.first);
      EXPECT_EQ(History(fixture.first), Want(fixture.second));
      EXPECT_EQ(Report(fixture.first), "");
    }
  }
};

TEST_F(StateRun, OffTheServiceProcessor) { Check(false); }
TEST_F(StateRun, OnTheServiceProcessor) { Check(true); }

}  // namespace
