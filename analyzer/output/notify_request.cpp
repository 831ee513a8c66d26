#include "notify_request.h"

#include <cstdio>
#include <cstring>

#include "alerts.h"
#include "daemon_log.h"
#include "hex_id.h"
#include "engine_log.h"
#include "tag_table.h"
#include "time_stamp.h"
#include "txn_header.h"
#include "work_messages.h"

namespace {

constexpr char kNotifier[] = "QDNOT";
constexpr char kNotifyMessage[] = "NIQ";
constexpr char kNotifyKind[] = "PNR";
constexpr char kTrailing[] = " \t\n";
// What a tag holds before the event gives it a value.
constexpr char kNoValue[] = "<no value>";

// The length of the first `max` bytes of `text`, backed off so that no
// UTF-8 character is split.
size_t CutLength(const std::string& text, size_t max) {
  if (text.size() <= max) return text.size();
  size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

std::string Cut(const std::string& text, size_t max) { return text.substr(0, CutLength(text, max)); }

std::string TrimTrailing(std::string text) {
  size_t end = text.find_last_not_of(kTrailing);
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

// Copies `text` into the field, cut to what fits with its NUL (the record
// is cleared beforehand, so the rest stays zero).
template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  std::string fits = Cut(text, N - 1);
  std::memcpy(field, fits.data(), fits.size());
}

std::string Field(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

template <size_t N>
std::string Field(const char (&field)[N]) {
  return Field(field, N);
}

// The translated severity of the current event: the "tSev" tag of the
// event table when one is loaded.
std::string CurrentSeverity() {
  TAGENTRY* entry = FindTagEntry(0, "tSev");
  return entry ? TagTarget(entry)->data : kNoValue;
}

// The notifier's process id, looked up on first use. 0 when it cannot be
// had, after logging 0020 (an error of the pass).
long NotifierId(DaemonState& st, const std::string& msgid) {
  if (Engine().notifier_id > 0) return Engine().notifier_id;
  int rc = st.wm ? st.wm->GetUID(kNotifier, nullptr) : WM_UNREACHABLE;
  if (rc >= 1) {
    Engine().notifier_id = rc;
    return Engine().notifier_id;
  }
  std::string reason = rc == WM_UNKNOWN_NAME ? "Unknown process name"
                       : st.wm                ? st.wm->szErrorMsg
                                              : "work-message service not open";
  DaemonLogOwn(st, "0020", '2', msgid, kNotifier, rc, reason);
  st.error_this_pass = true;
  return 0;
}

// The file values every fallback text starts with.
std::string CannotBeSent(const CurrentFile& f) {
  return QdFormat("Notify request for %s %s %s %s file cannot be sent.\n", f.Cvendor,
                      f.Cproduct, f.Cprod_id, f.Cprod_filename);
}

void Fallback(DaemonState& st, const qd_Transaction_Format_6& rec, const std::string& key,
              const std::string& text) {
  std::string result;
  int rc = QueueSend(st.process_name.c_str(), kNotifier, kNotifyMessage, &rec, sizeof rec, result,
                     key.empty() ? nullptr : key.c_str());
  // A request neither sent nor spooled is lost but for the alert below.
  DaemonLogOwn(st, "9999", rc == QUEUESEND_FAILED ? '2' : 'A', result);
  std::string abstract = st.module_name + " Unable to Send() NIQ message";
  (void)BackDoorNotify(st.module_name.c_str(), 'H', abstract.c_str(), text.c_str(), '0');
}

// Sends the record to the notifier `id`. True when the service took it.
bool SendRecord(DaemonState& st, long id, qd_Transaction_Format_6& rec, const std::string& msgid,
                const std::string& key, int& rc) {
  Message_Queue_ env{};
  env.nTargetUID = static_cast<int32_t>(id);
  env.nDepDataLength = static_cast<int32_t>(sizeof rec);
  env.pDepData = &rec;
  // A request delivered again after the analyzer died sends under the
  // request's key, so the notifier hears of it once.
  rc = key.empty() ? st.wm->Send(static_cast<int>(st.process_id), kNotifyMessage, &env, false)
                   : st.wm->SendOnce(static_cast<int>(st.process_id), kNotifyMessage, &env, key);
  if (rc == WM_OK || rc == WM_QUEUED || rc == WM_ALREADY_SENT) {
    const char* how = rc == WM_OK ? "submitted" : rc == WM_QUEUED ? "queued" : "sent before";
    DaemonLogOwn(st, "0011", 'A', msgid,
                 QdFormat("%s Notification msg [%.8lX] %s by this", kNotifyKind,
                              static_cast<unsigned long>(static_cast<uint32_t>(env.nMessageID)),
                              how));
    return true;
  }
  if (rc != WM_SEND_FAILED) {
    std::snprintf(st.wm->szErrorMsg, sizeof st.wm->szErrorMsg, "%s", "Unknown SEND return code");
  }
  DaemonLogOwn(st, "0010", 'A', msgid, "SEND (to notify)", rc, st.wm->szErrorMsg);
  return false;
}

}  // namespace

std::string NotifyText(const AnalysisResult& result, const std::string& where) {
  std::string text = result.AFormattedText;
  if (!result.AExtraText.empty()) text += result.AExtraText;
  text += result.AAddedData;
  if (text.size() <= kNotifyTextMax) return text;
  std::string note = "\nTRUNCATED - see " + where + " for full details.";
  size_t keep = note.size() < kNotifyTextMax ? kNotifyTextMax - note.size() : 0;
  return Cut(text, keep) + Cut(note, kNotifyTextMax);
}

void BuildNotifyRecord(const AnalysisResult& result, const NotifySource& src,
                       qd_Transaction_Format_6& rec) {
  std::memset(&rec, 0, sizeof rec);
  const qd_Transaction_Header& req = *src.request;
  const CurrentFile& f = *src.file;
  qd_Transaction_Header& hdr = rec.hdr;
  TxnHeaderStart(hdr, QD_TXN_FMT_NOTIFY_UNIQUE, kNotifyKind, src.hw_arch);
  hdr.TxnAttr1 = req.TxnAttr1;
  hdr.TxnAttr2 = req.TxnAttr2;
  hdr.TxnAttr3 = req.TxnAttr3;
  hdr.TxnAttr4 = req.TxnAttr4;
  if (result.Alert_event) hdr.TxnAttr3 |= kTxnAttr3Alert;
  (void)TStampOut(src.now, hdr.TxnTime, true);
  std::memcpy(hdr.AssocId, req.AssocId, sizeof hdr.AssocId);
  hdr.prod = req.prod;
  hdr.sp = req.sp;

  rec.urgency = result.AUrgency;
  rec.notclass = static_cast<uint8_t>(src.notclass);
  Put(rec.event, TrimTrailing(Cut(result.AEvent, sizeof rec.event - 1)));
  Put(rec.source, QdFormat("%s %s %s %s file, seq %s, dated %s", f.Cvendor, f.Cproduct,
                               f.Cprod_id, f.Cprod_filename, f.Cfile_seq, f.Cfile_date));
  rec.EventTimeFirst = result.AEventTimeFirst;
  rec.EventTimeLast = result.AEventTimeLast;
  rec.EventLocation = result.AEventLocation;
  std::string abstract = "(" + src.severity + ")" + result.ASymptom;
  Put(rec.abstract, TrimTrailing(Cut(abstract, sizeof rec.abstract - 1)));
  Put(rec.counter, std::to_string(result.ACount));
  Put(rec.text, TrimTrailing(result.AText));
  Put(rec.model, result.AModel);
  Put(rec.NotifyUnique, result.Anot_unique);
}

void ResetNotifierId() { Engine().notifier_id = 0; }

void do_notify(const QDTxn* txn) {
  AnalysisEngine& engine = Engine();
  if (!engine.daemon || !engine.analyzer || !txn) return;
  DaemonState& st = *engine.daemon;
  AnalyzerState& an = *engine.analyzer;
  AnalysisResult& result = engine.result;
  const CurrentFile& f = an.file;
  std::string msgid = HexId(st.envelope.nMessageID);

  long id = NotifierId(st, msgid);

  if (!engine.pd_number.empty()) {
    result.AExtraText += QdFormat("\nPD%s location is HD[%s]; wwn is %s\n",
                                      engine.pd_number.c_str(), engine.pd_location.c_str(),
                                      engine.pd_wwn.c_str());
  }
  result.AText = NotifyText(result, st.on_sp ? Field(f.Cstore_filename) : "Obrin");

  NotifySource src;
  src.request = &txn->hdr;
  src.file = &f;
  src.severity = CurrentSeverity();
  src.notclass = an.notclass;
  src.hw_arch = st.hw_arch;
  src.now = time(nullptr);
  qd_Transaction_Format_6 rec;
  BuildNotifyRecord(result, src, rec);

  unsigned long origin = static_cast<uint32_t>(st.envelope.nMessageID);
  if (id > 0) {
    int rc = 0;
    if (SendRecord(st, id, rec, msgid, an.attempts.send_key, rc)) return;
    Fallback(st, rec, an.attempts.send_key,
             CannotBeSent(f) + QdFormat("CWorkMessages::Send() returned rc=%ld\n"
                                            "Originating AIQ message is %.8lX",
                                            static_cast<long>(rc), origin));
    return;
  }
  Fallback(st, rec, an.attempts.send_key,
           CannotBeSent(f) + QdFormat("CWorkMessages::GetUID() failed to translate '%s'\n"
                                          "Originating AIQ message is %.8lX",
                                          kNotifier, origin));
}
