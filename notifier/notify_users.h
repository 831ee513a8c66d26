#pragma once
// Telling the users of one notification (the recipient loop) and
// forwarding the local alert of an SP.

#include "daemon.h"
#include "notifier_state.h"
#include "process_message.h"

// The blocks' view of the notifier (mail, paging, symptom rules, alert
// history) for the message in hand, with the settings refreshed.
NotifierState& NotifierBlocks(DaemonState& st);

// Hands a reconnect request raised by a block on to the framework.
void TakeReconnect(DaemonState& st, NotifierState& b);

// Finds the users whose active rules cover the machine, its site or one of
// their groups, decides per user (transaction kind, shift and means,
// symptom filter, suppression rules, organisation type, customer rules)
// and delivers by page or mail; a RAP recipient gets the alert history
// (WriteRAPHistory). Case-management statuses: "Suppressed (Rule)" for a
// RAP recipient that suppresses the abstract, "Suppressed (Not
// Applicable)" when no RAP recipient was reached, each committed at once
// (a failure makes the result 1). Logs 0035 with the counts (0034 when
// nobody was told). Returns 0 when every delivery succeeded (or none was
// attempted), 1 when none succeeded, -1 when some succeeded and some
// failed or were impossible; 1 also after a database failure before any
// delivery (st.reconnect raised).
[[nodiscard]] int NotifyUsers(DaemonState& st, NotifyMessage& m);

// Forwards the notification by mail to the forwarding address when
// forwarding is on, `result` is not 1, the kind is not "SNR" and the
// transfer state forbids transfer (re-read from COMM_BYS when SIGUSR1
// arrived); otherwise logs 0038 with COMM_BYS when transfer is allowed.
// Returns `result`.
[[nodiscard]] int ForwardLocalAlert(DaemonState& st, NotifyMessage& m, int result);
