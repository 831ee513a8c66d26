#include "notifier_config.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include <ecpglib.h>

#include "cc_request.h"
#include "daemon_db.h"
#include "daemon_log.h"
#include "notify_sql.h"
#include "process_message.h"
#include "qd_path.h"
#include "sql_error.h"

namespace {

constexpr const char* kProgram = "qdNotify";
constexpr const char* kZoneDir = "/usr/share/zoneinfo/";
constexpr const char* kDumpDirectory = "/usr/local/qd/dump";
constexpr long kBysSignal = SIGUSR1;

bool Absent(const CGDDA& dict) { return std::strstr(dict.szErrorMsg, " value not found"); }

// An optional text key: the value, or `fallback` when absent (quietly) or
// unreadable (QDZ0021). `loud` also logs an absent key.
std::string Optional(DaemonState& st, CGDDA& dict, const char* key, int level,
                     const std::string& fallback, bool loud = false) {
  std::string value;
  if (dict.GetValue(key, value, level)) return value;
  if (loud || !Absent(dict)) DaemonLog(st, "QDZ0021", 'A', dict.szErrorMsg);
  return fallback;
}

bool OptionalFlag(DaemonState& st, CGDDA& dict, const char* key, bool fallback) {
  bool value = fallback;
  if (dict.GetValue(key, value, st.system_level)) return value;
  if (!Absent(dict)) DaemonLog(st, "QDZ0021", 'A', dict.szErrorMsg);
  return fallback;
}

// A required text key; false after logging QDZ0021.
bool Required(DaemonState& st, CGDDA& dict, const char* key, std::string& value) {
  if (dict.GetValue(key, value, st.system_level) && !value.empty()) return true;
  DaemonLog(st, "QDZ0021", 'A', dict.szErrorMsg[0] ? dict.szErrorMsg : key);
  return false;
}

void ReadAlertZone(DaemonState& st, CGDDA& dict, NotifierConfig& cfg) {
  cfg.alert_zone =
      Optional(st, dict, "RAP_TIMEZONE_NAME", st.system_level, "America/Los_Angeles");
  if (!st.on_sp) return;
  std::string link = QdPath("/etc/localtime");
  char target[512];
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n < 0) {
    int err = errno;
    st.log->Insert(err, DaemonMsgId(st, "9999"), '2',
                   "readlink failed for /etc/localtime. Unable to determine SP time zone");
    return;
  }
  target[n] = '\0';
  std::string zone = ZoneFromLocaltimeLink(target);
  if (zone.empty()) {
    DaemonLogOwn(st, "9999", '2',
                 std::string("readlink data not as expected:'") + target +
                     "'. Unable to determine SP time zone");
    return;
  }
  cfg.alert_zone = zone;
}

void ReadSender(DaemonState& st, CGDDA& dict, NotifierConfig& cfg) {
  std::string from;
  if (dict.GetValue("EMAIL.FROM_ID", from, st.system_level) && !from.empty()) {
    cfg.sender = from;
  } else {
    if (!Absent(dict)) DaemonLog(st, "QDZ0021", 'A', dict.szErrorMsg);
    cfg.sender = st.on_sp ? "RealtimeAlertProcess-" + cfg.host_name
                          : Optional(st, dict, "RAP_EMAIL_ADDRESS", st.system_level,
                                     kCentralSender);
  }
  cfg.additional_to = Optional(st, dict, "EMAIL.ADDITIONAL_TO_ADDRESS", st.system_level, "");
}

void ReadSpSettings(DaemonState& st, CGDDA& dict, NotifierConfig& cfg) {
  cfg.sp_id = Optional(st, dict, "SP_ID", st.system_level, "SP0????");
  cfg.rap_loc = "Varn " + cfg.sp_id;
  cfg.hub_loc = "SP";
  cfg.secure_site = OptionalFlag(st, dict, "COMM_SECURE.SITE", false);
  cfg.forwarding = OptionalFlag(st, dict, "RAP_FORWARDING", false);
  if (cfg.forwarding) {
    cfg.forward_address =
        Optional(st, dict, "RAP_FORWARDING_EMAIL", st.system_level, kLocalAlertAddress);
    cfg.ftp_server_dir =
        Optional(st, dict, "SPFTP_SERVERDIR", st.system_level, "Unknown", /*loud=*/true);
  }
  std::string local = Optional(st, dict, "LOCAL_NOTIFICATION", st.system_level, "");
  for (char& c : local) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  cfg.local_notification = local == "ENABLED";
  cfg.history_capture = false;
}

// On the SP: ask the controller for SIGUSR1 on transfer-state changes.
void RegisterWithController(DaemonState& st, CGDDA& dict) {
  NotifierDaemon& nd = Notifier(st);
  nd.registered = false;
  nd.transfer_allowed = false;
  std::string message;
  if (spReqSignal2CC(ccrAddSignal, cceBYSstate, kBysSignal, &nd.signal_entry, st.process_id,
                     kProgram, st.wm.get(), message) != kCcSucceeded) {
    DaemonLog(st, "QDZ9999", '2', message);
    return;
  }
  nd.registered = true;
  NotifierReadCommBys(st, &dict);
}

void Unregister(DaemonState& st) {
  NotifierDaemon& nd = Notifier(st);
  if (!nd.registered || !st.wm) return;
  nd.registered = false;
  std::string message;
  if (spReqSignal2CC(ccrDeleteSignal, cceBYSstate, kBysSignal, &nd.signal_entry, st.process_id,
                     kProgram, st.wm.get(), message) != kCcSucceeded) {
    DaemonLog(st, "QDZ9999", '2', message);
  }
}

