#include "notify_users.h"

#include <csignal>
#include <cstring>

#include "daemon_log.h"
#include "daemon_loop.h"
#include "err_text.h"
#include "group_bom.h"
#include "notifier_config.h"
#include "notify_fill.h"
#include "paging.h"
#include "prime_shift.h"
#include "rap_history.h"
#include "recipient_sql.h"
#include "send_mail.h"
#include "sql_error.h"
#include "symptom.h"
#include "zone_time.h"

namespace {

constexpr const char* kNoSymptom = "<no symptom>";
constexpr size_t kMeansLength = 24;
constexpr int kMeansPerSet = 6;

// Counts of one message's recipient loop.
struct Tally {
  long considered = 0;
  long notified = 0;
  long succeeded = 0;
  long failed = 0;
  long impossible = 0;
  void Count(int result) {
    if (result == kDeliverySent) {
      ++succeeded;
    } else if (result == kDeliveryFailed) {
      ++failed;
    } else {
      ++impossible;
    }
  }
  long attempted() const { return succeeded + failed + impossible; }
};

bool RapRecipient(long resource_id) { return resource_id >= -99 && resource_id <= -1; }

// A value from the database that would become part of a template file
// name: one that could form a path is not taken.
bool SafeNamePart(const char* text) {
  return std::strchr(text, '/') == nullptr && std::strstr(text, "..") == nullptr;
}

// The 50 group names of `expand` (qdGrpBOM or qdOrgGrpBOM bound to their
// starting object) as query parameters. False after logging 9999 and
// raising the reconnect request when the expansion failed.
template <class Expand>
bool GroupParams(DaemonState& st, Expand expand, QdGroupParams& params) {
  QdGroupList groups;
  std::string msg;
  if (expand(groups.ptrs, msg) == kBomError) {
    DaemonLogOwn(st, "9999", '2', msg);
    st.reconnect = true;
    return false;
  }
  QdGroupParamsFill(params, groups.ptrs);
  return true;
}

// Step 13b: the user's time and shift.
void UserTime(DaemonState& st, const RecipientRow& row, NotifyData& nd) {
  const NotifierConfig& cfg = Notifier(st).cfg;
  char err[kErrTextSize] = {0};
  if (ConvertTime(cfg.alert_zone.c_str(), nd.NotifyTime, row.zone, nd.UserTime, err) != 0) {
    DaemonLog(st, "QDZ9999", '2', err);
    nd.UserTime = nd.NotifyTime;
  }
  std::string name;
  if (GetTZname(row.zone, nd.UserTime, name, err) != 0) name = "";
  NotifySet(nd.USERTZ, name);
  time_t wall = 0;
  bool prime = true;
  if (TStampIn(nd.UserTime, wall, false) == 0) {
    prime = qdPrimeShift(static_cast<long>(wall), row.resource_id, st.log.get());
  }
  NotifySet(nd.SHIFT, prime ? "prime" : "off");
}

// Step 13g: the organisation type with its sort letter ("aVQX" when none).
// 0, or 1 after a failure that must retry the message.
int OrgType(DaemonState& st, const RecipientRow& row, std::string& type) {
  type = "aVQX";
  QdGroupParams params;
  auto expand = [&row](char** names, std::string& msg) {
    return qdOrgGrpBOM(row.company, names, msg);
  };
  if (!GroupParams(st, expand, params)) return kStepRetry;
  QdSqlClear();
  if (OtSqlOpen(params) != 0) {
    DaemonSqlError(st, "ot cursor open");
    (void)OtSqlRollback();
    return kStepRetry;
  }
  char found[5] = {0};
  int rc = OtSqlFetch(found);
  if (rc == 0) {
    type = found;
  } else if (rc != kNotifySqlNotFound) {
    DaemonSqlError(st, "ot cursor fetch");
    (void)OtSqlRollback();
    return kStepRetry;
  }
  if (OtSqlClose() != 0) DaemonSqlError(st, "ot cursor close");
  if (OtSqlCommit() != 0) {
    DaemonSqlError(st, "commit after ot close");
    (void)OtSqlRollback();
  }
  return 0;
}

// Step 13j for an ordinary user: the means of the current set.
void Deliver(NotifierState& b, const RecipientRow& row, const char* means, Tally& tally) {
  if (means[0] == 'Y') tally.Count(IssuePage(b, b.nd, false));
  if (means[1] == 'Y') tally.Count(IssuePage(b, b.nd, true));
  for (int i = 0; i < 3; ++i) {
    if (means[2 + i] == 'Y') tally.Count(SendMail(b, b.nd, row.email[i], "mail"));
  }
}

// One recipient row, steps 13a to 13j. 0 to go on, 1 when the message
// must be retried.
int OneRecipient(DaemonState& st, NotifyMessage& m, const RecipientRow& row, Tally& tally,
                 bool& rap_reached) {
  NotifierState& b = NotifierBlocks(st);
  NotifyData& nd = b.nd;
  const bool has_symptom = std::strcmp(row.symptom, kNoSymptom) != 0;
  if (std::strcmp(m.txn_id, "SNR") == 0 && !has_symptom) return 0;
  ++tally.considered;
  NotifySet(nd.USERID, row.user_id);
  UserTime(st, row, nd);
  if (std::strlen(row.means) < kMeansLength) {
    NotifierLogRecipient(b, nd, '2', "means incomplete - no delivery possible");
    ++tally.notified;
    tally.Count(kDeliveryImpossible);
    return 0;
  }
  const int base = (m.urgency == 'L' ? 2 * kMeansPerSet : 0) +
                   (std::strcmp(nd.SHIFT, "off") == 0 ? kMeansPerSet : 0);
  const char* means = row.means + base;
  if (std::memchr(means, 'Y', kMeansPerSet) == nullptr) {
    NotifierLogRecipient(b, nd, '0', "No means");
    return 0;
  }
  if (has_symptom) {
    if (std::strcmp(m.txn_id, "GNR") == 0) return 0;
    if (!SymptomMatch(row.symptom, nd.ABSTRACT)) {
      NotifierLogRecipient(b, nd, '0', "No symptom match");
      return 0;
    }
  }
  const bool rap = RapRecipient(row.resource_id);
  if (rap) rap_reached = true;
  if (!rap && m.entity_id[0] && !(m.case_flags & kCaseTellUsers)) {
    NotifierLogRecipient(b, nd, '0', "Suppressed by KELP (repeated event)");
    return 0;
  }
  b.recipient = NotifyRecipient();
  b.recipient.resource_id = row.resource_id;
  int suppressed = SuppressSymptom(b, nd.ABSTRACT);
  TakeReconnect(st, b);
  if (suppressed) {
    if (rap && RapCaseWantsSuppressedRows(m.case_flags) &&
        UpdateSrStatus(b, nd, "Suppressed (Rule)", true) != kSrStatusDone) {
      TakeReconnect(st, b);
      return kStepRetry;
    }
    NotifierLogRecipient(b, nd, '0', "Suppressed by symptom");
    return 0;
  }
  std::string type;
  if (OrgType(st, row, type) != 0) return kStepRetry;
  std::string org = type.size() > 1 ? type.substr(1) : "";
  if (!SafeNamePart(org.c_str())) org = "VQX";
  const bool customer = org == "CUS";
  const NotifierConfig& cfg = Notifier(st).cfg;
  if (customer && m.attr.cust_alert_only == 'Y' && !has_symptom && !cfg.secure_site &&
      m.urgency_word != "alert") {
    NotifierLogRecipient(b, nd, 'A', "suppressed. Non-alert for a customer id");
    return 0;
  }
  if (!customer && m.notclass == 4) {
    NotifierLogRecipient(b, nd, 'A', "suppressed. Customer only notification for a non-customer id");
    return 0;
  }
  NotifySet(b.recipient.pager_type, row.pager_type);
  NotifySet(b.recipient.pager_access, row.pager_access);
  (void)PagerAttrLookup(row.pager_type, b.recipient);
  ++tally.notified;
  NotifySet(nd.CATEGORY, row.category);
  NotifySet(nd.LANGUAGE, SafeNamePart(row.language) ? row.language : "AMERICAN");
  NotifySet(nd.ORGTYPE, org);
  if (rap) {
    tally.Count(WriteRAPHistory(b, nd, m.case_flags));
  } else {
    Deliver(b, row, means, tally);
  }
  TakeReconnect(st, b);
  return 0;
}

void CloseRecipients(DaemonState& st) {
  if (NcSqlClose() != 0) DaemonSqlError(st, "nc cursor close");
  if (NcSqlCommit() != 0) {
    DaemonSqlError(st, "commit after nc close");
    (void)NcSqlRollback();
  }
}

}  // namespace

