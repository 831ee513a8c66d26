#pragma once
// The event handlers that qd_anal_evtdata names (column handlername), and
// the fixed table the event analysis finds them in. Every handler has the
// shape of EventHandlerFn (basic_handlers.h): (slot, event name, event
// string) returning the pattern entry that decided the analysis, or null
// when none applied. Handlers may set ASymptom, AUrgency, ForceUrgencyLow,
// ForceUrgencyIgnore, EADetails, AExtraText and the message keys, and may
// write the analysis report.

#include <string>

#include "basic_handlers.h"

// One row of the handler table.
struct EventHandlerEntry {
  const char* name;       // handlername as qd_anal_evtdata spells it
  EventHandlerFn handler;
};

// The handler named `name` (exact, case-sensitive match; the first row
// that matches), or null when the table has no such name.
EventHandlerFn FindEventHandler(const char* name);

// The table itself, in search order, ending with a row whose name is null.
extern const EventHandlerEntry kEventHandlers[];

// ---- the handlers beside EH_pattern and EH_generic ----------------------

// Drive cage events.
PatternEntry* EH_jbodevt(int slot, const char* event_name, const std::string& event_string);
// Node power supplies.
PatternEntry* EH_nodepower(int slot, const char* event_name, const std::string& event_string);
// Fibre Channel link error counts.
PatternEntry* EH_lesb(int slot, const char* event_name, const std::string& event_string);
// Disk command errors, failures and aborted commands.
PatternEntry* EH_dskerr(int slot, const char* event_name, const std::string& event_string);
PatternEntry* EH_dskfail(int slot, const char* event_name, const std::string& event_string);
PatternEntry* EH_dskabrt(int slot, const char* event_name, const std::string& event_string);
// Component notifications whose rule 9 means low urgency.
PatternEntry* EH_notifycomp(int slot, const char* event_name, const std::string& event_string);
// Node batteries ("battery" and "PATbattery").
PatternEntry* EH_battery(int slot, const char* event_name, const std::string& event_string);
// Component states.
PatternEntry* EH_compstate(int slot, const char* event_name, const std::string& event_string);
// Node integrity.
PatternEntry* EH_nodeinteg(int slot, const char* event_name, const std::string& event_string);

// Events that are not analyzed: ForceUrgencyIgnore set (neither history
// nor notification), ASymptom "Skip analysis for <event name>", so that
// the catalogue still says why. Returns null.
PatternEntry* EH_noanalysis(int slot, const char* event_name, const std::string& event_string);
