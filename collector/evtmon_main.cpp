// evtmon: the event collector of one array.
//
//   evtmon [-D] sysid IPaddr vqx_level
//
// This build runs the worker: it connects to the array's event filter,
// fetches the event definitions and the model, and files and announces
// every event it keeps until SIGTERM (exit 100) or a stream failure (exit
// with the failure's code). With -D it runs interactively and prints its
// trace. The supervising process joins in a later build.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "alerts.h"
#include "collection.h"
#include "event_file.h"
#include "event_names.h"
#include "event_process.h"
#include "event_stream.h"
#include "evtmon_state.h"
#include "hw_arch.h"
#include "qd_path.h"
#include "qd_version.h"
#include "signals.h"
#include "time_scale.h"

namespace {

constexpr int kExitStopped = 100;

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
  if (!SafePathWord(st.sysid) || !SafePathWord(st.vqx_level) || st.ipaddr.empty() ||
      st.ipaddr.size() > 23) {
    std::fprintf(stderr, "Invalid sysid, IPaddr or vqx_level\n");
    return 1;
  }
  st.key_last_evt_time = "SPEVT_Last.Evt.Time_" + st.sysid;
  st.key_last_node_seq = "SPEVT_Last.Node.Seq_" + st.sysid;
  return 0;
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
  return 0;
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
  std::string check = CheckNameTables();
  if (!check.empty()) {
    Logme(st, check);
    return -1;
  }
  int sock = connect_as_client(st);
  if (sock < 0) {
    LogSpe(st, 8, 'A', sock);
    StreamFailureText f = DescribeFailure(true, sock, st.ipaddr);
    ProcessNotify(kEvtmonProcess, 'H', f.abstract, f.text.c_str());
    return -3;
  }
  int rc = get_event_files(st);
  if (rc != 0 && rc != 100) {
    ProcessNotify(kEvtmonProcess, 'H', "evtmon get_event_files failed to get event attributes.",
                  ("The evtmon child process can not start properly. The get event attributes "
                   "function get_event_files(), failed to retrieve event types, descriptions, and "
                   "components. evtmon can not run without them. They are the definition of the "
                   "events. The return code = " + std::to_string(rc)).c_str());
  }
  init_desc_strings(QdPath(DefinitionDir(st)), st.defs);
  ReadLastEvent(st);
  Logme(st, "last event time before calling get_past_events = " + std::to_string(st.last_event_time));
  rc = get_model(st);
  if (rc != 0) Logme(st, "In run_process, get_model failed, rc = " + std::to_string(rc));

  EventParser parser;
  parser.comps = &st.defs.comps;
  parser.callback = [&st](evtmon_t& e, const std::string& raw) { process_event(st, e, raw); };
  int result = 0;
  if (!st.stop) {
    result = get_events(st, sock, parser);
    FlushEvents(st);
    CollectorTick(st, true);  // requests still waiting for a collection go now
    if (result != 0) {
      Logme(st, "In run_process, get_events failed, rc = " + std::to_string(result));
      StreamFailureText f = DescribeFailure(false, result, st.ipaddr);
      ProcessNotify(kEvtmonProcess, 'H', f.abstract, f.text.c_str());
    }
  }
  close(sock);
  Logme(st, "In run_process, EXITING child process");
  return st.stop ? kExitStopped : result;
}

}  // namespace

int main(int argc, char** argv) {
  EvtmonState st;
  if (ParseArgs(argc, argv, st) != 0) return 1;
  sigset_t set;
  if (!SetupSignals(&set, true, SIGTERM, SIGINT, SIGHUP, -1)) {
    Log2cerr("Failed to set up signals", kEvtmonModule, st.daemon);
    return 1;
  }
  umask(002);
  if (GetInitialized(st) != 0) return 1;
  // A short pause lets the array settle after a restart of the collector.
  (void)QdSleep(15);
  if (CheckForSignal(SIGTERM, true)) st.stop = true;
  int rc = st.stop ? kExitStopped : RunWorker(st);
  LogSpe(st, 5, 'A');
  return rc;
}
