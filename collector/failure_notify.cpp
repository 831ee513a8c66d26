#include "failure_notify.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <sstream>

#include "atomic_file.h"
#include "child_process.h"
#include "notify.h"
#include "qd_path.h"

namespace {

const char* const kFailureBase = "/sp/tmp/evtmon.failure";
const char* const kSplor = "/sp/prod/code/ruzi/bin/splor";
constexpr double kSplorLimit = 240;

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  std::strncpy(field, text.c_str(), N - 1);
  field[N - 1] = '\0';
}

bool ReadLimits(EvtmonState& st, long& limit, long& period) {
  if (!st.gdda) return false;
  return st.gdda->GetValue("SPEVT_TEMP_FAILURE_LIMIT", limit, st.system_level) &&
         st.gdda->GetValue("SPEVT_TEMP_FAILURE_TIME", period, st.system_level);
}

void RunSplor(EvtmonState& st) {
  ChildSpec cmd;
  cmd.argv = {QdPath(kSplor)};
  int status = 0;
  char err[256] = "";
  int rc = QdRunChild(cmd, kSplorLimit, &status, err, sizeof err);
  int code = rc == CHILD_OK && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code != 0) {
    Logme(st, "evtmon call to splor returned rc = " + std::to_string(code) + " for sysid " + st.sysid +
                  (err[0] ? std::string(": ") + err : std::string()));
  }
}

}  // namespace

std::string FailureFile(const std::string& sysid, const std::string& kind) {
  return std::string(kFailureBase) + "." + sysid + "." + kind;
}

bool should_i_notify(EvtmonState& st, const std::string& kind, time_t now) {
  const std::string file = QdPath(FailureFile(st.sysid, kind));
  Logme(st, "type: " + kind + ", file: " + file + ", temp: " + file + ".tmp");
  long limit = 0, period = 0;
  if (!ReadLimits(st, limit, period)) {
    Logme(st, "GDDA var SPEVT_TEMP_FAILURE_LIMIT or SPEVT_TEMP_FAILURE_TIME not set. Send Notify");
    return true;
  }
  Logme(st, "GDDA var SPEVT_TEMP_FAILURE_LIMIT (" + std::to_string(limit) +
                ") or SPEVT_TEMP_FAILURE_TIME (" + std::to_string(period) + ") set.");
  std::string err;
  QdMakeDirs(file.substr(0, file.rfind('/')), 0777);
  QdFileLock lock;
  std::string history;
  if (lock.Acquire(file + ".lock", err) != 0 || QdReadFile(file, history, err) < 0) {
    Logme(st, "Cannot open failure file for temporary writing: " + err);
    return true;
  }
  int count = 1;
  std::string kept;
  std::istringstream lines(history);
  std::string line;
  while (std::getline(lines, line)) {
    long t = std::atol(line.c_str());
    if (t > 0 && now - t < period) {
      kept += std::to_string(t) + "\n";
      ++count;
    }
  }
  kept += std::to_string(static_cast<long>(now)) + "\n";
  if (QdReplaceFile(file, kept, err, 0600) != 0) {
    Logme(st, "Cannot open failure file for temporary writing: " + err);
    return true;
  }
  Logme(st, std::to_string(count) + " errors within the accepted time period");
  bool notify = count > limit;
  if (notify) {
    Logme(st, "Number of errors permitted have been exceeded within the time period. Sending notification");
    unlink(file.c_str());
  }
  Logme(st, "should_i_notify: returning " + std::to_string(notify ? 1 : 0));
  return notify;
}

int sendNotify(EvtmonState& st, const std::string& abstract, const std::string& text, time_t now) {
  // One lock per array across the check, the send and the stored time.
  const std::string lockpath = QdPath("/sp/tmp/evtmon.notify." + st.sysid + ".lock");
  std::string err;
  QdMakeDirs(lockpath.substr(0, lockpath.rfind('/')), 0777);
  QdFileLock lock;
  if (lock.Acquire(lockpath, err) != 0) Logme(st, "In sendNotify, " + err, '2');
  long last = 0;
  if (st.gdda && !st.gdda->GetValue(st.key_last_notify.c_str(), last, st.system_level)) {
    LogSpe(st, 15, 'A', st.key_last_notify);
    Logme(st, "Get GDDA Value for " + st.key_last_notify + " failed rc = -1, msg= " + st.gdda->szErrorMsg + " ");
    last = 0;
  }
  const long since = static_cast<long>(now) - last;
  Logme(st, "# of seconds from last notify time = " + std::to_string(since));
  if (since <= kNotifyDistance) return 0;

  fsNOTIFY fsn;
  std::memset(&fsn, 0, sizeof fsn);
  fsn.urgency = 'H';
  Put(fsn.event, "Notification from EVTMON");
  Put(fsn.source, "SP event process for system  " + st.sysid);
  Put(fsn.abstract, abstract);
  Put(fsn.counter, std::to_string(st.notifycnt++));
  Put(fsn.text, text);
  if (char* failure = Notify(fsn, "QDNOT")) {
    Logme(st, std::string("Notify function failed, error message =  ") + failure);
    return 1;
  }
  Logme(st, "Notify message sent from evtmon, cnt= " + std::to_string(st.notifycnt - 1));
  if (st.gdda && !st.gdda->SetValue(st.key_last_notify.c_str(), static_cast<long>(now), st.system_level)) {
    LogSpe(st, 14, 'A', -1);
    Logme(st, "Set GDDA Value for " + st.key_last_notify + " failed rc = -1, msg= " + st.gdda->szErrorMsg + " ");
  }
  lock.Release();
  RunSplor(st);
  return 0;
}

void NotifyThrottled(EvtmonState& st, const std::string& kind, const std::string& abstract,
                     const std::string& text) {
  if (should_i_notify(st, kind)) (void)sendNotify(st, abstract, text);
}
