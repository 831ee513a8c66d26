#pragma once
// The dispatch's two catalogue lookups (embedded SQL, file_lookup.pgc), on
// the default connection. Each returns the statement's SQL code: 0 found,
// 100 no row, negative a database error whose code and message stay in
// sqlca for the caller (sql_error.h). Nothing here logs.

#include "analyzer_state.h"

// The catalogue row of object id `objid` into `cur` (every field but
// Cobjid). On a result other than 0 `cur` is unchanged.
[[nodiscard]] int FdbSelectByObjid(const char* objid, CurrentFile* cur);

// The file type number of `file_name` of `vendor`'s `product` from the
// file attributes into `*file_type`, unchanged unless the result is 0.
[[nodiscard]] int FdbSelectFileType(const char* vendor, const char* product,
                                    const char* file_name, int* file_type);
