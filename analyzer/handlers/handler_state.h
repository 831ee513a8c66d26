#pragma once
// The handlers' scratch state: what the node power supply and battery
// handlers read from the command output of the current event. It belongs
// to the engine (Engine().handlers), so ResetEngine clears it with the
// rest of the analyzer's state.

#include "power_state.h"

struct HandlerState {
  ShowNodeState node;
  ShowBattState batt;
};

// The engine's handler state, made on first use after a reset.
HandlerState& Handlers();
