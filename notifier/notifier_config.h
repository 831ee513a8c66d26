#pragma once
// qdNotify's configuration on the daemon framework: its names and
// defaults, the dictionary settings it reads at every initialisation, the
// summary lines, the four database connections and the statement trace of
// a foreground run, the registration with the communications controller
// on the SP, and the final status of a logged record with the notify id.
//
// The notifier's process-wide state is one NotifierDaemon, owned by main
// and reached from the framework's DaemonState::app.

#include <cstdio>
#include <string>

#include "daemon.h"
#include "notifier_state.h"

// Settings fixed at initialisation.
struct NotifierConfig {
  std::string template_dir;     // ROOT/<level name>/TEMPLATE_DIRECTORY (system path)
  std::string alert_zone = "America/Los_Angeles";
  std::string host_name = "UnknownHost";
  std::string sp_id = "SP0????";
  std::string sender;           // "From:" address
  std::string additional_to;    // EMAIL.ADDITIONAL_TO_ADDRESS, "" for none
  std::string rap_loc;          // alerting location
  std::string hub_loc;          // local literal: "SP" on the SP, "HQX" elsewhere
  bool secure_site = false;
  bool forwarding = false;
  std::string forward_address;
  std::string ftp_server_dir = "Unknown";
  bool local_notification = false;
  std::string history_dir;      // alert history directory, off the SP only
  bool history_capture = false;
};

// The built-in addresses used when the dictionary names none.
constexpr const char* kCentralSender = "rap-central@alerts.invalid";
constexpr const char* kLocalAlertAddress = "local-rap@alerts.invalid";

struct NotifierDaemon {
  NotifierConfig cfg;
  // Transfer state from COMM_BYS: forbidden until read and "OUT" or "BOTH".
  std::string comm_bys;
  bool transfer_allowed = false;
  long signal_entry = -1;       // the controller's entry id of our registration
  bool registered = false;
  FILE* trace = nullptr;        // statement trace of a foreground run
  char notify_id[80] = "no_id"; // stored with the final status
  NotifierState blocks;         // what mail, paging and symptom rules read
};

// The notifier's state behind st.app.
NotifierDaemon& Notifier(DaemonState& st);

// Ends the statement trace of a foreground run, if one is open.
void NotifierCloseTrace(NotifierDaemon& nd);

// The framework's configuration of qdNotify (names "qdNotify", "QDNOT",
// "NIQ", options "do:i:m:p:t:r:l:", SIGUSR1 watched, connections "conn3",
// "conn2", "conn1" before the default one, messages 0004 and 0005 at '2').
DaemonConfig NotifierDaemonConfig();

// Reads the notifier's settings (see NotifierConfig) at the end of
// Initialize. ROOT and TEMPLATE_DIRECTORY, and off the SP RAP_HIST_DIR, are
// required: a failure logs QDZ0021 and makes the result 1. Other keys take
// their defaults silently when absent and log QDZ0021 'A' when the read
// fails otherwise (SPFTP_SERVERDIR also when only absent). On the SP the
// alert zone comes from the /etc/localtime link (an absolute or relative
// link into /usr/share/zoneinfo); a link that is not one logs QDN9999 '2'.
// When the daemon's registration is complete, the SP registers with the
// communications controller and reads COMM_BYS. Returns 0 or 1.
[[nodiscard]] int NotifierReadDictionary(DaemonState& st, CGDDA& dict);

// The zone name an /etc/localtime link target gives: `target` made
// absolute against "/etc" and normalised must start with
// "/usr/share/zoneinfo/" and be longer than 20 characters. Returns the
// part after that prefix, or "" when the target is not such a path.
std::string ZoneFromLocaltimeLink(const std::string& target);

// Re-reads COMM_BYS at the effective level into the notifier's transfer
// state. A failed read logs QDZ0021 'A' (also when the key is absent) and
// keeps the last known state. `dict` may be null (a dictionary is then
// opened, QDZ0020 'A' when that fails).
void NotifierReadCommBys(DaemonState& st, CGDDA* dict);

// Whether the transfer state `value` allows transfer ("OUT" or "BOTH" in
// any case).
bool CommBysAllowsTransfer(const std::string& value);

// The final status of the logged record with the notify id: "update
// qd_txn_log set status = $1, notify_id = $2 where objid = $3", then
// commit. Failures log QDZ0100 "Update txn status" / "Commit txn update"
// and raise the reconnect request.
void UpdateTxnStatus(DaemonState& st, int result);
