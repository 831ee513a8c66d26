#include "sw_update.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "atomic_file.h"
#include "event_file.h"
#include "qd_path.h"

namespace {

std::string LogDir(const EvtmonState& st) { return std::string(kFileBase) + "/" + st.sysid + "/evtlog"; }
std::string TimeKey(const EvtmonState& st) { return "SPEVT_SW_UPDATE_TIME_" + st.sysid; }

void Store(EvtmonState& st, const std::string& key, const std::string& value, const char* where) {
  if (!st.gdda) return;
  if (!st.gdda->SetValue(key.c_str(), value, st.system_level)) {
    LogSpe(st, 14, 'A', -1);
    Logme(st, std::string(where) + "Set GDDA Value for " + key + " failed rc = -1, msg= " + st.gdda->szErrorMsg + " ");
  }
}

// Writes `text` to the update log, replacing it (`fresh`) or appending.
void WriteLog(EvtmonState& st, const std::string& text, bool fresh) {
  const std::string path = UpdateLogPath(st);
  (void)QdMakeDirs(QdPath(LogDir(st)), 0777);
  std::string err;
  int rc = fresh ? QdReplaceFile(QdPath(path), text, err, 0664) : QdAppendWhole(QdPath(path), text, err);
  if (rc != 0) LogSpe(st, 2, 'A', "open", path, "write", "NULL");
}

}  // namespace

std::string UpdateLogPath(const EvtmonState& st) { return LogDir(st) + "/temp_evtlog"; }

int CloseUpdateLog(EvtmonState& st, time_t now, const char* where) {
  st.filter.sw_update_time = 0;
  Store(st, TimeKey(st), "0", where);
  char stamp[16];
  build_timestamp(stamp, now);
  const std::string from = UpdateLogPath(st);
  const std::string to = LogDir(st) + "/" + stamp + ".swupd";
  if (rename(QdPath(from).c_str(), QdPath(to).c_str()) != 0) {
    Logme(st, std::string(where) + "rename to " + to + " failed", '2');
    return -1;
  }
  Logme(st, std::string(where) + "rename to " + to + " succeeded", '2');
  int rc = callWorkMsg(st, "evtlog", to, now, "swupd");
  if (rc != 0 && rc != -4) {
    st.urgency = "H";
    Logme(st, "Process name 'EVTMON', Sysid " + st.sysid + ", " + st.urgency + " Urgency \n" + where +
                  "Call to WorkMessage failed  rc= " + std::to_string(rc), '2');
    return -1;
  }
  return 0;
}

int check_sw_update(EvtmonState& st, const std::string& summary, time_t now) {
  const std::string key = TimeKey(st);
  if (st.gdda) {
    long start = 0;
    if (!st.gdda->GetValue(key.c_str(), start, st.system_level)) {
      LogSpe(st, 15, 'A', key);
      Logme(st, "In check_sw_update(), Get GDDA Value for " + key + " failed rc = -1, msg= " +
                    st.gdda->szErrorMsg + " ");
      st.filter.sw_update_time = 0;
      if (st.gdda->SetValue(key.c_str(), 0L, st.system_level)) {
        Logme(st, "In check_sw_update(), Initialize GDDA Value for " + key + " to 0");
      } else {
        LogSpe(st, 14, 'A', -1);
        Logme(st, "In check_sw_update(), Set GDDA Value for " + key + " failed rc = -1, msg= " +
                      st.gdda->szErrorMsg + " ");
      }
      return 0;
    }
    st.filter.sw_update_time = start;
  }
  if (st.filter.sw_update_time == 0) return 0;
  const long elapsed = static_cast<long>(difftime(now, static_cast<time_t>(st.filter.sw_update_time)));
  Logme(st, "# of seconds from sw update start time = " + std::to_string(elapsed));
  if (elapsed < st.filter.max_update_time) {
    WriteLog(st, "\n" + summary, false);
    return 0;
  }
  Logme(st, "In check_sw_update(), reset " + key + " to 0", '2');
  (void)CloseUpdateLog(st, now, "In check_sw_update(), ");
  return 0;
}

int SoftwareUpdateAction(EvtmonState& st, const evtmon_t& e, time_t evtime) {
  const std::string s = e.event_string;
  const bool start = !std::strcmp(e.type, "evt_software_update") && s.find("Applying VQX software") != std::string::npos;
  if (start) {
    size_t at = s.find_first_of("23456789");
    if (at == std::string::npos) {
      Logme(st, "In spfilter(),Unexpected event string format for " + std::string(e.type));
      return 0;
    }
    size_t dash = s.find('-', at);
    const std::string level = s.substr(at, dash == std::string::npos ? dash : dash - at);
    const time_t now = time(nullptr);
    Store(st, "SPEVT_NEW_VQX_LEVEL_" + st.sysid, level, "");
    Store(st, TimeKey(st), std::to_string(static_cast<long>(now)), "");
    st.filter.sw_update_time = now;
  }
  char when[64] = "";
  const time_t t = evtime;
  ctime_r(&t, when);
  const std::string header = start ? "\n   Event Log file during Software Update\n" : " ";
  WriteLog(st, header + "\n\n" + st.sysid + " " + when + " " + s + "\n\n", start);
  const bool done = (!std::strcmp(e.type, "evt_membership_chg") &&
                     s.find("Meridian Cluster: Cluster Upgrade complete") != std::string::npos) ||
                    (!std::strcmp(e.type, "evt_notify") && s.find("System upgrade cancelled") != std::string::npos);
  if (done) {
    Logme(st, "In action 10, " + s);
    Logme(st, "In action 10, GDDA sw update time reset to 0");
    if (CloseUpdateLog(st, time(nullptr), "In buildFile(), ") == 0) {
      Logme(st, "In buildFile(), removed " + UpdateLogPath(st));
    }
  }
  return 0;
}
