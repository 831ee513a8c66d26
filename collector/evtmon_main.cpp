// evtmon: the event collector of one array.
//
//   evtmon [-D] sysid IPaddr vqx_level
//
// A supervisor and a worker (supervisor.h): the worker connects to the
// array's event filter, fetches the event definitions and the model, catches
// up the events raised while no worker listened, and files and announces
// every event it keeps until SIGTERM (exit 100) or a stream failure. The
// supervisor kills a worker that falls silent. Every end but an operator
// stop is a non-zero exit status, so the service manager starts the
// collector again. With -D it runs interactively and prints its trace.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "catch_up.h"
#include "child_process.h"
#include "collection.h"
#include "event_file.h"
#include "event_names.h"
#include "event_process.h"
#include "event_stream.h"
#include "evtmon_state.h"
#include "failure_notify.h"
#include "hw_arch.h"
#include "qd_path.h"
#include "qd_version.h"
#include "restartable_daemon.h"
#include "service_user.h"
#include "signals.h"
#include "supervisor.h"
#include "time_scale.h"

namespace {

constexpr int kExitStopped = 100;
constexpr double kSettlePause = 15;   // seconds before the first worker starts
constexpr double kSetupLimit = 240;   // seconds the command-line set-up may take
const char* const kDumpDir = "/usr/local/qd/dump";

int ParseArgs(int argc, char** argv, EvtmonState& st) {
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "-D") == 0) {
    st.daemon = false;
    first = 2;
  }
  if (argc - first < 3) {
    std::fprintf(stderr, "Too few parameters entered!!\n");
    return 1;
  }
  st.sysid = argv[first];
  st.ipaddr = argv[first + 1];
  st.vqx_level = argv[first + 2];
  // Both reach file paths and dictionary keys.
  if (!QdSafePathWord(st.sysid) || !QdSafePathWord(st.vqx_level) || st.ipaddr.empty() ||
      st.ipaddr.size() > 23) {
    std::fprintf(stderr, "Invalid sysid, IPaddr or vqx_level\n");
    return 1;
  }
  st.key_last_evt_time = "SPEVT_Last.Evt.Time_" + st.sysid;
  st.key_last_node_seq = "SPEVT_Last.Node.Seq_" + st.sysid;
  st.key_init_evt = "INIT_EVT_" + st.sysid;
  st.key_last_notify = "SP_Last.Notify.Time_" + st.sysid;
  st.max_secs = st.daemon ? kWatchdogDaemon : kWatchdogInteractive;
  return 0;
}

// Prepares the command-line link to the array ("SetupVelmarComm <sysid>
// evtmon", no shell, its output in a temporary file). Its own failures are
// logged and tolerated; 0 only when it could not be run or waited for.
int InitCLIcomm(EvtmonState& st) {
  const std::string out = QdPath("/sp/tmp/" + std::string(kEvtmonModule) + ".InitCLIcomm." +
                                 std::to_string(getpid()));
  QdMakeDirs(out.substr(0, out.rfind('/')), 0777);
  ChildSpec cmd;
  cmd.argv = {"SetupVelmarComm", st.sysid, kEvtmonModule};
  cmd.stdoutPath = out;
  cmd.stderrPath = "=stdout";
  int status = 0;
  char err[256] = "";
  int rc = QdRunChild(cmd, kSetupLimit, &status, err, sizeof err);
  std::string failure;
  if (rc == CHILD_FAILED) {
    Logme(st, std::string("SetupVelmarComm from InitCLIcomm failed, rc=127, continue anyway. ") + err);
  } else if (rc == CHILD_TIMEOUT) {
    failure = "SetupVelmarComm from InitCLIcomm did not end in time, cannot continue.";
  } else if (WIFSIGNALED(status)) {
    Logme(st, "SetupVelmarComm from InitCLIcomm abended with signal " + std::to_string(WTERMSIG(status)) +
                  ", continue anyway.");
  } else if (WEXITSTATUS(status) != 0) {
    Logme(st, "SetupVelmarComm from InitCLIcomm failed, rc=" + std::to_string(WEXITSTATUS(status)) +
                  ", continue anyway.");
  }
  unlink(out.c_str());
  if (!failure.empty()) {
    Logme(st, failure, '2');
    (void)sendNotify(st, "Problem initializing CLI communications",
                     failure + "\nCommand executed was: " + QdCommandText(cmd));
    return 0;
  }
  const char* path = std::getenv("PATH");
  if (!path) {
    Logme(st, "getenv in InitCLIcomm failed, continue anyway.");
  } else if (setenv("PATH", (std::string("/opt/vqx/bin:") + path).c_str(), 1) != 0) {
    Logme(st, "setenv in InitCLIcomm failed, continue anyway.");
  } else {
    Logme(st, "Added /opt/vqx/bin at beginning of PATH", '0');
  }
  return 1;
}

