#pragma once
// The statements of group expansion (group_bom_sql.pgc), one cursor pair
// per membership table. Each returns the statement's SQL code (0 done, 100
// no more rows, negative failed), leaving the code and message in sqlca.
// All run on the current connection. Nothing here logs.

#include "group_params.h"

// The membership tables, in the order of the cursor pairs.
enum BomTable : int {
  kBomProducts = 0,       // qd_group_mem
  kBomOrganizations = 1,  // qd_orggroup_mem
  kBomUsers = 2,          // qd_usergroup_mem
};

// Opens the level-0 cursor of `table`: products take `key1` (product) and
// `key2` (site), users `key1`, organisations `org`.
[[nodiscard]] int BomSqlOpenInitial(int table, long key1, long key2, const char* org);
// Opens the cursor of a further level over the 50 names of `params`.
[[nodiscard]] int BomSqlOpenLevel(int table, const QdGroupParams& params);
// Fetches the next name of the open cursor (`initial`: the level-0 one)
// into `name` (41 bytes).
[[nodiscard]] int BomSqlFetch(int table, bool initial, char* name);
// Closes the cursor; quiet when it is not open.
int BomSqlClose(int table, bool initial);
// Rolls back the current connection's transaction.
int BomSqlRollback();