NotifierState& NotifierBlocks(DaemonState& st) {
  NotifierDaemon& nt = Notifier(st);
  NotifierState& b = nt.blocks;
  b.log = st.log.get();
  std::memcpy(b.prefix, st.message_prefix, sizeof b.prefix);
  b.settings.template_dir = nt.cfg.template_dir;
  b.settings.sender = nt.cfg.sender;
  b.settings.additional_to = nt.cfg.additional_to;
  b.settings.forwarding = nt.cfg.forwarding;
  b.settings.history_dir = nt.cfg.history_dir;
  b.settings.history_capture = nt.cfg.history_capture;
  return b;
}

void TakeReconnect(DaemonState& st, NotifierState& b) {
  if (b.reconnect) st.reconnect = true;
  b.reconnect = false;
}

int NotifyUsers(DaemonState& st, NotifyMessage& m) {
  NotifierState& b = NotifierBlocks(st);
  FillNotifyData(st, m, b.nd);
  m.record_filled = true;
  b.scope = NotifyScope();
  b.scope.product_id = m.inst.product_id;
  b.scope.site_id = m.inst.site.site_id;
  NotifySet(b.scope.product_group, "All." + std::string(b.nd.VENDOR) + "." + b.nd.PRODUCT);
  NotifySet(b.scope.modifier, m.modifier);
  NotifySet(b.scope.os_rel, m.inst.os_rel);

  QdGroupParams params;
  auto expand = [&b](char** names, std::string& msg) {
    return qdGrpBOM(b.scope.product_id, b.scope.site_id, names, msg);
  };
  if (!GroupParams(st, expand, params)) return kStepRetry;
  QdSqlClear();
  if (NcSqlOpen(b.scope.product_id, b.scope.site_id, b.scope.product_group, params) != 0) {
    DaemonSqlError(st, "nc cursor open");
    (void)NcSqlRollback();
    return kStepRetry;
  }
  Tally tally;
  bool rap_reached = false;
  for (;;) {
    RecipientRow row;
    int rc = NcSqlFetch(&row);
    if (rc == kNotifySqlNotFound) break;
    if (rc != 0) {
      DaemonSqlError(st, "fetch from nc");
      CloseRecipients(st);
      return kStepRetry;
    }
    if (OneRecipient(st, m, row, tally, rap_reached) != 0) {
      CloseRecipients(st);
      return kStepRetry;
    }
  }
  // Committed at once: this status has no history row to travel with, and
  // left open it would become durable only by chance with a later status.
  if (!rap_reached && RapCaseWantsSuppressedRows(m.case_flags) &&
      UpdateSrStatus(b, b.nd, "Suppressed (Not Applicable)", true) != kSrStatusDone) {
    TakeReconnect(st, b);
    CloseRecipients(st);
    return kStepRetry;
  }
  CloseRecipients(st);

  const std::string& id = Notifier(st).notify_id;
  if (tally.attempted() == 0) {
    DaemonLogOwn(st, "0034", 'A', id, m.urgency_word);
    return kStepDone;
  }
  DaemonLogOwn(st, "0035", 'A', id, m.urgency_word, tally.notified, tally.considered,
               tally.succeeded, tally.failed, tally.impossible);
  if (tally.failed + tally.impossible == 0) return kStepDone;
  if (tally.succeeded == 0) return kStepRetry;
  return kStepRefuse;
}

int ForwardLocalAlert(DaemonState& st, NotifyMessage& m, int result) {
  NotifierDaemon& nt = Notifier(st);
  if (!nt.cfg.forwarding || result == kStepRetry || std::strcmp(m.txn_id, "SNR") == 0) {
    return result;
  }
  if (DaemonSignalArrived(st, SIGUSR1, true)) NotifierReadCommBys(st, nullptr);
  if (nt.transfer_allowed) {
    DaemonLogOwn(st, "0038", 'A', nt.comm_bys);
    return result;
  }
  NotifierState& b = NotifierBlocks(st);
  if (!m.record_filled) FillNotifyData(st, m, b.nd);
  NotifySet(b.scope.modifier, "3");
  NotifySet(b.nd.ORGTYPE, "RAP");
  NotifySet(b.nd.LANGUAGE, "AMERICAN");
  NotifySet(b.nd.USERID, "LocalRAP");
  NotifySet(b.nd.SITENAME, nt.cfg.ftp_server_dir);
  (void)SendMail(b, b.nd, nt.cfg.forward_address.c_str(), "mail");
  TakeReconnect(st, b);
  return result;
}