int GetInitialized(EvtmonState& st) {
  st.wm = std::make_unique<CWorkMessages>(true);
  if (st.wm->nLastError != 0) {
    Log2cerr("Error creating CWorkMessages, rc=" + std::to_string(st.wm->nLastError) +
                 ", msg=" + st.wm->szErrorMsg, kEvtmonModule, st.daemon);
    return -1;
  }
  st.gdda = std::make_unique<CGDDA>();
  if (st.gdda->CreateError != 0) {
    Log2cerr(st.gdda->szErrorMsg, kEvtmonModule, st.daemon);
    return -1;
  }
  char level[kGddaLevelTextSize];
  st.system_level = st.gdda->GetSystemLevel(level);
  if (st.system_level == 0) return -1;
  bool failed = false;
  char spid[80] = "";
  if (!st.gdda->GetValue("SP_ID", spid, GDDA_GLOBAL)) failed = true;
  st.sp_id = spid;
  char errtext[256] = "";
  st.hw_arch = GetHWArch(errtext);
  if (st.hw_arch == 0) failed = true;
  st.own_uid = st.wm->GetUID(kEvtmonWmName, &st.log_char);
  if (st.own_uid < 0) {
    Log2cerr(std::string("Error translating Process name '") + kEvtmonWmName + "'. rc=" +
                 std::to_string(st.own_uid) + ", msg=" + st.wm->szErrorMsg, kEvtmonModule, st.daemon);
    failed = true;
  }
  if (failed) return 1;
  st.log = std::make_unique<CLogMessage>(kEvtmonWmName, nullptr, !st.daemon);
  if (st.log->CreateError != 0) {
    Log2cerr(std::string("Error creating CLogMessage, msg=") + st.log->szErrorMsg, kEvtmonModule, st.daemon);
    return -1;
  }
  LogSpe(st, 0, '1', QD_MODULE_VERSION);
  st.log->Insert("QDZ0001", 'A');
  return InitCLIcomm(st) == 1 ? 0 : 1;
}

// Releases the service objects when this process owns them (-1: a normal
// end).
void Cleanup(EvtmonState& st, int sig) {
  if (sig == -1) LogSpe(st, 5, 'A');
  else Log2cerr("Received signal " + std::to_string(sig), kEvtmonModule, st.daemon);
  if (getpid() != st.object_owner) {
    Logme(st, "Cleanup() skipping object cleanup. ObjectOwner=" + std::to_string(st.object_owner) +
                  ", CurrPid=" + std::to_string(getpid()));
    return;
  }
  st.log.reset();
  st.gdda.reset();
  st.wm.reset();
}

// Fatal signals: the process ends by the signal again (core included).
// Only async-signal-safe steps here; the database session ends with the
// process.
void TrapAbend(int sig) {
  ResetTrapSignal(sig);
  char text[64];
  int n = std::snprintf(text, sizeof text, "evtmon: Received signal %d\n", sig);
  if (n > 0) (void)!write(STDERR_FILENO, text, static_cast<size_t>(n));
  raise(sig);
}

void ReadLastEvent(EvtmonState& st) {
  long t = 0;
  if (st.gdda->GetValue(st.key_last_evt_time.c_str(), t, st.system_level)) {
    st.last_event_time = t;
    st.stored_event_time = t;
  }
  std::string seq;
  if (st.gdda->GetValue(st.key_last_node_seq.c_str(), seq, st.system_level)) {
    st.last_node_seq = seq;
    st.stored_node_seq = seq;
  }
}

