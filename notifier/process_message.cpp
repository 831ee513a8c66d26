#include "process_message.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "daemon_log.h"
#include "hex_id.h"
#include "err_text.h"
#include "notifier_config.h"
#include "notify_fill.h"
#include "notify_users.h"
#include "rap_history.h"
#include "sql_error.h"
#include "str_format.h"
#include "txn_log.h"
#include "zone_time.h"

namespace {

constexpr size_t kAbstractMax = 80;

// A text field of `size` bytes that need not end in a NUL.
std::string Field(const char* in, size_t size) { return std::string(in, strnlen(in, size)); }
template <size_t N>
std::string Field(const char (&in)[N]) {
  return Field(in, N);
}
template <size_t N, size_t M>
void CopyField(char (&out)[N], const char (&in)[M]) {
  std::snprintf(out, N, "%s", Field(in).c_str());
}

// The notification fields shared by formats 3, 5, 6 and 7.
const qd_Transaction_Format_3& Body(const NotifyMessage& m) { return m.txn.f3; }

// Step 1: size, logging, format and kind. A result, or 0 to go on with
// `m` holding the record.
int CheckAndLog(DaemonState& st, NotifyMessage& m) {
  long length = st.envelope.nDepDataLength;
  int fmt = length > 0 ? static_cast<uint8_t>(st.buffer[0]) : 0;
  if (length < NotifyRecordSize(fmt)) {
    DaemonLog(st, "QDZ0040", '2', "PNR/SNR");
    return kStepRefuse;
  }
  std::memset(&m.txn, 0, sizeof m.txn);
  std::memcpy(&m.txn, st.buffer, std::min<size_t>(length, sizeof m.txn));
  int rc = qdLogTxn(&m.txn, st.txn_objid, st.log.get());
  if (rc != kTxnLogged) return rc;
  st.txn_stored = true;
  m.fmt = fmt;
  switch (fmt) {
    case QD_TXN_FMT_NOTIFY:
      std::snprintf(m.model, sizeof m.model, "Unknown");
      CopyField(m.unique, m.txn.f3.abstract);
      break;
    case QD_TXN_FMT_NOTIFY_MODEL:
      CopyField(m.model, m.txn.f5.model);
      CopyField(m.unique, m.txn.f5.abstract);
      break;
    case QD_TXN_FMT_NOTIFY_UNIQUE:
      CopyField(m.model, m.txn.f6.model);
      CopyField(m.unique, m.txn.f6.NotifyUnique);
      break;
    case QD_TXN_FMT_NOTIFY_SR:
      CopyField(m.model, m.txn.f7.model);
      CopyField(m.unique, m.txn.f7.NotifyUnique);
      CopyField(m.sr_number, m.txn.f7.SRnumber);
      CopyField(m.entity_id, m.txn.f7.EntityId);
      break;
    case QD_TXN_FMT_STOP:
      st.stop_requested = true;
      return kStepDone;
    default:
      DaemonLog(st, "QDZ0041", '2', "transaction format", fmt);
      return kStepRefuse;
  }
  CopyField(m.txn_id, m.txn.hdr.TxnId);
  std::string id = m.txn_id;
  if (id != "PNR" && id != "SNR" && id != "GNR") {
    DaemonLog(st, "QDZ0042", '2', "transaction", id);
    return kStepRefuse;
  }
  // Both event times are used as dates further on (age rule, grouping,
  // month names): one that is not a real date ends the message here.
  time_t ignored;
  if (TStampIn(Body(m).EventTimeFirst, ignored, false) != 0) {
    DaemonLog(st, "QDZ0045", 'A', "EventTimeFirst");
    return kStepRefuse;
  }
  if (TStampIn(Body(m).EventTimeLast, ignored, false) != 0) {
    DaemonLog(st, "QDZ0045", 'A', "EventTimeLast");
    return kStepRefuse;
  }
  return 0;
}

// Step 4: product attributes and the notify number.
int ReadAttributes(DaemonState& st, NotifyMessage& m) {
  const MachineIdentifier& mc = *m.machine;
  std::string vendor = Field(mc.vendor), product = Field(mc.prod);
  QdSqlClear();
  int rc = NotifySqlProdAttr(vendor.c_str(), product.c_str(), &m.attr, &m.notify_number);
  if (rc == kNotifySqlNotFound) {
    DaemonLog(st, "QDZ0047", '2', "vendor/prod", vendor + "/" + product);
    return kStepRefuse;
  }
  if (rc < 0) {
    DaemonSqlError(st, "attr product select");
    return kStepRetry;
  }
  long counter = std::strtol(Field(Body(m).counter).c_str(), nullptr, 10);
  std::snprintf(m.modifier, sizeof m.modifier, "%s",
                std::strcmp(m.txn_id, "GNR") == 0 ? "2" : counter < 2 ? "1" : "1m");
  return 0;
}

void SiteDefaults(SiteRow& site, bool by_id) {
  if (site.site_number[0] == '\0' && by_id) std::snprintf(site.site_number, 2, "1");
  if (site.site_name[0] == '\0') {
    std::snprintf(site.site_name, sizeof site.site_name, "<no site name>");
  }
  if (site.site_nickname[0] == '\0') {
    std::snprintf(site.site_nickname, sizeof site.site_nickname, "<no nickname>");
  }
  if (site.status[0] == '\0') std::snprintf(site.status, sizeof site.status, "?");
  if (site.timezone_name[0] == '\0') {
    std::snprintf(site.timezone_name, sizeof site.timezone_name, "GMT");
  }
}

// Step 5: the installed product and its site, or the installation site.
int ReadInstallation(DaemonState& st, NotifyMessage& m, const std::string& msgid) {
  const MachineIdentifier& mc = *m.machine;
  std::string vendor = Field(mc.vendor), product = Field(mc.prod), id = Field(mc.id);
  InstalledProduct& inst = m.inst;
  if (m.attr.install_cntl != 'N') {
    QdSqlClear();
    int rc = NotifySqlInstalledProduct(vendor.c_str(), product.c_str(), id.c_str(), &inst);
    if (rc == kNotifySqlNotFound) {
      DaemonLogOwn(st, "0031", 'A', vendor, product, id);
      return kStepRefuse;
    }
    if (rc < 0) {
      DaemonSqlError(st, "select installed product");
      return kStepRetry;
    }
    if (inst.site.site_nickname[0] == '\0') {
      std::snprintf(inst.site.site_nickname, sizeof inst.site.site_nickname, "<no nickname>");
    }
    if (inst.site.timezone_name[0] == '\0') {
      std::snprintf(inst.site.timezone_name, sizeof inst.site.timezone_name, "GMT");
    }
    m.production = inst.production[0] == 'Y';
    return 0;
  }
  QdSqlClear();
  int rc = NotifySqlSiteByNumber(m.attr.install_site_number, &inst.site);
  bool by_id = false;
  if (rc == kNotifySqlNotFound && st.on_sp) {
    QdSqlClear();
    rc = NotifySqlSiteById(1, &inst.site);
    by_id = true;
  }
  if (rc != 0) {
    if (rc == kNotifySqlNotFound) {
      DaemonLog(st, "QDZ0100", '2', 100L, "select install_site", "no row");
      st.reconnect = true;
    } else {
      DaemonSqlError(st, "select install_site");
    }
    DaemonLogOwn(st, "0037", 'A', m.attr.install_site_number, vendor, product);
    (void)msgid;
    return kStepRetry;
  }
  SiteDefaults(inst.site, by_id);
  inst.product_id = -1;
  m.production = false;
  std::snprintf(inst.status, sizeof inst.status, "Latest");
  std::snprintf(inst.model, sizeof inst.model, "Unknown");
  return 0;
}

// Wall-clock seconds of `stamp` (its fields read as if universal time).
bool Wall(const Time_Stamp& stamp, int64_t& wall) {
  StampWallTime w;
  if (TStampToWall(stamp, w) != 0) return false;
  wall = w.wall;
  return true;
}

// Step 6: maintenance mode and the age of the last event.
void AdjustUrgency(DaemonState& st, NotifyMessage& m) {
  if (m.urgency == 'H' && (m.txn.hdr.TxnAttr1 & kTxnAttr1Maintenance)) {
    m.urgency = 'L';
    DaemonLogOwn(st, "0043", 'A');
    m.comments += "Notification urgency reset to Low due to SP Maintenance Mode.\n";
  }
  if (m.attr.reset_urgency_low != 'Y' || m.urgency != 'H') return;
  const NotifierConfig& cfg = Notifier(st).cfg;
  char err[kErrTextSize] = {0};
  Time_Stamp last = Body(m).EventTimeLast;
  if (Body(m).EventLocation != 'L' &&
      ConvertTime(m.inst.site.timezone_name, Body(m).EventTimeLast, cfg.alert_zone.c_str(), last,
                  err) != 0) {
    DaemonLog(st, "QDZ9999", '2', err);
    return;
  }
  // Both times as wall clocks of the alert zone: the process's own zone
  // plays no part.
  Time_Stamp now_utc, now_alert;
  int64_t now_wall = 0, last_wall = 0;
  if (TStampOut(time(nullptr), now_utc, false) != 0 ||
      ConvertTime("UTC", now_utc, cfg.alert_zone.c_str(), now_alert, err) != 0 ||
      !Wall(now_alert, now_wall) || !Wall(last, last_wall)) {
    return;
  }
  if (now_wall - last_wall > m.attr.rul_window * 3600) {
    m.urgency = 'L';
    DaemonLogOwn(st, "0032", 'A', m.attr.rul_window);
  }
}

// The "YYYY/MM/DD HH:MM:SS" of a stamp.
std::string StampDate(const Time_Stamp& ts) {
  return std::string(reinterpret_cast<const char*>(&ts.fmt) + 1, 19);
}

// Step 7: a low "PNR" of a grouped class is parked once and goes on as
// "SNR". A result, or 0 to go on.
int Group(DaemonState& st, NotifyMessage& m) {
  if (!m.class_known || m.attr.grouping[m.notclass] != 'Y' || m.urgency == 'H' ||
      std::strcmp(m.txn_id, "PNR") != 0) {
    return 0;
  }
  char notified = 0, first = 0;
  QdSqlClear();
  int rc = NotifySqlFindStage(m.key, 'G', &notified, &first);
  if (rc < 0) {
    DaemonSqlError(st, "insert grouped notification");
    return kStepRetry;
  }
  if (rc == 0) {
    DaemonLogOwn(st, "0050", 'A', HexId(st.envelope.nMessageID), "parked for grouping");
  } else {
    const qd_Transaction_Header& h = m.txn.hdr;
    std::string vendor = Field(m.machine->vendor), product = Field(m.machine->prod),
                id = Field(m.machine->id), av = Field(h.prod.vendor), ap = Field(h.prod.prod),
                ai = Field(h.prod.id), sv = Field(h.sp.vendor), sp = Field(h.sp.prod),
                si = Field(h.sp.id), first_s = StampDate(Body(m).EventTimeFirst),
                last_s = StampDate(Body(m).EventTimeLast), abstract = Field(Body(m).abstract);
    GroupedRow row{vendor.c_str(), product.c_str(), m.notclass, id.c_str(), av.c_str(),
                   ap.c_str(), ai.c_str(), sv.c_str(), sp.c_str(), si.c_str(),
                   (h.TxnAttr3 & kTxnAttr3Forwarded) ? 'Y' : 'N', first_s.c_str(),
                   last_s.c_str(), std::strtol(Field(Body(m).counter).c_str(), nullptr, 10),
                   abstract.c_str()};
    QdSqlClear();
    if (NotifySqlParkGrouped(row) < 0 || NotifySqlMarkStage(m.key, 'G', 'N', 'N') < 0) {
      DaemonSqlError(st, "insert grouped notification");
      return kStepRetry;
    }
    if (NotifySqlCommit() < 0) {
      DaemonSqlError(st, "commit grouped insert");
      return kStepRetry;
    }
    DaemonLogOwn(st, "0036", 'A');
  }
  std::snprintf(m.txn_id, sizeof m.txn_id, "SNR");
  return 0;
}

// Step 8: notify id, urgency word, forwarding and retry notes.
void NameNotification(DaemonState& st, NotifyMessage& m, bool retry) {
  NotifierDaemon& nd = Notifier(st);
  char level = static_cast<char>(std::toupper(static_cast<unsigned char>(st.level_name[0])));
  std::snprintf(nd.notify_id, sizeof nd.notify_id, "%c%ld", level, m.notify_number);
  const uint8_t attr3 = m.txn.hdr.TxnAttr3;
  m.urgency_word = m.urgency == 'H' ? ((attr3 & kTxnAttr3Alert) ? "alert" : "high")
                   : m.urgency == 'L' ? "low"
                                      : "ignore";
  m.rap_loc = nd.cfg.rap_loc;
  if (attr3 & kTxnAttr3Forwarded) {
    std::string sp = Field(m.txn.hdr.sp.id);
    m.rap_loc = "Varn " + sp + " (forwarded)";
    m.comments += "***** This RAP has been forwarded from Varn " + sp + " *****\n\n";
  }
  if (retry) {
    Time_Stamp posted, local;
    char err[kErrTextSize];
    StampWallTime w{};
    if (TStampOut(static_cast<time_t>(st.envelope.nTimePosted), posted, false) == 0 &&
        ConvertTime("UTC", posted, nd.cfg.alert_zone.c_str(), local, err) == 0 &&
        TStampToWall(local, w) == 0) {
      int64_t y;
      int mon, day;
      int64_t days = w.wall >= 0 ? w.wall / 86400 : -((-w.wall + 86399) / 86400);
      int64_t secs = w.wall - days * 86400;
      QdCivilFromDays(days, y, mon, day);
      m.comments += QdFormat(
          "This is a retry of a notification request originally sent %.4d/%.2d/%.2d "
          "%.2d:%.2d:%.2d (%s time).",
          static_cast<int>(y), mon, day, static_cast<int>(secs / 3600),
          static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60), nd.cfg.hub_loc.c_str());
    }
  }
}

