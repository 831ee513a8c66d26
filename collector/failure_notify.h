#pragma once
// Telling the operators that the collector itself is in trouble, with two
// brakes against a flood: a throttle per failure kind (a notification only
// when the same kind failed more than SPEVT_TEMP_FAILURE_LIMIT times within
// SPEVT_TEMP_FAILURE_TIME seconds) and, per array, at most one notification
// in eight hours ("SP_Last.Notify.Time_<sysid>").
//
// Failure history: one file per array and kind,
// "/sp/tmp/evtmon.failure.<sysid>.<kind>", a decimal time and a line feed
// per recent failure, mode 0600. It is replaced whole through its own
// temporary twin ("<file>.tmp") under the lock "<file>.lock", so the
// supervisor and the worker of one array never lose each other's lines.
#include <ctime>
#include <string>

#include "evtmon_state.h"

// Least distance between two notifications for one array, in seconds.
constexpr long kNotifyDistance = 28800;

// The history file of `kind` for the array `sysid` (a system path).
std::string FailureFile(const std::string& sysid, const std::string& kind);

// Records a failure of `kind` at `now` and answers whether it is to be
// notified: yes when the limit or the period is not configured, when the
// history cannot be written, or when the failures within the period
// (this one included) exceed the limit; the history is then removed so the
// count starts afresh. Logs the steps as free text.
bool should_i_notify(EvtmonState& st, const std::string& kind, time_t now = time(nullptr));

// Sends the notification (urgency 'H', event "Notification from EVTMON")
// through Notify to "QDNOT" unless one was sent for this array within the
// last eight hours; then runs "/sp/prod/code/ruzi/bin/splor" (no
// arguments, no shell). The check, the send and the stored time happen
// under one lock per array, so two processes cannot both pass the check.
// Returns 0 when sent or not due, 1 when Notify failed (its text logged).
int sendNotify(EvtmonState& st, const std::string& abstract, const std::string& text,
               time_t now = time(nullptr));

// should_i_notify(kind), then sendNotify when it answers yes.
void NotifyThrottled(EvtmonState& st, const std::string& kind, const std::string& abstract,
                     const std::string& text);
