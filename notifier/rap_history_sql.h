#pragma once
// The alert history's statements (embedded SQL, rap_history_sql.pgc): the
// file-database link, the history row and its hand-over to case
// management on connection "conn3", and the service-request status rows
// on "conn1" (a status of its own) or "conn3" (a status that belongs to the
// history row in hand and shares its transaction).
//
// Each returns the statement's SQL code: 0 done, 100 (kNotifySqlNotFound)
// no row, negative failed; the code and the database's message stay in
// sqlca for the caller to log (sql_error.h). Nothing here logs.

#include <cstddef>

constexpr size_t kFdbObjidSize = 40;  // qd_fdb_cat.objid, 39 characters

// The catalogue row of the analysed file `file_name` (qd_fdb_attr gives its
// type) of the machine, stored with `date_time` ("yyyy/mm/dd hh24:mi:ss",
// date and time both compared) and `seq`, into `objid` (kFdbObjidSize
// bytes).
[[nodiscard]] int RapSqlFdbObjid(const char* vendor, const char* product, const char* prod_id,
                                 const char* file_name, const char* date_time, const char* seq,
                                 char* objid);

// The next value of qd_rap_history_seq, read from dual.
[[nodiscard]] int RapSqlNextObjid(long* objid);

// One qd_rap_history row (rap_date sysdate, category "unassigned",
// so_number null). Null pointers and -1 for the site are stored as null.
struct RapHistoryRow {
  long objid;
  long resource_id;
  const char* vendor;
  const char* product;
  const char* prod_id;
  long site_id;
  const char* status;  // "New" or "Pending"
  const char* urgency;
  const char* abstract;
  const char* filename;
  const char* fdb_objid;
  const char* os_rel;
  const char* msg_id;
  const char* entity_id;
};
[[nodiscard]] int RapSqlInsertHistory(const RapHistoryRow& row);

// The external_sr_pending row of history row `rap_id`; `entity_id` is read
// as a number by the database (a text that is not one fails the insert).
[[nodiscard]] int RapSqlInsertPending(long rap_id, const char* fdb_objid, const char* entity_id,
                                      const char* description, int priority);

// Committed history rows whose rap_filename is `filename`, into `*count`.
[[nodiscard]] int RapSqlCountNaming(const char* filename, long* count);

// Commit or roll back "conn3".
[[nodiscard]] int RapSqlCommit();
int RapSqlRollback();

// One entity_event_sr_requests row, the entity id read as a number by the
// database: on "conn3" in the open history transaction when `with_history`,
// else on "conn1". Not committed.
[[nodiscard]] int SrSqlInsertStatus(bool with_history, const char* entity_id, const char* status);

// Commit or roll back "conn1".
[[nodiscard]] int SrSqlCommit();
int SrSqlRollback();
