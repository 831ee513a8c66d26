#pragma once
// The grouped notification request: one summary as a format 3 record of
// kind "GNR", sent to the notifier ("QDNOT") as work message "NIQ".
//
// Delivery is at least once. A summary the service cannot take goes to the
// fallback spool, whence it is sent later exactly once; it then counts as
// sent, so the serial's rows are deleted with the others and the next pass
// does not make it again. The summaries of a serial and the deletion of
// its rows are one decision (group_pass.h): what can still be delivered
// twice is a summary sent just before the grouper died or lost its
// database, before the deletion was committed.

#include <ctime>
#include <sys/time.h>

#include "daemon.h"
#include "qd_txn.h"
#include "summary.h"

// Results of do_notify.
enum GnrSendResult : int {
  kGnrSent = 0,  // the service took it, or it waits in the fallback spool
  kGnrLost = 1,  // neither: the caller keeps the rows parked
};

// What a request says besides its summary.
struct GnrSource {
  const ParkedGroup* group = nullptr;  // identification: the summary's last group
  int notclass = 0;
  const char* module_name = "";
  char hw_arch = 0;
  struct timeval now = {0, 0};  // TxnTime and AssocId
};

// Clears `rec` and fills it as the "GNR" request of `summary`: header codes
// '0', '0', 'A' and `src.hw_arch`, TxnTime and AssocId from `src.now`, prod
// from the group's ap_ values (all three empty when ap_vendor is null), sp
// from its sp_ values, urgency 'L', the class, event "Misc events", source
// "Zarvek Central task <module>", the summary's range as event times,
// location 'R', abstract "Grouped low urgency notifications", counter "1"
// and the summary text without trailing blanks and line feeds.
void BuildGnrRecord(const GroupSummary& summary, const GnrSource& src,
                    qd_Transaction_Format_3& rec);

// Sends `rec` (about serial `prod_id` of `vendor` `product`) to the
// notifier st.resolved[kResolvedNotifier]. Sent or queued: QDZ9999 '1'
// "GNR Notification msg [<id>] submitted." (or "queued"). Otherwise the
// service's error text (or "Unknown SEND return code") is logged as QDZ9999
// '2', the record goes to QueueSend (its result text logged as QDZ9999 '2')
// and BackDoorNotify raises "<module> unable to Send() NIQ message".
// Returns kGnrSent unless QueueSend could neither send nor spool it.
[[nodiscard]] int do_notify(DaemonState& st, const qd_Transaction_Format_3& rec,
                            const char* vendor, const char* product, const char* prod_id);
