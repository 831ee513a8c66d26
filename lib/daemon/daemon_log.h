#pragma once
// Issuing messages from a daemon: shared QDZ ids and the daemon's own ids
// (message prefix "QD" + log character, then four digits). A message that
// cannot be issued goes to standard error as "Error attempting to issue
// message " + id, then the logger's error text, and counts as an error of
// the current pass.

#include <cstdint>
#include <string>

#include "daemon.h"

// Writes `text` to standard error as this daemon ("MODULE[PID]: " when it
// runs as a daemon).
void DaemonStderr(const DaemonState& st, const std::string& text);

// Reports a message that could not be issued (no logger, or the logger
// refused): the failure line on standard error, error this pass set.
void DaemonIssueFailed(DaemonState& st, const std::string& id);

// The daemon's own id for `digits` ("0011" -> "QDA0011").
std::string DaemonMsgId(const DaemonState& st, const char* digits);

// Issues `id`; true when logged, else handled as DaemonIssueFailed.
template <class... Args>
bool DaemonLog(DaemonState& st, const std::string& id, char urgency, const Args&... args) {
  if (st.log && st.log->Insert(id, urgency, args...)) return true;
  DaemonIssueFailed(st, id);
  return false;
}

// Issues the daemon's own message `digits`.
template <class... Args>
bool DaemonLogOwn(DaemonState& st, const char* digits, char urgency, const Args&... args) {
  return DaemonLog(st, DaemonMsgId(st, digits), urgency, args...);
}

// Logs QDZ0100 (urgency '2') with the code and message of the thread's last
// statement and `action`. When the failure lost the connection it raises
// the reconnect request (the pass drops the connection, and a later one
// makes a new one after the reconnect pause) and returns true. Otherwise
// the statement or its data was at fault and the session lives on: the
// failed transaction is rolled back, so the next statement runs, no
// reconnect is asked for, and the result is false.
bool DaemonSqlError(DaemonState& st, const char* action);
