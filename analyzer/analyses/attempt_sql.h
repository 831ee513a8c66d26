#pragma once
// The statement that finds earlier attempts at one analysis request in the
// transaction log (attempt_sql.pgc). Nothing here logs; on an error the
// code and message stay in sqlca for the caller (sql_error.h).

#include <string>

#include "txn_text.h"

// How many interrupted attempts one lookup reports at most; more are left
// for the next delivery.
constexpr int kAttemptsMax = 50;

// The logged "FAR" requests of format 2 other than `own_objid` with the
// same association id, request time and file (object id, type, sequence
// and name as the log stores them) whose status is "InProc" or "Done":
// `inproc` receives the object ids of the "InProc" ones (oldest first, at
// most kAttemptsMax), `done` how many are "Done". Returns the statement's
// SQL code (0, or negative on an error).
[[nodiscard]] int SelectEarlierAttempts(const TxnHeaderText& hdr, const TxnFdbText& fdb,
                                        const char* own_objid, std::string& inproc, long& done);