// Step 10: repeat suppression; sets m.notified and m.first_suppressed.
void RepeatSuppression(DaemonState& st, NotifyMessage& m) {
  if (std::strcmp(m.txn_id, "GNR") == 0 || !m.class_known) return;
  const int f = m.case_flags;
  if ((f & kCaseNoRepeatCheck) && (f & (kCaseStatusRows | kCaseHandOver)) &&
      !(f & kCaseTellUsers)) {
    return;
  }
  const int c = m.notclass;
  if (m.attr.repeat[c] != 'Y') return;
  std::string vendor = Field(m.machine->vendor), product = Field(m.machine->prod),
              id = Field(m.machine->id);
  long limit = m.attr.rs_limit[c], window = m.attr.rs_window[c];
  long count = 0;
  QdSqlClear();
  if (NotifySqlRepeatCount(vendor.c_str(), product.c_str(), id.c_str(), m.unique, window,
                           &count) < 0) {
    DaemonSqlError(st, "select repeat notify count");
    (void)NotifySqlRollback();
    count = 0;
  }
  if (limit > count) return;
  DaemonLogOwn(st, "0039", 'A', Notifier(st).notify_id, m.urgency_word, m.abstract,
               std::string(m.unique), static_cast<long>(c), limit, window);
  m.notified = 'N';
  // A limit of 0 tells nobody at all: no event starts a run that is told.
  if (limit <= 0) return;
  long suppressed = 0;
  QdSqlClear();
  if (NotifySqlSuppressedCount(vendor.c_str(), product.c_str(), id.c_str(), m.unique,
                               &suppressed) < 0) {
    DaemonSqlError(st, "select notify suppression count");
    (void)NotifySqlRollback();
    suppressed = 0;
  }
  if (suppressed != 0) return;
  m.first_suppressed = true;
  m.abstract = ("SUPPRESSED:" + m.abstract).substr(0, kAbstractMax);
  m.comments += RepeatComment(limit, window, m.unique, st.on_sp);
}

