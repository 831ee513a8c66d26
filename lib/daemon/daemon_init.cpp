// Start-up, re-initialisation and clean-up of a queue daemon.
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "daemon.h"
#include "daemon_db.h"
#include "daemon_log.h"
#include "daemon_loop.h"
#include "err_text.h"
#include "hw_arch.h"
#include "qd_version.h"
#include "restartable_daemon.h"
#include "service_user.h"
#include "signals.h"
#include "str_format.h"

namespace {

// The daemon TrapAbend cleans up. A signal handler has no other way to
// reach the state that main owns.
DaemonState* g_trapped = nullptr;

constexpr const char* kDumpDirectory = "/usr/local/qd/dump";

// Logs a failed dictionary read, unless the key is only absent and
// `quiet_if_absent`.
void DictionaryFailed(DaemonState& st, bool quiet_if_absent) {
  const char* why = st.dict->szErrorMsg;
  if (quiet_if_absent && std::strstr(why, " value not found")) return;
  DaemonLog(st, "QDZ0021", 'A', why);
}

// The database target or id: the option's value, else the dictionary key.
// Returns true when a value is known.
bool DatabaseSetting(DaemonState& st, const char* key, bool from_option, std::string& value,
                     const char* missing) {
  if (!from_option) {
    value.clear();
    if (!st.dict->GetValue(key, value, st.system_level)) DictionaryFailed(st, false);
  }
  if (!value.empty()) return true;
  DaemonLog(st, "QDZ9999", '2', missing);
  return false;
}

// Creates the three service objects. 0, or -1 after logging the failure.
int CreateServices(DaemonState& st) {
  try {
    st.log = std::make_unique<CLogMessage>(st.process_name.c_str());
  } catch (...) {
    st.log.reset();
  }
  if (!st.log || st.log->CreateError != 0) {
    DaemonStderr(st, std::string("Error creating CLogMessage, msg=") +
                         (st.log ? st.log->szErrorMsg : "out of memory"));
    st.log.reset();
    return -1;
  }
  st.wm = std::make_unique<CWorkMessages>(true);
  if (st.wm->nLastError != 0) {
    DaemonLog(st, "QDZ0031", 'A', st.wm->szErrorMsg);
    return -1;
  }
  st.dict = std::make_unique<CGDDA>();
  if (st.dict->CreateError != 0) {
    DaemonLog(st, "QDZ0020", 'A', st.dict->szErrorMsg);
    return -1;
  }
  return 0;
}

// Process and message registration. Returns true when complete.
bool Register(DaemonState& st, bool complete) {
  char logchar = 0;
  int uid = st.wm->GetUID(st.process_name.c_str(), &logchar);
  if (uid < 1) {
    DaemonLog(st, "QDZ0032", '2', st.process_name, st.wm->szErrorMsg);
    complete = false;
  } else {
    st.process_id = uid;
    st.message_prefix[2] = logchar;
  }
  char errtext[kErrTextSize] = {0};
  st.hw_arch = GetHWArch(errtext);
  if (st.hw_arch == 0) {
    DaemonLog(st, "QDZ9999", '2', errtext);
    complete = false;
  }
  st.resolved.clear();
  for (const char* name : st.config->resolve_processes) {
    int id = st.wm->GetUID(name);
    if (id < 1) {
      DaemonLog(st, "QDZ9999", '2',
                QdFormat("Error translating Process name '%s'. rc=%ld, msg=%s", name,
                       static_cast<long>(id), st.wm->szErrorMsg));
      complete = false;
    }
    st.resolved.push_back(id);
  }
  if (st.message_name.empty()) return complete;
  int msgno = st.wm->Translate(st.message_name.c_str());
  if (msgno < 1) {
    DaemonLog(st, "QDZ0034", '2', st.message_name, st.wm->szErrorMsg);
    return false;
  }
  st.message_number = msgno;
  if (!complete) return false;
  int rc = st.wm->SetInput(st.process_id, st.message_name.c_str(), nullptr, false);
  if (rc != 0) {
    DaemonLog(st, "QDZ9999", '2',
              QdFormat("SetInput error for Process '%s(%ld)', Message '%s(%ld)'. rc=%ld, msg=%s",
                     st.process_name.c_str(), st.process_id, st.message_name.c_str(),
                     st.message_number, static_cast<long>(rc), st.wm->szErrorMsg));
    return false;
  }
  return true;
}

void DeleteServices(DaemonState& st) {
  try { st.log.reset(); } catch (...) { st.log.release(); }
  try { st.dict.reset(); } catch (...) { st.dict.release(); }
  try { st.wm.reset(); } catch (...) { st.wm.release(); }
}

void LogSummary(DaemonState& st) {
  std::vector<std::string> lines = {
      QdFormat("DB node '%s'", st.db_target.c_str()),
      QdFormat("Process name '%s(%ld)'", st.process_name.c_str(), st.process_id),
      QdFormat("Work message name '%s(%ld)'", st.message_name.c_str(), st.message_number),
      QdFormat("Max inactivity=%ld (sec)", st.max_inactivity),
      QdFormat("Retry interval=%ld (sec)", st.retry_interval),
      QdFormat("Retry limit=%ld (sec)", st.retry_limit),
      QdFormat("System level=%s", st.level_name),
      QdFormat("Module version=%s", QD_MODULE_VERSION),
  };
  if (st.config->summary) st.config->summary(st, lines);
  DaemonLog(st, "QDZ0001", 'A');
  for (const std::string& line : lines) DaemonLog(st, "QDZ0002", 'A', line);
}

}  // namespace

