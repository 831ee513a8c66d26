#pragma once
// How the analysis engine's modules report: messages through the logger of
// the daemon the engine works for (Engine().daemon), process notifications
// under the daemon's module name, and the current file's values that the
// texts name. Without a daemon (a bare engine in a test or a fuzz run)
// messages are dropped; the current file's values read as empty.

#include <string>

#include "analysis_engine.h"
#include "daemon_log.h"

// Issues the daemon's own message `digits` (prefix + digits, "QDA0040").
// False when there is no daemon or the message could not be issued (the
// daemon's convention for that applies).
template <class... Args>
bool EngineLogOwn(const char* digits, char urgency, const Args&... args) {
  DaemonState* st = Engine().daemon;
  return st && DaemonLogOwn(*st, digits, urgency, args...);
}

// Logs QDZ0100 with the last statement's code and message and `action`,
// and raises the reconnect request. Nothing without a daemon.
void EngineSqlError(const std::string& action);

// A process notification under the daemon's module name ("qdAnalyze"
// without a daemon).
void EngineNotify(char urgency, const std::string& abstract, const std::string& text);

// printf into a string; `format` is always a literal of the caller.
std::string EngineFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The received work message's id as the logs show it (8 hex digits).
std::string EngineMessageId();

// The current file's type, product id and stored file name.
long CurrentFileType();
const char* CurrentProdId();
const char* CurrentStoreFile();
