#pragma once
// The alert history of the central site and the service-request statuses
// of case management.
//
// Every notification that reaches a RAP recipient (resource id -99 to -1)
// leaves a history file (the mail text of template
// "<dir>/mail<modifier>VQX.tmplt", or "<dir>/mail<modifier>.tmplt" when
// that is not installed; named "<history dir>/<notify id>") and a
// qd_rap_history row naming it, linked to the analysed file's catalogue
// row when the source text names one. A notification with an entity id
// also leaves status rows in entity_event_sr_requests, and with case flag
// 0x10 for recipient -1 the history row is handed to case management
// through external_sr_pending.
//
// Durability: the history row, its hand-over row and its status row
// ("Pending KELP" or "Pending Obrin") are one transaction on "conn3":
// committed together or not at all. The file is written whole (a temporary
// name in the same directory, then renamed), so a reader never sees half a
// file; two RAP recipients of one message share the file name, and the
// later one replaces the text. A file is removed after a failure only when
// no committed row names it.

#include <string>

#include "notifier_state.h"

// Results of UpdateSrStatus.
enum SrStatusResult : int {
  kSrStatusDone = 0,
  kSrStatusFailed = 1,
};

// Writes one entity_event_sr_requests row for nd.EntityId with `status`.
// `commit` true: on "conn1", committed at once. `commit` false: on
// "conn3", inside the open alert-history transaction, so the row becomes
// durable with the history row (and goes with its rollback). Returns
// kSrStatusDone, or kSrStatusFailed after logging QDZ0100 '2' "insert
// entity_event_sr_requests <status>" or "commit after
// entity_event_sr_requests insert <status>" and raising st.reconnect (a
// committing call rolls "conn1" back).
[[nodiscard]] int UpdateSrStatus(NotifierState& st, const NotifyData& nd, const char* status,
                                 bool commit);

// Records the notification in `nd` for the RAP recipient st.recipient
// (site st.scope.site_id, template modifier st.scope.modifier, release
// st.scope.os_rel) with the case flags `case_flags`. Returns
// kDeliverySent when the history is off (on the SP), when case management
// keeps the notification (entity id without flags 0x02 and 0x10; logged
// 0033 '1') and when file and row are in place (0033 '1' "insert to RAP
// history DB succeeded"). Returns kDeliveryFailed after any failure of the
// file or the statements (QDZ0080 / QDZ0100 '2' name it): "conn3" is
// rolled back, st.reconnect raised, a process alert "RAP history db error"
// raised, the file removed unless a committed row names it, and 0033 '2'
// "insert to RAP history DB failed" logged.
[[nodiscard]] int WriteRAPHistory(NotifierState& st, const NotifyData& nd, int case_flags);

// The catalogue reference of a source text ("<vendor> <product> <id>
// <file> file, seq <seq>, dated <date> <time>"), split at blanks and
// commas.
struct RapFileRef {
  std::string vendor, product, prod_id, file_name, seq, date_time;
};

// Results of RapSourceRef.
enum RapSourceResult : int {
  kRapSourceRef = 0,       // ten tokens naming this machine: `ref` filled
  kRapSourceOther = 1,     // not ten tokens: no reference
  kRapSourceMismatch = 2,  // ten tokens naming another machine
};
[[nodiscard]] int RapSourceRef(const std::string& source, const NotifyData& nd, RapFileRef& ref);

// The message id of a full text: what follows the first " Msg ID: " up to
// the line end, without blanks and line ends around it, cut to 80
// characters. False when the text has none (or only blanks there).
bool RapMessageId(const std::string& text, std::string& id);

// Whether case flags `flags` ask for service-request status rows (0x02 or
// 0x10) and suppress none of the "Suppressed (...)" ones (0x04, 0x08).
bool RapCaseWantsSuppressedRows(int flags);
