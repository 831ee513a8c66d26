#pragma once
// The framework's own statements (embedded SQL, daemon_sql.pgc). Each
// returns the statement's SQL code: 0 done, negative failed; the code and
// the database's message stay in sqlca for the caller to log
// (sql_error.h). Nothing here logs.

// Opens a connection to database `target` without user name or password
// (libpq's defaults apply). `name` null or "" opens the default
// connection, which then becomes the current one; otherwise the named
// connection `name`.
[[nodiscard]] int DaemonSqlConnect(const char* target, const char* name);

// Rolls back the current transaction of the current connection.
int DaemonSqlRollback();

// Rolls back and closes every connection of the process; quiet when there
// is none.
void DaemonSqlDisconnectAll();

// "update qd_txn_log set status = $1  where objid = $2 ".
[[nodiscard]] int DaemonSqlUpdateStatus(const char* status, const char* objid);

// "commit work" when the current connection has a transaction open; 0 at
// once when it has none (with autocommit on, or nothing run since the last
// commit), so that no round trip goes to a commit with nothing to end.
[[nodiscard]] int DaemonSqlCommit();

// Turns autocommit on for the current connection: each statement run
// outside an open transaction commits itself, and no "begin" round trip
// precedes it. Statements that must commit together are put in a
// transaction with DaemonSqlBegin. Sends nothing while no transaction is
// open.
[[nodiscard]] int DaemonSqlAutocommit();

// Opens a transaction on the current connection unless one is open (or
// failed and not yet rolled back). `*began` tells whether this call opened
// it: the caller that opened it commits it.
[[nodiscard]] int DaemonSqlBegin(bool* began);

// After a failed statement: 1 when the failure means the current connection
// is gone (ecpg has no connection, libpq saw it break, or the statement's
// SQL state is a connection exception or a server shutdown), 0 when the
// session lives on (the statement itself, or its data, was at fault).
// Reads sqlca: call it right after the statement.
[[nodiscard]] int DaemonSqlConnectionLost();

// After a failed statement: 1 when the database refused the statement's
// data (SQL state class 22, a data exception: bytes that are no text of the
// database's encoding, a value that does not convert), which the same
// values would meet again on every retry; else 0. Reads sqlca: call it
// right after the statement.
[[nodiscard]] int DaemonSqlDataException();
