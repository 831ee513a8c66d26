#pragma once
// The grouper's loop, run after the framework's start-up in place of the
// work-message cycle: the grouper takes no messages, it wakes every sleep
// interval and runs one grouping pass (group_pass.h).
//
// Each pass: stop after three passes in a row with an error; run the pass
// (or, without a database connection, try to connect); drop the
// connection when a statement failed, else roll back the default one;
// then sleep the sleep interval in steps of at most 2 seconds, each step a
// wait through time_scale.h, checking the signals before every step.

#include "daemon.h"

// Errors in a row that stop the grouper once exceeded.
constexpr int kGrouperMaxErrorsInRow = 2;
// Longest single step of the sleep, in seconds.
constexpr long kGrouperSleepStep = 2;

// The loop. Returns the exit code: 100 after SIGINT or SIGTERM ("Stopping
// due to operator request." on standard error, QDZ0004); 3 after three
// passes in a row with an error ("Stopping due to excessive errors." on
// standard error and as QDZ9999 '2', and the recycling alert), so that a
// supervisor starts it afresh; 1 when re-initialisation on SIGHUP failed.
// On the way out closes the database connections, logs QDZ0003 and cleans
// up (Cleanup(0)).
[[nodiscard]] int GrouperLoop(DaemonState& st);
