#include "gnr_request.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "alerts.h"
#include "assoc_id.h"
#include "daemon_log.h"
#include "grouper_state.h"
#include "time_stamp.h"
#include "txn_header.h"
#include "work_messages.h"

namespace {

constexpr char kNotifier[] = "QDNOT";
constexpr char kNotifyMessage[] = "NIQ";
constexpr char kKind[] = "GNR";

// A stamp from the database's "yyyy/mm/dd hh24:mi:ss" text: format letter,
// the text, ".00" and the NUL.
void StampFromText(const std::string& text, Time_Stamp& stamp) {
  char buffer[sizeof(Time_Stamp)] = {0};
  buffer[0] = 'a';
  std::memcpy(buffer + 1, text.data(), text.size() < 19 ? text.size() : 19);
  std::memcpy(buffer + 20, ".00", 3);
  std::memcpy(&stamp, buffer, sizeof stamp);
}

// Copies `text` into a cleared field, cut to what fits with its NUL.
template <size_t N>
void Put(char (&field)[N], const char* text) {
  std::memcpy(field, text, strnlen(text, N - 1));
}

std::string WithoutTrailing(const std::string& text) {
  size_t end = text.find_last_not_of(" \n");
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string Format(const char* format, const char* a, unsigned long id) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, id);
  return text;
}

}  // namespace

void BuildGnrRecord(const GroupSummary& summary, const GnrSource& src,
                    qd_Transaction_Format_3& rec) {
  std::memset(&rec, 0, sizeof rec);
  qd_Transaction_Header& hdr = rec.hdr;
  TxnHeaderStart(hdr, QD_TXN_FMT_NOTIFY, kKind, src.hw_arch);
  (void)TStampOut(src.now.tv_sec, hdr.TxnTime, true);
  (void)qdMakeAssocId(src.now, hdr.AssocId, sizeof hdr.AssocId);
  const ParkedGroup& g = *src.group;
  if (!g.ap_vendor_null) {
    Put(hdr.prod.vendor, g.ap_vendor);
    Put(hdr.prod.prod, g.ap_product);
    Put(hdr.prod.id, g.ap_prod_id);
  }
  Put(hdr.sp.vendor, g.sp_vendor);
  Put(hdr.sp.prod, g.sp_product);
  Put(hdr.sp.id, g.sp_prod_id);

  rec.urgency = 'L';
  rec.notclass = static_cast<uint8_t>(src.notclass);
  Put(rec.event, "Misc events");
  Put(rec.source, (std::string("Zarvek Central task ") + src.module_name).c_str());
  StampFromText(summary.first, rec.EventTimeFirst);
  StampFromText(summary.last, rec.EventTimeLast);
  rec.EventLocation = 'R';
  Put(rec.abstract, "Grouped low urgency notifications");
  Put(rec.counter, "1");
  Put(rec.text, WithoutTrailing(summary.text).c_str());
}

int do_notify(DaemonState& st, const qd_Transaction_Format_3& rec, const char* vendor,
              const char* product, const char* prod_id) {
  Message_Queue_ env{};
  env.nTargetUID = static_cast<int32_t>(st.resolved.size() > kResolvedNotifier
                                            ? st.resolved[kResolvedNotifier]
                                            : 0);
  env.nDepDataLength = static_cast<int32_t>(sizeof rec);
  env.pDepData = const_cast<qd_Transaction_Format_3*>(&rec);
  int rc = st.wm->Send(static_cast<int>(st.process_id), kNotifyMessage, &env, false);
  if (rc == WM_OK || rc == WM_QUEUED) {
    const char* how = rc == WM_OK ? "%s Notification msg [%.8lX] submitted."
                                  : "%s Notification msg [%.8lX] queued";
    DaemonLog(st, "QDZ9999", '1',
              Format(how, kKind, static_cast<unsigned long>(static_cast<uint32_t>(env.nMessageID))));
    return kGnrSent;
  }
  if (rc != WM_SEND_FAILED) {
    std::snprintf(st.wm->szErrorMsg, sizeof st.wm->szErrorMsg, "%s", "Unknown SEND return code");
  }
  DaemonLog(st, "QDZ9999", '2', std::string(st.wm->szErrorMsg));
  std::string result;
  int kept = QueueSend(st.process_name.c_str(), kNotifier, kNotifyMessage, &rec, sizeof rec, result);
  DaemonLog(st, "QDZ9999", '2', result);
  std::string abstract = st.module_name + " unable to Send() NIQ message";
  char text[512];
  std::snprintf(text, sizeof text,
                "Grouped notify request for %s %s %s can not be sent.\n"
                "CWorkMessages::Send() returned rc=%ld",
                vendor, product, prod_id, static_cast<long>(rc));
  (void)BackDoorNotify(st.module_name.c_str(), 'H', abstract.c_str(), text, '0');
  return kept == QUEUESEND_FAILED ? kGnrLost : kGnrSent;
}