// The worker: connection, definitions, model, then the stream.
int RunWorker(EvtmonState& st) {
  Logme(st, "In run_process, START of child process");
  if (!st.wm) {
    st.wm = std::make_unique<CWorkMessages>(true);
    if (st.wm->nLastError != 0) {
      Log2cerr(std::string("Error creating child CWorkMessages, msg=") + st.wm->szErrorMsg, kEvtmonModule,
               st.daemon);
      return -1;
    }
  }
  std::string check = CheckNameTables();
  if (!check.empty()) {
    Logme(st, check);
    return -1;
  }
  int sock = connect_as_client(st);
  if (sock < 0) {
    LogSpe(st, 8, 'A', sock);
    StreamFailureText f = DescribeFailure(true, sock, st.ipaddr);
    NotifyThrottled(st, f.word, f.abstract, f.text);
    return -3;
  }
  int rc = get_event_files(st);
  if (rc != 0 && rc != 100) {
    (void)sendNotify(st, "evtmon get_event_files failed to get event attributes.",
                     "The evtmon child process can not start properly. The get event attributes "
                     "function get_event_files(), failed to retrieve event types, descriptions, and "
                     "components. evtmon can not run without them. They are the definition of the "
                     "events. The return code = " + std::to_string(rc));
  }
  init_desc_strings(QdPath(DefinitionDir(st)), st.defs);
  ReadLastEvent(st);
  Logme(st, "last event time before calling get_past_events = " + std::to_string(st.last_event_time));
  rc = get_model(st);
  if (rc != 0) Logme(st, "In run_process, get_model failed, rc = " + std::to_string(rc));

  EventParser parser;
  parser.comps = &st.defs.comps;
  parser.callback = [&st](evtmon_t& e, const std::string& raw) { process_event(st, e, raw); };
  (void)RemoveStaleTempFiles(st);
  // The catch-up starts once the stream has taken over from any earlier
  // connection, so no event falls between the two.
  (void)AwaitStream(st, sock);
  rc = st.stop ? 0 : get_past_events(st, parser);
  if (rc != 0) {
    NotifyThrottled(st, "pastevts", "evtmon get_past_events failed to collect events.",
                    "The evtmon child past event collection process has failed. The function "
                    "get_past_events(), failed to retrieve events. The return code = " + std::to_string(rc));
  }
  Logme(st, "Set GDDA Value for last_event_time to " + std::to_string(st.last_event_time));
  init_buf(parser);
  int result = 0;
  if (!st.stop) result = get_events(st, sock, parser);
  FlushEvents(st);
  CollectorTick(st, true);  // requests still waiting for a collection go now, also after a stop
  if (result != 0) {
    Logme(st, "In run_process, get_events failed, rc = " + std::to_string(result));
    StreamFailureText f = DescribeFailure(false, result, st.ipaddr);
    NotifyThrottled(st, f.word, f.abstract, f.text);
  }
  close(sock);
  Logme(st, "In run_process, EXITING child process");
  return st.stop ? kExitStopped : result;
}

}  // namespace

int main(int argc, char** argv) {
  EvtmonState st;
  if (ParseArgs(argc, argv, st) != 0) return 1;
  char usertext[1024] = "";
  if (QDSetUser(usertext, sizeof usertext) != 0) Log2cerr(usertext, kEvtmonModule, st.daemon);
  sigset_t set;
  if (!SetupSignals(&set, true, SIGTERM, SIGINT, SIGHUP, -1)) {
    Log2cerr("Failed to set up signals", kEvtmonModule, st.daemon);
    return 1;
  }
  if (const char* err = TrapSignals(&set, SIGILL, TrapAbend, SIGABRT, TrapAbend, SIGFPE, TrapAbend,
                                    SIGSEGV, TrapAbend, SIGUSR2, TrapAbend, -1)) {
    Log2cerr(err, kEvtmonModule, st.daemon);
  }
  if (st.daemon) {
    // One supervisor, lock and pid file per array.
    const std::string name = std::string(kEvtmonModule) + "." + st.sysid;
    int rc = RestartableDaemon(name.c_str(), kDumpDir, true);
    if (rc < 0) {
      Log2cerr(std::string("Process name '") + kEvtmonProcess + "', Sysid " + st.sysid +
                   ", H Urgency, RestartableDaemon failed ", kEvtmonModule, st.daemon);
      return -1;
    }
    if (rc == 1) return 0;
  }
  st.object_owner = getpid();
  umask(002);
  if (GetInitialized(st) != 0) return 1;
  // A short pause lets the array settle after a restart of the collector.
  (void)QdSleep(kSettlePause);
  if (CheckForSignal(SIGTERM, true)) st.stop = true;
  int rc = st.stop ? kExitStopped : run_process(st, RunWorker);
  Cleanup(st, -1);
  return rc;
}
