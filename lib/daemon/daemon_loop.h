#pragma once
// The work-message cycle of a queue daemon: each pass checks the stop
// conditions, takes at most one message, has it processed and ends it as
// deleted, retried or rejected. Messages that failed for a passing reason
// are taken again in retry cycles (one per retry interval) until their age
// passes the retry limit.
//
// Times: the maximum inactivity, retry interval and retry limit are the
// operator's settings in seconds and are used as given; the fixed waits
// (the receive wait and the 20-second pause before reconnecting) go
// through time_scale.h.

#include "daemon.h"

// The loop. Returns the process's exit code: 100 after SIGINT/SIGTERM or a
// stop transaction; 3 after three passes in a row with errors (with the
// recycling alert) or after the maximum inactivity, so that a supervisor
// starts the daemon afresh; 1 when re-initialisation failed; -1 when
// receiving became impossible or a processing step gave an unexpected
// result. On the way out it closes the database connection, runs the
// daemon's release hook, logs QDZ0003 and cleans up (Cleanup(0)).
[[nodiscard]] int DaemonWorkLoop(DaemonState& st);

// One receive step (`retrycycle`: take messages kept for retry). Returns 0
// when the pass went well (also when nothing arrived), above 0 for an error
// of this pass, below 0 when the daemon must stop.
[[nodiscard]] int ReceiveMsg(DaemonState& st, bool retrycycle);

// Ends the current message after a failed processing step: rejects it
// (message 0012) when its age passed the retry limit, else keeps it for
// the next retry cycle. 0 done, -1 when the service refused.
[[nodiscard]] int RetryMsg(DaemonState& st, bool retrycycle);

// Closes the current retry cycle with the daemon's message `digits`; the
// next one starts a retry interval from now.
void EndRetryCycle(DaemonState& st, const char* digits);

// The signal check of this daemon (KCheckForSignal for daemons that watch
// SIGUSR1, else CheckForSignal).
bool DaemonSignalArrived(const DaemonState& st, int signal, bool reset);