int Initialize(DaemonState& st) {
  if (CreateServices(st) != 0) return -1;
  st.system_level = st.dict->GetSystemLevel(st.level_name);
  if (st.system_level == 0) {
    DaemonLog(st, "QDZ0021", 'A', st.dict->szErrorMsg);
    return -1;
  }
  bool complete = true;
  st.on_sp = false;
  if (st.config->reads_running_on_sp) {
    bool on_sp = false;
    if (st.dict->GetValue("RUNNINGONSP", on_sp, GDDA_GLOBAL)) {
      st.on_sp = on_sp;
    } else {
      DictionaryFailed(st, true);
    }
  }
  complete &= DatabaseSetting(st, "ORASID", st.target_from_option, st.db_target,
                              "DB node (-o) option not specified.");
  complete &= DatabaseSetting(st, "ORAID", st.id_from_option, st.db_id,
                              "DB id (-i) option not specified.");
  complete = Register(st, complete);
  if (st.config->read_dictionary) {
    int rc = st.config->read_dictionary(st, *st.dict);
    if (rc < 0) return -1;
    if (rc != 0) complete = false;
  }
  st.dict.reset();
  return complete ? 0 : 1;
}

int get_initialized(DaemonState& st, int argc, char** argv) {
  if (st.process_name.empty()) st.process_name = st.config->process_name;
  if (st.message_name.empty() && st.config->message_name) {
    st.message_name = st.config->message_name;
  }
  if (DaemonParseOptions(*st.config, st, argc, argv) != 0) return -1;
  if (Initialize(st) != 0) {
    DeleteServices(st);
    return -1;
  }
  if (st.config->after_initialize) st.config->after_initialize(st);
  LogSummary(st);
  (void)get_connected(st, st.db_target.c_str(), st.db_id.c_str(), st.db_password.c_str());
  return 0;
}

int ReInitialize(DaemonState& st) {
  DaemonLog(st, "QDZ0006", 'A', "starting");
  Cleanup(st, 0);
  if (st.config->release) st.config->release(st);
  if (Initialize(st) != 0) {
    DeleteServices(st);
    DaemonStderr(st, "Reinitialization failed");
    return -1;
  }
  DaemonLog(st, "QDZ0006", 'A', "succeeded");
  return 0;
}

void Cleanup(DaemonState& st, int signal) {
  if (signal != 0) {
    DaemonStderr(st, QdFormat("PID %ld received signal %d", static_cast<long>(getpid()), signal));
  }
  if (st.wm && st.process_id > 0) (void)st.wm->UnsetInput(st.process_id, "ALLQ", 0);
  if (st.config && st.config->cleanup) st.config->cleanup(st);
  DeleteServices(st);
}

void TrapAbend(int signal) {
  ResetTrapSignal(signal);
  if (g_trapped) Cleanup(*g_trapped, signal);
  raise(signal);
}

int DaemonMain(const DaemonConfig& config, DaemonState& st, int argc, char** argv) {
  st.config = &config;
  st.module_name = config.module_name;
  char why[1024] = {0};
  if (QDSetUser(why, sizeof why) != 0) DaemonStderr(st, why);

  sigset_t set;
  bool watched = config.watch_usr1
                     ? SetupSignals(&set, true, SIGTERM, SIGINT, SIGHUP, SIGUSR1, -1)
                     : SetupSignals(&set, true, SIGTERM, SIGINT, SIGHUP, -1);
  if (!watched) {
    DaemonStderr(st, "Failed to set up signals");
    return kExitStartFailed;
  }
  g_trapped = &st;
  if (const char* err = TrapSignals(&set, SIGILL, TrapAbend, SIGABRT, TrapAbend, SIGFPE,
                                    TrapAbend, SIGSEGV, TrapAbend, -1)) {
    DaemonStderr(st, err);
  }

  if (argc < 2 || std::strcmp(argv[1], "-d") != 0) {
    st.daemon = true;
    int rc = RestartableDaemon(config.module_name, kDumpDirectory, true);
    if (rc < 0) return -1;
    if (rc == 1) return kExitLauncher;
  }
  if (get_initialized(st, argc, argv) != 0) return kExitStartFailed;
  DaemonLoopFn loop = config.loop ? config.loop : DaemonWorkLoop;
  return loop(st);
}
