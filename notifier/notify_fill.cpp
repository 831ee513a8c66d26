#include "notify_fill.h"

#include <cctype>
#include <cstring>
#include <ctime>

#include "daemon_log.h"
#include "err_text.h"
#include "notifier_config.h"
#include "zone_time.h"

namespace {

std::string Field(const char* in, size_t size) { return std::string(in, strnlen(in, size)); }
template <size_t N>
std::string Field(const char (&in)[N]) {
  return Field(in, N);
}

// The abbreviation of `zone` at `at`, "" after logging when it fails.
std::string ZoneName(DaemonState& st, const char* zone, const Time_Stamp& at) {
  std::string name;
  char err[kErrTextSize] = {0};
  if (GetTZname(zone, at, name, err) != 0) {
    DaemonLog(st, "QDZ9999", '2', err);
    return "";
  }
  return name;
}

}  // namespace

std::string ModelSuffix(const char* vendor, const char* product, const char* model) {
  std::string v = vendor, p = product;
  if (p == "SP" || p == "QD" || p == "VMC" || (v != "Zarvek" && v != "Varn")) return "";
  if (std::strcmp(model, "Unknown") == 0 || model[0] == '\0') return "-?";
  return std::string("-") + model[0];
}

void FillNotifyData(DaemonState& st, const NotifyMessage& m, NotifyData& nd) {
  const NotifierDaemon& nt = Notifier(st);
  const NotifierConfig& cfg = nt.cfg;
  const qd_Transaction_Format_3& b = m.txn.f3;
  NotifyClear(nd);
  NotifySet(nd.NOTTYPE, m.txn_id);
  NotifySet(nd.NOTID, nt.notify_id);
  NotifySet(nd.RAPLOC, m.rap_loc);
  NotifySet(nd.HUBLOC, cfg.hub_loc);
  Time_Stamp utc;
  char err[kErrTextSize] = {0};
  if (TStampOut(time(nullptr), utc, false) != 0 ||
      ConvertTime("UTC", utc, cfg.alert_zone.c_str(), nd.NotifyTime, err) != 0) {
    DaemonLog(st, "QDZ9999", '2', err);
    nd.NotifyTime = utc;
  }
  NotifySet(nd.HUBTZ, ZoneName(st, cfg.alert_zone.c_str(), nd.NotifyTime));
  NotifySet(nd.NOTCOMMENTS, m.comments);
  NotifySet(nd.NOTUNIQUE, m.unique);
  NotifySet(nd.VENDOR, Field(m.machine->vendor));
  NotifySet(nd.PRODUCT, Field(m.machine->prod));
  NotifySet(nd.SERIAL, Field(m.machine->id));
  NotifySet(nd.MODEL, std::strcmp(m.model, "Unknown") != 0 ? m.model : m.inst.model);
  NotifySet(nd.MODELID, ModelSuffix(nd.VENDOR, nd.PRODUCT, nd.MODEL));
  const SiteRow& site = m.inst.site;
  NotifySet(nd.SITE, site.site_number);
  NotifySet(nd.SITETZ, ZoneName(st, site.timezone_name, b.EventTimeFirst));
  NotifySet(nd.SITENAME, site.site_name);
  NotifySet(nd.SITENICKNAME, site.site_nickname);
  bool local = b.EventLocation == 'L';
  NotifySet(nd.EVENTLOCATION, local ? cfg.hub_loc : std::string("Site"));
  NotifySet(nd.EVENTTZ, local ? nd.HUBTZ : nd.SITETZ);
  nd.EventTimeFirst = b.EventTimeFirst;
  nd.EventTimeLast = b.EventTimeLast;
  NotifySetEventTimeShort(nd);
  NotifySet(nd.COUNTER, Field(b.counter));
  NotifySet(nd.URGENCY, m.urgency_word);
  char shortu[2] = {static_cast<char>(std::toupper(static_cast<unsigned char>(
                        m.urgency_word.empty() ? '?' : m.urgency_word[0]))),
                    '\0'};
  NotifySet(nd.SHORTURGENCY, shortu);
  NotifySet(nd.NOTCLASS, std::to_string(m.notclass));
  NotifySet(nd.EVENT, Field(b.event));
  NotifySet(nd.SOURCE, Field(b.source));
  NotifySet(nd.ABSTRACT, m.abstract);
  NotifySet(nd.TEXT, Field(b.text));
  NotifySetCustText(nd);
  NotifySet(nd.SRnumber, m.sr_number);
  NotifySet(nd.EntityId, m.entity_id);
}
