#pragma once
// The grouper's statements (embedded SQL, grouper_sql.pgc) on its three
// named connections: "conn2" reads the grouping settings, "conn3" lists
// the due serials of one class, "conn1" takes, reads and deletes the rows
// of one serial. Each call returns the statement's SQL code: 0 done, 100
// no (more) rows for a fetch, negative failed; the code and the database's
// message stay in sqlca for the caller to log (sql_error.h). Nothing here
// logs.

#include "summary.h"

// Classes 0..5 of a product.
constexpr int kGrouperClasses = 6;

// The connections.
enum GrpConn : int { kGrpConn1 = 1, kGrpConn2 = 2, kGrpConn3 = 3 };

// Grouping of one class: on ('Y'), delay and maximum delay in minutes.
struct ClassGrouping {
  char grouping;
  long delay;
  long max_delay;
};

// One row of qd_prod_attr as the settings cursor returns it.
struct ProdGrouping {
  char vendor[41];
  char product[41];
  ClassGrouping cls[kGrouperClasses];
};

// The rows of one class, or of one serial of it (`prod_id`).
struct SerialKey {
  const char* vendor;
  const char* product;
  long notclass;
  const char* prod_id;
};

// Settings cursor "pac" on conn2 (qd_prod_attr, ordered by vendor and
// product). Fetch fills `row`.
[[nodiscard]] int GrpSqlOpenSettings();
[[nodiscard]] int GrpSqlFetchSettings(ProdGrouping& row);
[[nodiscard]] int GrpSqlCloseSettings();

// Number of parked rows of the class of `key`, on conn1.
[[nodiscard]] int GrpSqlCountParked(const SerialKey& key, long& count);

// Due-serial cursor "pc" on conn3: serials of the class of `key` whose
// newest row is older than `delay_days` or whose oldest row is older than
// `max_delay_days`. Fetch fills `prod_id`.
[[nodiscard]] int GrpSqlOpenDue(const SerialKey& key, double delay_days, double max_delay_days);
[[nodiscard]] int GrpSqlFetchDue(char (&prod_id)[81]);
[[nodiscard]] int GrpSqlCloseDue();

// The rows of one serial, on conn1: take them (status 'L'), read them as
// groups through cursor "nc" (oldest first), give the rows of one group
// back to the waiting state, delete the taken ones (`deleted` receives
// the count).
[[nodiscard]] int GrpSqlTakeSerial(const SerialKey& key);
[[nodiscard]] int GrpSqlOpenGroups(const SerialKey& key);
[[nodiscard]] int GrpSqlFetchGroup(ParkedGroup& group);
[[nodiscard]] int GrpSqlCloseGroups();
[[nodiscard]] int GrpSqlReturnGroup(const SerialKey& key, const ParkedGroup& group);
[[nodiscard]] int GrpSqlDeleteTaken(const SerialKey& key, long& deleted);

// Commit or roll back one connection.
[[nodiscard]] int GrpSqlCommit(GrpConn conn);
int GrpSqlRollback(GrpConn conn);
// Roll back the default connection.
int GrpSqlRollbackDefault();
