#pragma once
// One grouping pass: for every product of qd_prod_attr and every class
// whose grouping is on, the due serials' parked rows become summary
// requests to the notifier and are deleted.
//
// A serial is due when its newest row is older than the class's delay or
// its oldest row older than its maximum delay (both in minutes, compared
// as fractions of a day, so a delay of 30 minutes is 30 minutes).
//
// Each serial is one transaction on "conn1": its rows are taken (status
// 'L'), read as groups, cut into summaries (summary.h) and sent
// (gnr_request.h); then, in one decision, the rows whose summaries went out
// (to the notifier or the fallback spool) are deleted and the rows of a
// summary that could go nowhere are given back to the waiting state, and
// the transaction is committed. Rows the notifier parks meanwhile stay
// waiting for a later pass.
//
// Every database failure logs QDZ0100 ('2') with the statement's action
// text, raises st.reconnect and ends the pass with result 1; the serial's
// transaction is rolled back, so its rows wait again.

#include "daemon.h"
#include "grouper_sql.h"

// Minutes as the fraction of a day the due-serial query compares ages with.
double MinutesToDays(long minutes);

// The pass over all products ("conn2" settings cursor). Returns 0, or 1
// when a statement failed or a summary could go nowhere (an error of the
// pass; the scan stops at the first).
[[nodiscard]] int LookForWork(DaemonState& st);

// The due serials of class `notclass` of `vendor` `product` with its
// delays in minutes. In the foreground first logs QDZ9999 '0'
// "Processing for <vendor> <product> class <k>"; after grouping logs
// QDZ9999 '0' "<n> notifications grouped for <vendor> <product> class <k>"
// when rows were deleted. Returns 0, or 1 as LookForWork.
[[nodiscard]] int ProcessClass(DaemonState& st, const char* vendor, const char* product,
                               long notclass, long delay, long max_delay);
