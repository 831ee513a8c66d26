#pragma once
// Symptom rules: a notification rule's symptom is a POSIX extended regular
// expression on the notification's abstract; a rule marked suppress = 'Y'
// names abstracts its user does not want to hear about.

#include "notifier_state.h"

// 1 when `pattern` (extended syntax, case-sensitive, no other flags)
// matches anywhere in `text`; 0 when it does not, or does not compile.
// Null arguments never match.
[[nodiscard]] int SymptomMatch(const char* pattern, const char* text);

// Nonzero when the current recipient (st.recipient.resource_id) has an
// active suppression rule (suppress 'Y', date_start <= now <= date_end)
// whose scope covers the notification (product st.scope.product_id, site
// st.scope.site_id, or group st.scope.product_group or one of the groups
// of product and site, expanded afresh on the default connection) and
// whose symptom (null reads "<no symptom>") matches `abstract`; rules are
// tried in the order the database returns them, the first match decides.
// The rules are read on connection "conn3", whose transaction is committed
// at the end. Failures never stop the caller; they set st.reconnect:
//   a failed group expansion logs 9999 '2' with its message and returns 1
//     (the recipient counts as suppressed);
//   QDZ0100 '2' "ss cursor open" returns 0; "fetch from ss" ends the search
//     with the result so far; "ss cursor close" / "commit after ss close"
//     leave the result standing. A failed transaction on conn3 is rolled
//     back.
[[nodiscard]] int SuppressSymptom(NotifierState& st, const char* abstract);
