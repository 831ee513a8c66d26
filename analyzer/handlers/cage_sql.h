#pragma once
// The history statement of the drive cage checks, on the process's default
// embedded-SQL connection.

// Counts the qd_anal_history rows of the current file's vendor, product
// and product id and of the current event name, analyzed within the past 7
// days, whose ea_key1 is `key1`, ea_key4 `key4` and ea_details is like
// `details`. Returns 0 with *count set; -1 when the statement failed, with
// sqlca left for the caller to log (AnalSqlError) and *count 0.
[[nodiscard]] int CountCageHistory(const char* key1, const char* key4, const char* details,
                                   long* count);
