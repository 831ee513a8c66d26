#pragma once
// The tag-value translation of qd_edit (embedded SQL, tag_translate.pgc),
// on the default connection. Nothing here logs.

#include <cstddef>

// Longest value and translation qd_edit holds (fieldvalue, data1).
constexpr size_t kTranslateMax = 256;

// "select data1 from qd_edit where file_type = $1  and field = upper ( $2  )
// and fieldvalue = upper ( $3  )" with `file_type`, `field` and `value`.
// Returns the statement's SQL code: 0 found, with data1 in `data1` (of
// `size` bytes, cut to fit, NUL-terminated) and *is_null telling whether
// the column was null; 100 no row; negative a database error whose code
// and message stay in sqlca for the caller (sql_error.h). Texts longer
// than the columns are cut to them before the query.
[[nodiscard]] int SelectTagTranslation(long file_type, const char* field, const char* value,
                                       char* data1, size_t size, bool* is_null);
