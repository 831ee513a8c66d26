// The fallback spool's way back into the service: draining it (by Send and
// by "qdwm drain") and QueueSend, which fills it.

#include <cstdio>
#include <ctime>

#include "hex_id.h"
#include "wm_conn.h"
#include "wm_spool.h"
#include "work_messages.h"

namespace {

// Ended spool keys are kept this long, far beyond the time a spool entry
// that was stored but not removed (its drain died) can wait for the next
// drain.
const WmStatement kPruneSent = {
    "wm_prune_sent", "delete from wm.spool_sent where sent_at < now() - interval '30 days'"};

}  // namespace

void CWorkMessages::DrainBeforeSend() {
  std::vector<std::string> names;
  std::string err;
  if (WmSpoolList(names, err) != 0 || names.empty()) return;
  // The caller's own send goes on whatever the drain met; the entries left
  // wait for the next drain.
  WmDrainReport report;
  (void)DrainSpool(false, report);
}

int CWorkMessages::DrainSpool(bool wait, WmDrainReport& report) {
  report = WmDrainReport();
  WmSpoolLock lock;
  std::string err;
  int rc = lock.Acquire(wait, err);
  if (rc == 1) {
    report.busy = true;
    return Ok();
  }
  if (rc < 0) return Fail(WM_SEND_FAILED, err);
  WmSpoolSweepTemps();
  std::vector<std::string> names;
  if (WmSpoolList(names, err) != 0) return Fail(WM_SEND_FAILED, err);
  if (names.empty()) return Ok();
  if ((rc = EnsureCtl()) != 0) return rc;
  for (const std::string& name : names) {
    if ((rc = DrainEntry(name, report)) != 0) return rc;
  }
  if (report.sent > 0) PruneKeys(true);
  return Ok();
}

// Sends one entry. 0 when the entry is handled (sent, found sent before,
// or set aside); a service failure otherwise, the entry left in place.
int CWorkMessages::DrainEntry(const std::string& name, WmDrainReport& report) {
  WmSpoolEntry entry;
  std::string err;
  int rc = WmSpoolRead(name, entry, err);
  if (rc == 1) return 0;  // another drain took it
  int target = 0, msgno = 0, sender = 0;
  if (rc == 0) {
    rc = FindProcess(entry.target, target, nullptr);
    if (rc == 0) rc = FindMessage(entry.msgname, msgno);
    if (rc != 0 && rc != WM_UNKNOWN_NAME) return rc;
    err = szErrorMsg;
    if (rc == 0 && FindProcess(entry.sender, sender, nullptr) != 0) {
      if (nLastError != WM_UNKNOWN_NAME) return nLastError;
      sender = 0;  // a program that is no process of the registry
    }
  }
  if (rc != 0) {
    std::string aside;
    if (WmSpoolSetAside(name, aside) != 0) return Fail(WM_SEND_FAILED, aside);
    ++report.set_aside;
    report.lines.push_back(name + ": set aside as " + name + ".bad: " + err);
    return 0;
  }
  Message_Queue_ env = {};
  env.nTimeSent = static_cast<int32_t>(entry.time_sent);
  int msgid = 0;
  int64_t posted = 0;
  bool live = false;
  rc = Store(sender, target, msgno, env, entry.data.data(), static_cast<long>(entry.data.size()),
             entry.key, msgid, posted, live);
  if (rc < 0) return rc;
  if (rc == 0) {
    ++report.sent;
    report.lines.push_back(name + ": sent as message " + HexId(msgid) + " to " + entry.target + "/" +
                           entry.msgname);
  } else {
    ++report.duplicates;
    report.lines.push_back(name + ": already sent, removed");
  }
  if (WmSpoolRemove(name, err) != 0) return Fail(WM_SEND_FAILED, err);
  return 0;
}

int QueueSend(const char* sender, const char* target, const char* msgname, const void* data,
              long length, std::string& resulttext, const char* key) {
  const std::string sendkey = key ? key : "";
  if (key && !WmSendKeyValid(sendkey)) {
    resulttext = "QueueSend: invalid send key; message not kept";
    return QUEUESEND_FAILED;
  }
  if (!sender || !target || !msgname || !WmSpoolNameValid(sender) || !WmSpoolNameValid(target) ||
      !WmSpoolNameValid(msgname)) {
    resulttext = "QueueSend: invalid process or message name; message not kept";
    return QUEUESEND_FAILED;
  }
  if (length < 0 || length > kWmMaxDataLength || (length > 0 && !data)) {
    resulttext = "QueueSend: invalid data length " + std::to_string(length) + "; message not kept";
    return QUEUESEND_FAILED;
  }
  const std::string where = std::string(target) + "/" + msgname;
  std::string why;
  {
    CWorkMessages wm(false);
    int msgid = 0;
    int rc = wm.SendByName(sender, target, msgname, data, length, msgid, sendkey);
    if (rc == WM_ALREADY_SENT) {
      resulttext = "message for " + where + " sent before as work message " + HexId(msgid) +
                   "; not sent again";
      return QUEUESEND_SENT;
    }
    if (rc == WM_OK || rc == WM_QUEUED) {
      resulttext = "message for " + where + " sent as work message " + HexId(msgid);
      if (rc == WM_QUEUED) resulttext += " (no receiver registered now; kept until one is)";
      return QUEUESEND_SENT;
    }
    why = wm.szErrorMsg;
  }
  WmSpoolEntry entry;
  entry.sender = sender;
  entry.target = target;
  entry.msgname = msgname;
  entry.time_sent = static_cast<int64_t>(time(nullptr));
  entry.data.assign(static_cast<const char*>(data ? data : ""), static_cast<size_t>(length));
  std::string path, err;
  if (WmSpoolWrite(entry, path, err, sendkey) != 0) {
    resulttext = "message for " + where + " lost: not sent (" + why + ") and not spooled (" + err + ")";
    return QUEUESEND_FAILED;
  }
  resulttext = "message for " + where + " spooled as " + path + " (" + why + ")";
  return QUEUESEND_SPOOLED;
}
