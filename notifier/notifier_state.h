#pragma once
// The notifier's run-time state as its building blocks read it: the
// settings fixed at initialisation, the scope of the notification in hand
// (installed product, site, product group), the current recipient, and
// the flags a block raises for the work-message cycle. One NotifierState
// per process, owned by qdNotify's main and passed down; a test builds a
// fresh one.
//
// Delivery results, as mail, pages and alert history return them:
//   kDeliverySent (0) delivered, kDeliveryFailed (1) failed (worth
//   trying again), kDeliveryImpossible (-1) impossible (no address, no
//   pager data, an unknown transport).

#include <string>

#include "log_message.h"
#include "notify_data.h"

enum NotifyDeliveryResult : int {
  kDeliverySent = 0,
  kDeliveryFailed = 1,
  kDeliveryImpossible = -1,
};

// Settings read at initialisation (dictionary and defaults).
struct NotifierSettings {
  std::string program_name = "qdNotify";  // temporary file names, back-door alerts
  std::string template_dir;               // system path (resolved through QdPath)
  std::string sender;                     // "From:" address
  std::string additional_to;              // extra "To:" address, "" for none
  bool forwarding = false;                // local-alert forwarding: free texts prepared for XML
  std::string mailer = "/usr/sbin/sendmail";  // system path of the mailer
  double mailer_timeout = 120;            // seconds (QD_TIME_SCALE applies); a mailer still
                                          // running then is killed: a failed delivery
  std::string history_dir;                // alert history directory (system path)
  bool history_capture = false;           // off on the SP: no alert history
};

// The notification in hand, as the lookups of symptom suppression need it.
struct NotifyScope {
  long product_id = -1;          // installed product, -1 without installation control
  long site_id = -1;
  char product_group[128] = {0}; // "All.<vendor>.<product>"
  char modifier[4] = "1";        // template modifier: "1", "1m", "2", "3"
  char os_rel[81] = {0};         // operating-system release of the installed product
};

// The recipient being told (a row of the recipient cursor).
struct NotifyRecipient {
  long resource_id = 0;
  char pager_type[81] = "<no pager_type>";
  char pager_access[241] = "<no pager_access>";
  char transport[81] = "<no pager_transport>";
  char closed_loop = 'N';
};

struct NotifierState {
  NotifierSettings settings;
  CLogMessage* log = nullptr;  // must be set before any block runs
  char prefix[4] = "QDN";      // the notifier's own message prefix
  NotifyScope scope;
  NotifyRecipient recipient;
  NotifyData nd{};
  bool reconnect = false;      // a database failure: the caller hands it on to the
                               // framework (DaemonState::reconnect) after the step
};

// The id of the notifier's own message `number` ("QDN0033").
std::string NotifierMsgId(const NotifierState& st, int number);

// Logs message 0033, the per-recipient line: notify id, user id, urgency
// word, shift and `text`, at `level`.
void NotifierLogRecipient(NotifierState& st, const NotifyData& nd, char level,
                          const std::string& text);
