#pragma once
// How qdGrpNot uses the queue-daemon framework: its names, options, start-up
// summary and loop. It registers for no message and does not read
// RUNNINGONSP; start-up resolves the ids of "QDNOT" and "QDDB" and opens
// the connections "conn3", "conn2" and "conn1" before the default one.
//
// Options: -d (first: foreground), -o target, -i id, -p process name and
// -s seconds, the sleep interval (default 120; a value below 1 becomes 60).
// Any other letter, -C included, makes start-up fail.

#include "daemon.h"

// The grouper's configuration of the framework. `st.app` must point at the
// process's GrouperState.
DaemonConfig GrouperConfig();
