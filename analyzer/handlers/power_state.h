#pragma once
// Node power supplies and batteries: what the "shownode" and "showbattery"
// output that the collector attached to the event (AAddedData) says about
// one node's power supplies and their batteries. EH_nodepower and
// EH_battery (event_handlers.h) decide on these.

#include <string>

constexpr int kBatterySlots = 5;  // batteries per power supply

// One battery of the "showbattery" output.
struct BattData {
  bool charging = false;
  bool expired = false;
  std::string state = "NotFound";  // upper case: "OK", "FAILED", "EXPIRED" or as reported
  std::string manufacturer = "NotFound";
  std::string model = "NotFound";
  std::string serial = "NotFound";  // "Missing" for an empty serial, "-..." or "0"
};

// The batteries of one node's power supply, refilled per look-up.
struct ShowBattState {
  std::string node = "Missing";
  std::string power_supply = "Missing";
  bool no_battery_found = true;
  long count = 0;  // batteries found
  long life = 0;   // minutes of battery life reported
  BattData batteries[kBatterySlots];
  bool old_layout = false;  // the output had the oldest layout
};

// The power supplies of one node, refilled per analysis.
struct ShowNodeState {
  std::string node = "Missing";
  std::string ps_state[2] = {"NotFound", "NotFound"};
};

// The engine's instances (handler_state.h).
ShowNodeState& ShowNode();
ShowBattState& ShowBatt();

// A power-supply state as the decisions compare it: upper case, blanks,
// tabs, carriage returns and newlines trimmed at both ends, inner blanks
// and tabs as "_"; any state holding "AC_FAIL" becomes "AC_FAIL" and
// "PRESENT_&_OK" becomes "OK".
std::string EA_format_psstate(const std::string& state);

// Fills ShowNode() for `node` (digits) from the "shownode" section of
// AAddedData, or, without one, from the battery look-up of power supplies
// 0 and 1. Returns true when the node data is missing. Logs 0042 ('A')
// for a node or power-supply state it cannot find, 9999 ('2') for an
// expression that does not compile. Needs the handler patterns (the
// caller checks them with PowerPatternsUsable).
bool EA_NodeState(const std::string& node);

// Fills ShowBatt() for `node` and power supply `ps` from the "showbattery"
// output in any of its three layouts, and ShowNode()'s state of that power
// supply where the layout gives it. A power supply above 1 is logged (9999
// '2') and looked up as 0. Returns true when the data is missing (no
// showbattery output, or a CLI command failed and no battery was found);
// the reason for a node whose batteries cannot be found is logged as 0042
// ('A') and the result is then not missing.
bool EA_BatteryState(const std::string& node, const std::string& ps);

// True when every handler pattern the two handlers use compiled.
bool PowerPatternsUsable();
