#pragma once
// The notifier's processing step: one notify transaction ("PNR", "SNR",
// "GNR"; formats 3, 5, 6, 7) becomes a decision on whether anybody is told,
// a notify history row, and the deliveries to the users whose rules cover
// the machine; a stop transaction (format 255) stops the notifier.

#include <string>

#include "daemon.h"
#include "notify_sql.h"
#include "qd_txn.h"

// Case-management bits of a format 7 transaction's SRnumber (only when its
// EntityId is not empty).
enum NotifyCaseFlags : int {
  kCaseTellUsers = 0x01,       // ordinary recipients are told
  kCaseStatusRows = 0x02,      // service-request status rows are written
  kCaseNoSuppressRows = 0x04,  // no "Suppressed (...)" status rows
  kCaseNoRepeatCheck = 0x08,   // with 0x02 or 0x10 and without 0x01: no repeat suppression
  kCaseHandOver = 0x10,        // alert history may hand the case over
};

// The message in hand, as the steps after the checks see it.
struct NotifyMessage {
  QDTxn txn;                   // the record, zero-padded to the largest format
  int fmt = 0;
  char txn_id[4] = {0};        // as processed: "PNR" may become "SNR"
  char urgency = 0;
  int notclass = 0;
  bool class_known = false;    // notclass within 0..5
  const MachineIdentifier* machine = nullptr;  // prod when its vendor is set, else sp
  char model[81] = {0};
  char unique[257] = {0};      // NotifyUnique (the abstract for formats 3 and 5)
  char sr_number[15] = {0};
  char entity_id[15] = {0};
  int case_flags = 0;
  ProdAttr attr{};
  long notify_number = 0;
  char modifier[4] = "1";      // template modifier
  InstalledProduct inst;       // installed product and site (step 5)
  bool production = false;
  std::string comments;
  std::string abstract;        // "SUPPRESSED:" + abstract at the start of a suppression run
  std::string urgency_word;
  std::string rap_loc;
  char notified = 'Y';
  bool first_suppressed = false;
  char key[40] = {0};          // the work message: id and posting time
  bool record_filled = false;  // the notification record holds this message
};

// Handles the message in st.envelope / st.buffer (`retry`: it came from the
// retry queue) and returns 0 (done), 1 (try again later) or -1 (refuse):
//  - logs 0011 'A' "Received"; refuses with QDZ0040 '2' "PNR/SNR" data
//    shorter than its format's record (a stop record is complete at its
//    own 1405 bytes); logs the record with qdLogTxn and returns its result
//    when that fails;
//  - a stop record sets st.stop_requested and returns 0; unknown formats
//    (QDZ0041) and kinds (QDZ0042) are refused, and so is an event time
//    that is not a real date (QDZ0045 with the field's name);
//  - reads product attributes with the notify number (none: QDZ0047,
//    refused), the installed product and its site or the installation
//    site, applies maintenance mode and the age rule, parks a grouped
//    class ("PNR" goes on as "SNR"), applies repeat suppression and writes
//    the notify history row (a case-management notification that is only
//    recorded also gets its "Suppressed (Quiescent)" status, committed;
//    failing, the result is 1), then tells the users (NotifyUsers) and
//    forwards the local alert.
// Database failures log QDZ0100 and raise st.reconnect; before any
// delivery they make the result 1. A retried message does not park or
// record history again: what it did is kept in qd_notify_msg.
[[nodiscard]] int process_message(DaemonState& st, bool retry);

// The size a record of format `fmt` must have at least: its own size for
// the notify formats and the stop record, 0 for an unknown format (which
// is then refused by its format, once it is long enough to be logged).
long NotifyRecordSize(int fmt);

// The case flags of `txn` (format 7 with a non-empty EntityId: SRnumber
// read as a decimal number; 0 otherwise).
int NotifyCaseFlagsOf(const char* entity_id, const char* sr_number);

// Repeat suppression's first-event comment for `limit`, `window` and `key`
// ("SPQUAY" on the SP, "Obrin" elsewhere as the place of the full list).
std::string RepeatComment(long limit, long window, const char* key, bool on_sp);
