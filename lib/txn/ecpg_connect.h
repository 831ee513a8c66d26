#pragma once
// The process's default embedded-SQL connection, opened and closed by name
// of the database alone: host, port and user come from libpq's defaults
// (the PG* environment), so the same call reaches the private test cluster
// and a deployed server.

#include <string>

// Opens the default connection (no AT name) to database `target`; null or
// empty means the database of PGDATABASE. Statements then run in
// transactions that end only at an explicit commit or rollback. Returns 0;
// -1 with `error` holding the SQL code and the database's message when the
// connection could not be opened (nothing is left open then).
[[nodiscard]] int QdEcpgConnect(const char* target, std::string& error);

// Rolls back and closes every connection of the process. Harmless when
// none is open.
void QdEcpgDisconnectAll();
