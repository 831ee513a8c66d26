#pragma once
// The analyses the dispatch calls, one per file type. Each takes the
// received record (a format 2 "FAR" request) with the current file filled
// in the analyzer state and returns a processing result: 0 done, 1 retry
// later, 2 database failure, -1 refuse.

#include "analyzer_state.h"
#include "qd_txn.h"

// Event file (type 100).
[[nodiscard]] int AnalZarvekVelmarEvent(DaemonState& st, const QDTxn* txn);

// Configuration file (type 101).
[[nodiscard]] int AnalZarvekVelmarConfig(DaemonState& st, const QDTxn* txn);
