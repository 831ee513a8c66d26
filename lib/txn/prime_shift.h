#pragma once
// Prime shift: whether a moment falls in a user's working hours, from the
// weekly schedules of qd_shift and the single periods of
// qd_shift_exception.
//
// Schedules and exceptions have a validity period (active_start inclusive,
// active_end exclusive) and belong to a user (owner = resource id) or to
// everybody (owner -1). The user's own rows come before the global ones,
// and of those the most recently started: only that first row counts. A
// day's window is [start, end) in four-character HHMM texts compared as
// texts; a null start reads "2400" and a null end "0000", so a day without
// times, or with a start later than its end, has no prime time. A valid
// exception then decides alone: action 'N' off shift, anything else prime.

#include <ctime>

#include "log_message.h"

// `now` is a time value whose universal-time calendar fields are the
// user's wall-clock time (the caller builds it so); `owner` the user's
// resource id; `log` must not be null. Returns true for prime shift.
// Statements run on the current connection; both cursors are closed on
// every way out. Database failures log QDZ0100 '2' with the code, the
// action ("open shift cursor", "fetch shift cursor", "open exception
// cursor", "fetch exception cursor") and the database's message; a failed
// statement's transaction is rolled back. No usable schedule (none valid,
// or a failure reading it) gives true, with "fetch shift cursor" logged
// when there is simply no row; a failed exception lookup keeps the
// schedule's answer.
[[nodiscard]] bool qdPrimeShift(long now, long owner, CLogMessage* log);