// Steps 10 and 11 as a retried message sees them: what the first attempt
// decided and recorded stands. Returns true when it was recorded.
bool RecordedBefore(DaemonState& st, NotifyMessage& m) {
  char notified = 0, first = 0;
  QdSqlClear();
  int rc = NotifySqlFindStage(m.key, 'H', &notified, &first);
  if (rc < 0) {
    DaemonSqlError(st, "select notify history mark");
    (void)NotifySqlRollback();
    return false;
  }
  if (rc != 0) return false;
  m.notified = notified;
  m.first_suppressed = first == 'Y';
  if (m.first_suppressed) {
    m.abstract = ("SUPPRESSED:" + m.abstract).substr(0, kAbstractMax);
    const int c = m.notclass;
    m.comments += RepeatComment(m.attr.rs_limit[c], m.attr.rs_window[c], m.unique, st.on_sp);
  }
  DaemonLogOwn(st, "0050", 'A', HexId(st.envelope.nMessageID), "recorded in the history");
  return true;
}

// Step 11: the history row, with the mark that keeps a retry from adding
// another one.
void WriteHistory(DaemonState& st, NotifyMessage& m) {
  std::string vendor = Field(m.machine->vendor), product = Field(m.machine->prod),
              id = Field(m.machine->id), abstract = Field(Body(m).abstract);
  QdSqlClear();
  if (NotifySqlInsertHistory(vendor.c_str(), product.c_str(), id.c_str(), m.unique, m.notclass,
                             Notifier(st).notify_id, abstract.c_str(), m.notified) < 0 ||
      NotifySqlMarkStage(m.key, 'H', m.notified, m.first_suppressed ? 'Y' : 'N') < 0) {
    DaemonSqlError(st, "insert notify history");
    (void)NotifySqlRollback();
    return;
  }
  if (NotifySqlCommit() < 0) DaemonSqlError(st, "commit notify history insert");
}

}  // namespace

