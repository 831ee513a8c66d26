#pragma once
// The two statements of the event analysis itself (embedded SQL,
// event_sql.pgc), on the default connection: the severity translation and
// the event's qd_anal_evtdata row. Each returns the statement's SQL code:
// 0 found, 100 no row, negative a database error whose code and message
// stay in sqlca for the caller (sql_error.h). Nothing here logs or commits.

#include <string>

#include "analysis_engine.h"

// Longest value qd_edit holds (fieldvalue, data1..data3).
constexpr size_t kEditValueMax = 256;

// One severity row of qd_edit: the translated severity, the urgency
// letter, the notification class. A null column reads as "" with its
// *_null flag set.
struct SeverityRow {
  std::string data1, data2, data3;
  bool data1_null = false, data2_null = false, data3_null = false;
};

// "select data1 , data2 , data3 from qd_edit where file_type = $1 and
// field = 'SEVERITY' and fieldvalue = upper ( $2 )" with `file_type` and
// `value`. A value longer than the column can hold matches no row and is
// answered 100 without asking the database. `row` is unchanged unless the
// result is 0.
[[nodiscard]] int SelectSeverity(long file_type, const std::string& value, SeverityRow& row);

// The qd_anal_evtdata row of `file_type` and `eventname` into `row`, the
// null defaults applied by the statement (suppress_svcalert and
// nonalert_low 'N', comp 'N', skey 'N', sev 'Y', nu_rule 3, nu_value
// "none"); the templates keep their null indicators in templ_present. On
// 0 row.found is true; on any other result `row` is unchanged. A name
// longer than the column can hold matches no row (100, no statement).
[[nodiscard]] int SelectEventData(long file_type, const std::string& eventname, EventData& row);
