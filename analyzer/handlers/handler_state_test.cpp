#include "handler_state.h"

#include <gtest/gtest.h>

#include "analysis_engine.h"

namespace {

// The node and battery tables of one event must not survive into the
// next test or the engine's re-initialisation.
TEST(HandlerState, BelongsToTheEngineAndGoesWithItsReset) {
  ResetEngine();
  Handlers().batt.count = 3;
  Handlers().node.ps_state[1] = "AC_FAIL";
  EXPECT_EQ(&ShowBatt(), &Handlers().batt);
  EXPECT_EQ(ShowNode().ps_state[1], "AC_FAIL");

  ResetEngine();
  EXPECT_EQ(Engine().handlers.state, nullptr);
  EXPECT_EQ(ShowBatt().count, 0);
  EXPECT_EQ(ShowNode().ps_state[1], "NotFound");
  ResetEngine();
}

}  // namespace
