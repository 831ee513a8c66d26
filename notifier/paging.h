#pragma once
// Paging: a page is a short mail, built from a "page" template, to the
// pager service's address. The recipient's pager type names a transport in
// qd_pager_attr; mail is the only one there is.

#include "notifier_state.h"

// Reads transport and closed_loop of pager type `type` from qd_pager_attr
// on the default connection into `r`. A type without a row, or any failure
// (its transaction rolled back), leaves the defaults
// "<no pager_transport>" and 'N'. Returns true when a row was read. Logs
// nothing.
bool PagerAttrLookup(const char* type, NotifyRecipient& r);

// Pages the current recipient (st.recipient) with `nd`. Returns the result
// of SendMail (kDeliverySent, kDeliveryFailed) or kDeliveryImpossible.
// Logs 0033 (notify id, user id, urgency word, shift, text):
//   '2' "page failed - <no pager_type>" / "page failed - <no pager_access>"
//       (the placeholder), -1;
//   '2' "page failed - '<type>' is an unknown pager type" (no transport), -1;
//   '0' "closed loop page request changed to open loop" for `closedLoop`,
//       which then goes on as an open-loop page;
//   '2' "page failed - '<transport>' is an unknown transport method", -1.
[[nodiscard]] int IssuePage(NotifierState& st, const NotifyData& nd, bool closedLoop);
