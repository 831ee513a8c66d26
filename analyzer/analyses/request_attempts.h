#pragma once
// Attempts at one analysis request. The work-message service delivers a
// request again when its analyzer died while working on it (killed, crashed,
// the machine stopped): the message is only deleted after the analysis's
// last commit. The request's log rows tell a new attempt what an earlier one
// achieved, so nobody is told twice and nothing is recorded twice:
//
//  - an earlier attempt whose log row is "Done" committed the whole outcome
//    (history row, catalogue and status go in one transaction, after the
//    notification request was sent): the new attempt does nothing more;
//  - an earlier attempt still "InProc" was cut short: the new attempt
//    analyses again, gives those rows its own final status, and sends the
//    notification request under the request's send key, which the
//    work-message service stores only once (CWorkMessages::SendOnce).
//
// One request is one analysis request ("FAR", format 2) with the same
// association id, request time and file (object id, type, sequence, name),
// as the transaction log stored them: the sender starts a chain with a new
// association id for each request it makes, so a second delivery of those
// fields is the same request.

#include <string>

#include "analyzer_state.h"
#include "daemon.h"
#include "qd_txn.h"

// (The attempts of the current request live in AnalyzerState::attempts,
// RequestAttempts in analyzer_state.h.)

// The send key of the notification request of `far`: "QDAN-FAR-" and 16
// hexadecimal digits that digest the request's association id, time and
// file as the transaction log stores them.
std::string RequestSendKey(const qd_Transaction_Format_2& far);

// Fills `st`'s attempts for the logged request `far` (its log row is
// st.txn_objid): the send key, the interrupted attempts and whether one
// ended "Done". Returns 0; or 1 after a database error (QDZ0100 "earlier
// attempts select"; the reconnect request when the connection is gone),
// the attempts then empty.
[[nodiscard]] int FindEarlierAttempts(DaemonState& st, const qd_Transaction_Format_2& far);

// Writes `status` into this attempt's log row and the interrupted ones',
// without committing. Returns true, or false after logging QDZ0100 "Update
// txn status".
[[nodiscard]] bool WriteAttemptStatus(DaemonState& st, const char* status);

// The status step of the analyzer's cycle (DaemonConfig::update_status):
// nothing when the analysis already committed its status with its outcome;
// else the status of `result` for this attempt and the interrupted ones,
// committed ("Update txn status", "Commit txn update" on failure).
void UpdateAttemptStatus(DaemonState& st, int result);
