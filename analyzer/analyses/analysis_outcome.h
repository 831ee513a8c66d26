#pragma once
// What an analysis leaves in the database once its notification request is
// on its way: the history row, the analysis recorded in the file's
// catalogue row, and the final status "Done" of the request's log rows
// (this attempt's and the interrupted ones', request_attempts.h). They are
// written in one transaction with one commit, so a request delivered again
// after the analyzer died finds either all of them or none.

#include "analysis_sql.h"
#include "daemon.h"

// Writes the outcome: the history row `history` (none when null), the
// symptom, run date and report name into the catalogue row of the current
// file when it has an object id, and the status "Done"; then commits.
// Success marks the status written (the cycle's status step then has
// nothing to do).
//
// A statement that fails is logged (QDZ0100 "History insert" with a process
// notification 'H' "History insert error", "post analysis", "Update txn
// status", "Commit analysis") and the transaction rolled back; when the
// connection lives on, the history row and the catalogue are written again
// one by one, each committed, leaving out the failed one, and the status is
// left to the cycle's status step. A lost connection ends it there (the
// reconnect request is raised). Never stops the analysis.
void RecordOutcome(DaemonState& st, const HistoryRow* history);