void Summary(DaemonState& st, std::vector<std::string>& lines) {
  const NotifierConfig& cfg = Notifier(st).cfg;
  lines.push_back("RAP timezone '" + cfg.alert_zone + "', email '" + cfg.sender + "'");
  if (!st.on_sp) return;
  lines.push_back("Running on SP=" + cfg.sp_id);
  if (cfg.forwarding) lines.push_back("Local RAP forwarding to " + cfg.forward_address);
}

// A foreground notifier traces its statements into the dump directory.
void OpenTrace(DaemonState& st) {
  if (st.daemon) return;
  NotifierDaemon& nd = Notifier(st);
  NotifierCloseTrace(nd);
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char name[512];
  std::snprintf(name, sizeof name, "%s/%s/PGsql.log.%.4d%.2d%.2d.%.2d%.2d%.2d.%ld",
                kDumpDirectory, kProgram, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min, local.tm_sec, static_cast<long>(getpid()));
  std::string path = QdPath(name);
  (void)QdMakeDirs(QdPath(std::string(kDumpDirectory) + "/" + kProgram));
  nd.trace = std::fopen(path.c_str(), "a");
  if (!nd.trace) {
    int err = errno;
    st.log->Insert(err, "QDZ0080", '2', "on OPEN", name);
    return;
  }
  ECPGdebug(1, nd.trace);
}

std::string HostName() {
  char host[81] = {0};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "UnknownHost";
  return host;
}

}  // namespace

NotifierDaemon& Notifier(DaemonState& st) { return *static_cast<NotifierDaemon*>(st.app); }

void NotifierCloseTrace(NotifierDaemon& nd) {
  if (!nd.trace) return;
  ECPGdebug(0, nullptr);
  std::fclose(nd.trace);
  nd.trace = nullptr;
}

std::string ZoneFromLocaltimeLink(const std::string& target) {
  std::string path = target.empty() || target[0] == '/' ? target : "/etc/" + target;
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  std::string norm;
  for (const std::string& part : parts) norm += "/" + part;
  const size_t prefix = std::strlen(kZoneDir);
  if (norm.size() <= 20 || norm.compare(0, prefix, kZoneDir) != 0) return "";
  return norm.substr(prefix);
}

bool CommBysAllowsTransfer(const std::string& value) {
  std::string up = value;
  for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return up == "OUT" || up == "BOTH";
}

void NotifierReadCommBys(DaemonState& st, CGDDA* dict) {
  NotifierDaemon& nd = Notifier(st);
  CGDDA own;
  if (!dict) {
    if (own.CreateError != 0) {
      DaemonLog(st, "QDZ0020", 'A', own.szErrorMsg);
      return;
    }
    dict = &own;
  }
  std::string value;
  if (!dict->GetValue("COMM_BYS", value, st.system_level)) {
    DaemonLog(st, "QDZ0021", 'A', dict->szErrorMsg);
    return;
  }
  nd.comm_bys = value;
  nd.transfer_allowed = CommBysAllowsTransfer(value);
}

int NotifierReadDictionary(DaemonState& st, CGDDA& dict) {
  NotifierDaemon& nd = Notifier(st);
  NotifierConfig cfg;
  cfg.host_name = HostName();
  bool complete = true;
  std::string root, templates;
  if (Required(st, dict, "ROOT", root) && Required(st, dict, "TEMPLATE_DIRECTORY", templates)) {
    cfg.template_dir = root + "/" + st.level_name + "/" + templates;
  } else {
    complete = false;
  }
  ReadAlertZone(st, dict, cfg);
  ReadSender(st, dict, cfg);
  if (st.on_sp) {
    ReadSpSettings(st, dict, cfg);
  } else {
    cfg.rap_loc = "Varn Central";
    cfg.hub_loc = "HQX";
    cfg.history_capture = true;
    std::string hist;
    if (!root.empty() && Required(st, dict, "RAP_HIST_DIR", hist)) {
      cfg.history_dir = root + "/" + st.level_name + "/" + hist;
    } else {
      complete = false;
    }
  }
  nd.cfg = cfg;
  nd.comm_bys.clear();
  nd.transfer_allowed = false;
  if (st.on_sp && complete && st.process_id > 0 && st.message_number > 0) {
    RegisterWithController(st, dict);
  }
  return complete ? 0 : 1;
}

void UpdateTxnStatus(DaemonState& st, int result) {
  if (st.reconnect) NotifySqlRollback();
  QdSqlClear();
  if (NotifySqlUpdateStatus(TxnStatusText(result), Notifier(st).notify_id, st.txn_objid) < 0) {
    DaemonSqlError(st, "Update txn status");
    return;
  }
  if (NotifySqlCommit() < 0) DaemonSqlError(st, "Commit txn update");
}

DaemonConfig NotifierDaemonConfig() {
  DaemonConfig config;
  config.module_name = kProgram;
  config.process_name = "QDNOT";
  config.message_name = "NIQ";
  config.option_string = "do:i:m:p:t:r:l:";
  config.read_dictionary = NotifierReadDictionary;
  config.before_connect = OpenTrace;
  config.cleanup = Unregister;
  config.summary = Summary;
  config.process = process_message;
  config.update_status = UpdateTxnStatus;
  config.connections = {"conn3", "conn2", "conn1"};
  config.watch_usr1 = true;
  config.urgency_0004 = '2';
  config.urgency_0005 = '2';
  config.inactivity_text = "Stopping due to excessive inactivity.";
  return config;
}