long NotifyRecordSize(int fmt) {
  switch (fmt) {
    case QD_TXN_FMT_NOTIFY_MODEL: return sizeof(qd_Transaction_Format_5);
    case QD_TXN_FMT_NOTIFY_UNIQUE: return sizeof(qd_Transaction_Format_6);
    case QD_TXN_FMT_NOTIFY_SR: return sizeof(qd_Transaction_Format_7);
    case QD_TXN_FMT_STOP: return sizeof(qd_Transaction_Format_255);
    default: return sizeof(qd_Transaction_Format_3);
  }
}

int NotifyCaseFlagsOf(const char* entity_id, const char* sr_number) {
  if (!entity_id || entity_id[0] == '\0' || !sr_number) return 0;
  return static_cast<int>(std::strtol(sr_number, nullptr, 10));
}

std::string RepeatComment(long limit, long window, const char* key, bool on_sp) {
  return QdFormat(
      "\nThis machine has generated more than %ld events of this type in the last %ld "
      "minutes.\nFurther notifications of type '%s' are being suppressed\nin order to limit "
      "notifications to %ld in a running window of %ld minutes.\n See %s for a complete "
      "listing of all events.",
      limit, window, key, limit, window, on_sp ? "SPQUAY" : "Obrin");
}

int process_message(DaemonState& st, bool retry) {
  NotifierDaemon& nd = Notifier(st);
  std::string msgid = HexId(st.envelope.nMessageID);
  DaemonLogOwn(st, "0011", 'A', msgid, "Received");
  st.txn_stored = false;
  std::snprintf(nd.notify_id, sizeof nd.notify_id, "no_id");
  static NotifyMessage m;
  m = NotifyMessage();
  int rc = CheckAndLog(st, m);
  if (rc != 0 || st.stop_requested) return rc;
  std::snprintf(m.key, sizeof m.key, "%.8X.%ld", static_cast<unsigned>(st.envelope.nMessageID),
                static_cast<long>(st.envelope.nTimePosted));

  const qd_Transaction_Format_3& body = Body(m);
  m.machine = m.txn.hdr.prod.vendor[0] ? &m.txn.hdr.prod : &m.txn.hdr.sp;
  m.urgency = body.urgency;
  m.notclass = body.notclass;
  m.class_known = m.notclass >= 0 && m.notclass < kNotifyClasses;
  m.abstract = Field(body.abstract);
  DaemonLogOwn(st, "0030", 'A', msgid, Field(m.machine->vendor), Field(m.machine->prod),
               Field(m.machine->id), m.abstract);

  if ((rc = ReadAttributes(st, m)) != 0) return rc;
  if ((rc = ReadInstallation(st, m, msgid)) != 0) return rc;
  AdjustUrgency(st, m);
  if ((rc = Group(st, m)) != 0) return rc;
  NameNotification(st, m, retry);
  m.case_flags = NotifyCaseFlagsOf(m.entity_id, m.sr_number);

  if (!RecordedBefore(st, m)) {
    RepeatSuppression(st, m);
    WriteHistory(st, m);
  }
  if (m.notified == 'N' && !m.first_suppressed) {
    if (!RapCaseWantsSuppressedRows(m.case_flags)) return kStepDone;
    NotifierState& b = NotifierBlocks(st);
    FillNotifyData(st, m, b.nd);
    m.record_filled = true;
    int status = UpdateSrStatus(b, b.nd, "Suppressed (Quiescent)", true);
    TakeReconnect(st, b);
    return status == kSrStatusDone ? kStepDone : kStepRetry;
  }
  int result = kStepDone;
  if (st.on_sp && !nd.cfg.local_notification) {
    DaemonLogOwn(st, "0020", 'A');
  } else {
    result = NotifyUsers(st, m);
  }
  return ForwardLocalAlert(st, m, result);
}
