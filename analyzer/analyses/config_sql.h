#pragma once
// The catalogue statements of the configuration analysis (embedded SQL,
// config_sql.pgc), on the default connection. Each runs one statement and
// returns its SQL code: 0 done, negative a database error whose code and
// message stay in sqlca for the caller (sql_error.h). Nothing here logs or
// commits.

// The number of catalogue rows of the file identified by vendor, product,
// serial, file date ("yyyy/mm/dd hh24:mi:ss"), type and sequence that
// were analyzed before (anal_date set), into `*count` (unchanged unless the
// result is 0).
[[nodiscard]] int FdbCountAnalyzed(const char* vendor, const char* product, const char* prod_id,
                                   const char* file_date, int file_type, const char* file_seq,
                                   long* count);

// Records the analysis in the catalogue row `objid`: the symptom (at most
// 256 bytes, already a valid column text), the run date ("yyyy/mm/dd
// hh24:mi:ss") and the report name, null when `report_ind` is negative.
// 0 also when no row has that object id.
[[nodiscard]] int FdbRecordAnalysis(const char* objid, const char* symptom, const char* run_date,
                                    const char* report, short report_ind);
