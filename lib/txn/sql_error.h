#pragma once
// The database-error convention every module of the system follows: a
// failed statement is logged as QDZ0100 with the SQL code, an action text
// naming the statement and the database's message, cut to 149 characters
// with trailing blanks and line ends removed.
//
// ecpg keeps the outcome of the last statement in `sqlca`, one per thread;
// read it right after the statement, before anything else touches the
// database.

#include <string>

#include "log_message.h"

// Longest database message the convention keeps.
constexpr size_t kQdSqlMessageMax = 149;

// `text` (of which at most `length` bytes are read, stopping at a NUL) cut
// to kQdSqlMessageMax characters, then stripped of trailing blanks, tabs,
// carriage returns and line feeds. A null `text` gives "".
std::string QdCutSqlMessage(const char* text, size_t length);

// The SQL code (sqlca.sqlcode) of the thread's last statement: 0 success,
// 100 no row, negative an error.
long QdSqlCode();

// The thread's last database message (sqlca.sqlerrm) cut as above.
std::string QdSqlMessage();

// True when the thread's last statement failed (sqlca.sqlcode < 0).
bool QdSqlFailed();

// Clears the thread's error indicator (sqlca), so a later check sees only
// what happens after this call.
void QdSqlClear();

// Logs QDZ0100 with `urgency`, the code, `action` and the message. When the
// message cannot be issued, writes "Error attempting to issue message
// QDZ0100 " and the logger's error text to standard error under `module`
// (default "qd"). Returns true when the message was logged. `log` null:
// only the standard error line is written, result false.
bool QdLogSqlError(CLogMessage* log, long code, const char* action, const std::string& message,
                   char urgency = '2', const char* module = nullptr);

// The same with the code and message of the thread's last statement
// (sqlca), read on entry.
bool QdLogSqlError(CLogMessage* log, const char* action, char urgency = '2',
                   const char* module = nullptr);
