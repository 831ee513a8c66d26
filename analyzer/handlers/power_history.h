#pragma once
// The history look-ups of the node power handler: how often the same power
// supply of the same array reported a failure or its absence in the last
// minutes, read from qd_anal_history (the rows earlier analyses wrote).

#include <string>

// Which recent rows count.
enum PsHistoryQuery : int {
  kPsNotPresentRecently = 0,  // ea_key1 'NOT_PRESENT' within 5 minutes
  kPsFailedRecently = 1,      // ea_key1 'AC_FAIL' within 1 minute, or 'NOT_PRESENT' within 5
};

// Counts the qd_anal_history rows of vendor/product/prod_id, event types
// "evt_ps_acstatus" and "evt_ps_dcstatus", that `query` selects and whose
// ea_details are like `details_like`. Returns 0 and sets `count`, or -1
// when the statement failed: sqlca then holds the error for the caller to
// log, `count` is untouched and the open transaction is still to be
// rolled back by the caller.
[[nodiscard]] int CountPsHistory(PsHistoryQuery query, const std::string& vendor,
                                 const std::string& product, const std::string& prod_id,
                                 const std::string& details_like, long& count);
// The node power handler asks it, or the engine's ps_history_count seam
// when a test set one (analyzer_seams.h).
