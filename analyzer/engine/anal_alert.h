#pragma once
// Process notifications raised by the analysis modules (templates, report,
// history), through one function so that tests and the fuzz harness can see
// or silence them without an alerts file (Engine().seams.alert).

#include <string>

// Raises a process notification for the analyzer: ProcessNotify under the
// daemon's module name (Engine().daemon, "qdAnalyze" when none is set), or
// the engine's alert seam when a test set one. Never fails; a notification
// that cannot be written is reported by the platform on standard error.
void AnalAlert(char urgency, const std::string& abstract, const std::string& text);

// The store file name of the current analysis ("" when no analyzer state
// is attached): the file that notifications and messages name.
const char* AnalStoreFile();

// ---- messages of the analysis modules -----------------------------------
// Thin wrappers over the daemon's logger (Engine().daemon); with no daemon
// attached nothing is logged.

#include "analysis_engine.h"
#include "daemon_log.h"

// Issues the analyzer's own message `digits` ("0033" -> QDA0033).
template <class... Args>
void AnalLog(const char* digits, char urgency, const Args&... args) {
  if (DaemonState* st = Engine().daemon) DaemonLogOwn(*st, digits, urgency, args...);
}

// The same with the system error `errnum` appended to the text.
template <class... Args>
void AnalLogErrno(int errnum, const char* digits, char urgency, const Args&... args) {
  DaemonState* st = Engine().daemon;
  if (!st) return;
  std::string id = DaemonMsgId(*st, digits);
  if (!(st->log && st->log->Insert(errnum, id, urgency, args...))) DaemonIssueFailed(*st, id);
}

// QDZ0100 for the statement that just failed, with the reconnect request.
void AnalSqlError(const char* action);

// The received work message's id as the operator tools show it.
std::string AnalMessageId();
