#pragma once
// The daemon's database connection and the final status of a logged
// transaction record.
//
// Time zone: dates travel between the daemons and the database as text, so
// the database session must read and write wall-clock times in the
// process's own zone. Before connecting, a daemon whose environment has no
// PGTZ sets it from TZ, or else from the zone that QdPath("/etc/localtime")
// links to; libpq hands PGTZ to the server as the session's time zone.
// Only names of the zone database (a file below
// QdPath("/usr/share/zoneinfo")) are passed on. When nothing usable is
// found the server's default zone applies (for a cluster made on this
// machine, the machine's zone).

#include "daemon.h"

// Opens the daemon's connections to database `target`: the named
// connections of the daemon's configuration first, in order, then the
// default one; no user name or password is passed (libpq's defaults
// apply), `id` and `password` are only carried. Success logs QDZ0102 'A'
// with target and id and returns 1. The first failure logs QDZ0100 '2'
// with the code, "Connect" (or "Connect as conn3" and so on) and the
// message cut as sql_error.h says, closes what was opened and returns 0.
// Sets st.connected to the outcome.
[[nodiscard]] int get_connected(DaemonState& st, const char* target, const char* id,
                                const char* password);

// Rolls back and closes every connection; st.connected becomes false.
void DaemonDisconnect(DaemonState& st);

// The status text of processing result `result`: 0 "Done", 1 "Retry",
// -1 "Reject", anything else "unknown".
const char* TxnStatusText(int result);

// Writes the status of `result` to the logged record st.txn_objid and
// commits. A database failure earlier in the step (st.reconnect set) is
// rolled back first, so the status still lands when the session is alive.
// A failed update logs QDZ0100 "Update txn status", a failed commit
// "Commit txn update"; both raise st.reconnect.
void DaemonUpdateTxnStatus(DaemonState& st, int result);

// Sets PGTZ as the head of this file says, unless it is already set.
// Returns the zone now in PGTZ, or "" when none could be determined.
std::string DaemonSessionZone();
