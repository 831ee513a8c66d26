#pragma once
// The two basic event handlers built on the pattern tables. Both have the
// signature shared by every event handler: (slot, event name, event
// string) returning the pattern entry that decided the analysis, or null.
// They read the event's qd_anal_evtdata row from Engine().evtdata.

#include <string>

#include "analysis_engine.h"

// The shape of every event handler.
using EventHandlerFn = PatternEntry* (*)(int slot, const char* event_name,
                                         const std::string& event_string);

// Applies the pattern group named after the event to the event string
// (Parse_entry). No match: null. A match whose rule is 0..9 and names a
// template present in the event's row: ASymptom := that template expanded
// (UseTemplate). Any other rule or an absent template: a process
// notification 'H' "Template %d not found for event '%s'", "Source file:
// %s" and 0039 ('A'; rule, event name), ASymptom unchanged. Returns the
// matching entry in both cases.
PatternEntry* EH_pattern(int slot, const char* event_name, const std::string& event_string);

// Uses template 0 of the event whatever the event string holds: the
// engine's dummy entry takes the event name as its apply name, ASymptom
// := template 0 expanded, and the dummy entry is returned. When template
// 0 is absent: the same notification and 0039 as EH_pattern, naming 0
// and the value of the "Type" tag; null returned.
PatternEntry* EH_generic(int slot, const char* event_name, const std::string& event_string);
