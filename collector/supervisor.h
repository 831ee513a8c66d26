#pragma once
// The collector's two processes: a supervisor and a worker joined by a
// heartbeat pipe. The worker writes a 4-byte time stamp into the pipe after
// every read, for every event and while it waits for its start-up
// commands; the supervisor replaces nothing itself: it kills a worker that
// falls silent and ends, and the service manager starts the program again.
//
// As a daemon the worker is the child and the supervisor waits for it (a
// worker whose supervisor dies gets SIGTERM and stops); in
// interactive mode ("-D") the program itself is the worker and the child
// watches it through the pipe alone (end of file on the pipe: the worker
// has gone).
//
// The watchdog measures elapsed time on the monotonic clock: the first
// heartbeat counts as given 360 s after the start, then at most `max_secs`
// (60 s, 3600 s interactive) may pass without one, all scaled by
// QD_TIME_SCALE. The write end is
// non-blocking, so a supervisor that does not read never stops the worker.
#include <sys/types.h>

#include <functional>

#include "evtmon_state.h"

// Grace before the first heartbeat is due, in seconds.
constexpr double kStartGrace = 360;
constexpr double kWatchdogDaemon = 60;
constexpr double kWatchdogInteractive = 3600;

// Results of run_process in the supervisor; the worker's own exit code
// otherwise. Every end but an operator stop is non-zero, so a service
// manager that restarts on failure restarts the collector.
enum RunResult : int {
  RUN_STOPPED = 100,          // SIGTERM (operator stop)
  RUN_PIPE_FAILED = -1,       // no pipe, or waiting for the worker failed
  RUN_FORK_FAILED = -2,
  RUN_NONBLOCK_FAILED = -4,
  RUN_WATCHDOG = -6,          // the worker fell silent and was killed
  RUN_WORKER_SIGNALLED = -7,  // the worker ended by a signal
};

// Elapsed seconds on the monotonic clock.
double MonotonicSeconds();

// Heartbeat bookkeeping of the supervisor (times in monotonic seconds).
struct Watchdog {
  double due = 0;    // the next heartbeat is due by then
  double limit = 0;  // allowed silence, already scaled
  void Start(double now, double grace, double silence) {
    limit = silence;
    due = now + grace + silence;
  }
  void Beat(double now) { due = now + limit; }
  bool Expired(double now) const { return now > due; }
};

// The worker: runs with st.heartbeat_fd set and returns its exit code.
using WorkerFn = std::function<int(EvtmonState&)>;

// Makes the pipe, forks, and runs `worker` in the worker process and the
// watch in the supervisor (roles as in the file comment). A worker that
// is the child gets a logger of its own and no work-message object (the
// parent's database session is never used across the fork: the worker
// makes its own) and returns its result to the caller, which ends the
// process with it. The supervisor returns a
// RunResult or the worker's exit code; it logs the worker's end, notifies
// the operators of a failed or silent worker (SPE0013 for the time-out),
// and stops every child it has left (KillMyChildren).
int run_process(EvtmonState& st, const WorkerFn& worker);

// Stops every child of the calling process: SIGTERM, then SIGUSR2, then
// SIGKILL, each followed by up to 5 s (scaled) in which ended children are
// reaped. 0 when none is left (or none was there), -1 when some survived
// even SIGKILL. Logs each step.
int KillMyChildren(EvtmonState& st);
