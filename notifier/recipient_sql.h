#pragma once
// The recipient cursor "nc" on connection "conn2" and the organisation
// type cursor "ot" on connection "conn3" (recipient_sql.pgc). Each
// returns the SQL code (0, 100 no more rows, negative failed), leaving code
// and message in sqlca. Nothing here logs.

#include <cstddef>

#include "group_params.h"

// One recipient row: a user and one symptom of the user's active rules;
// nulls read as their placeholders ("<no category>", "AMERICAN",
// "<no email1>" .. "<no email3>", "<no pager_type>", "<no pager_access>",
// "GMT", "<no symptom>").
struct RecipientRow {
  long resource_id;
  char category[31];
  char language[31];
  char user_id[101];
  char email[3][241];
  char pager_type[81];
  char pager_access[241];
  char zone[81];
  char company[361];
  char symptom[257];
  char means[25];  // 24 'Y'/'N': high prime, high off, low prime, low off; six each
};

// Opens nc for the rules (not suppression rules, valid now) of product
// `product_id`, site `site_id`, group `product_group` or one of `groups`.
[[nodiscard]] int NcSqlOpen(long product_id, long site_id, const char* product_group,
                            const QdGroupParams& groups);
[[nodiscard]] int NcSqlFetch(RecipientRow* row);
int NcSqlClose();
int NcSqlCommit();
int NcSqlRollback();

// Opens ot for the organisation types of `groups`, lowest first.
[[nodiscard]] int OtSqlOpen(const QdGroupParams& groups);
// The next type (up to 4 characters) into `type` (5 bytes).
[[nodiscard]] int OtSqlFetch(char* type);
int OtSqlClose();
int OtSqlCommit();
int OtSqlRollback();
