#pragma once
// The suppression-rule cursor "ss" on connection "conn3"
// (symptom_sql.pgc). Each returns the SQL code, leaving code and message
// in sqlca. Nothing here logs.

#include <cstddef>

#include "group_params.h"

constexpr size_t kSsSymptomSize = 257;

// Opens ss with the 54 parameters: resource id, product id, site id,
// product group, the 50 group names.
[[nodiscard]] int SsSqlOpen(long resource_id, long product_id, long site_id,
                            const char* product_group, const QdGroupParams& groups);
// Fetches the next symptom ("<no symptom>" for a null one) into `symptom`
// (kSsSymptomSize bytes).
[[nodiscard]] int SsSqlFetch(char* symptom);
int SsSqlClose();
int SsSqlCommit();
int SsSqlRollback();
