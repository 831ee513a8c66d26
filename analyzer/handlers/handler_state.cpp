#include "handler_state.h"

#include "analysis_engine.h"

namespace {

void Release(HandlerState* state) { delete state; }

}  // namespace

HandlerState& Handlers() {
  HandlerStateSlot& slot = Engine().handlers;
  if (!slot.state) {
    slot.state = new HandlerState();
    slot.release = Release;
  }
  return *slot.state;
}
