#pragma once
// Catch-up of the events the array raised while no worker listened (a
// restart, a lost connection). Before the live stream is read, the
// collection program writes the array's events since the last one
// processed into "/sp/prod/data/files/<sysid>/past_events", in the stream's
// XML form; the file is fed through the same reader and event processing,
// which skips what was processed before the restart.
//
// Window: from two seconds before the stored last event time, at most 24
// hours back. The first attachment of an array (no stored time, no
// "INIT_EVT_<sysid>" key) collects nothing and sets the key; a known array
// without a stored time catches up five minutes.
#include <string>

#include "event_parser.h"
#include "evtmon_state.h"

// Widest catch-up window, in seconds.
constexpr long kCatchUpWindow = 86400;
// Window of a known array whose last event time is unknown.
constexpr long kReattachWindow = 300;
// Block size in which the catch-up file is read.
constexpr long kCatchUpBlock = 32000;

// Results of get_past_events.
enum CatchUpResult : int {
  CATCHUP_OK = 0,           // done, or nothing to do
  CATCHUP_FAILED = -1,      // the fetch could not run or ended by a signal,
                            // or the file is missing or unreadable
  CATCHUP_TIMED_OUT = -2,   // the fetch exceeded its time limit (stopped)
};

// The catch-up file of the worker's array (a system path).
std::string PastEventsFile(const EvtmonState& st);

// Fetches and feeds the past events through `parser` (whose callback is
// process_event), then files what was kept (FlushEvents), so the stored
// last event time covers them. Reads the stored time and node-sequence from
// the dictionary first. A file read without finding or passing the last
// processed event is read a second time, processing all of it. When the
// reader wrote diagnostic files, the file is renamed "<file>.<seq>" after
// the last pass and sent for transfer as "pastevts". Logs each step; a
// CatchUpResult (or the fetch's exit code when it was not 0).
int get_past_events(EvtmonState& st, EventParser& parser);

// The catch-up's part of process_event, for an event whose curr_node_seq is
// set: true when the event is to be skipped (processed before the restart,
// or already fed by the catch-up and now delivered again by the stream).
// While past events are fed it tracks their newest time and count and ends
// the skipping at the last processed event (skipped) or at the first event
// later than it (processed).
bool SkipProcessedEvent(EvtmonState& st, long event_time);
