#pragma once
// The queue-daemon framework shared by qdAnalyze, qdNotify and qdGrpNot.
//
// A daemon is described by one DaemonConfig (its names, options, extra
// start-up work, processing step, database connections and the few ways
// the daemons differ) and runs with one DaemonState, owned by its main:
//
//   int main(int argc, char** argv) {
//     DaemonConfig config = MyConfig();
//     DaemonState state;
//     state.app = &my_own_state;
//     return DaemonMain(config, state, argc, argv);
//   }
//
// DaemonMain does the start-up (service user, signals, restartable daemon,
// options, service objects, dictionary, registration, summary, database),
// runs the work loop (daemon_loop.h) and ends the process's work with its
// result. Library functions take the state they need, so a test can build
// a fresh one.

#include <csignal>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "gdda.h"
#include "log_message.h"
#include "work_messages.h"

struct DaemonState;

// Results of a processing step (the daemon's own work on one message).
enum DaemonStepResult : int {
  kStepDone = 0,      // delete the message, status "Done"
  kStepRetry = 1,     // keep it for a retry cycle, status "Retry"
  kStepDbFailure = 2, // drop the database connection, keep the message for retry
  kStepRefuse = -1,   // reject the message, status "Reject"
};

// Exit codes of a daemon process.
enum DaemonExit : int {
  kExitLauncher = 0,        // the launching process after RestartableDaemon
  kExitStartFailed = 1,     // start-up or re-initialisation failed
  kExitRecycle = 3,         // stopped after errors in a row or inactivity: start afresh
  kExitStopped = 100,       // operator stop or stop transaction: stay down
};

// Size of the receive buffer offered to the work-message service.
constexpr int kDaemonBufferSize = 8192;
// Size of the object id kept for the logged transaction record.
constexpr size_t kDaemonObjidSize = 40;

// An option the framework does not know: 0 taken, non-zero refused (the
// framework then writes "Unknown/invalid option" and start-up fails).
using DaemonOptionFn = int (*)(DaemonState& st, int option, const char* arg);
// Extra configuration read while the dictionary is open: 0 complete, 1 a
// required setting is missing (already logged), -1 a service failed.
using DaemonDictFn = int (*)(DaemonState& st, CGDDA& dict);
// Work with no result of its own (hooks of start-up and clean-up).
using DaemonHookFn = void (*)(DaemonState& st);
// Adds to or rewrites the start-up summary lines (logged as QDZ0002).
using DaemonSummaryFn = void (*)(DaemonState& st, std::vector<std::string>& lines);
// The processing step for the message in st.envelope / st.buffer; returns
// a DaemonStepResult (any other value is a fault that stops the daemon).
using DaemonProcessFn = int (*)(DaemonState& st, bool retrycycle);
// Writes the final status of the logged record for processing result
// `result` (DaemonUpdateTxnStatus is the default).
using DaemonStatusFn = void (*)(DaemonState& st, int result);
// The loop run after a successful start-up (DaemonWorkLoop by default);
// returns the process's exit code.
using DaemonLoopFn = int (*)(DaemonState& st);

struct DaemonConfig {
  const char* module_name = "";   // program name: standard error, dump directory, alerts
  const char* process_name = "";  // default of -p, the logger's process name
  const char* message_name = "";  // default of -m; null or "": takes no work messages
  const char* option_string = ""; // getopt string; the framework handles d o i m p t r l C
  DaemonOptionFn extra_option = nullptr;
  DaemonDictFn read_dictionary = nullptr;  // called at the end of Initialize
  DaemonHookFn after_initialize = nullptr; // once after the first Initialize succeeded
  DaemonHookFn release = nullptr;          // drops cached tables (re-initialisation, stop)
  DaemonHookFn cleanup = nullptr;          // before the service objects are deleted
  DaemonHookFn before_connect = nullptr;   // before each attempt to connect (statement trace)
  DaemonSummaryFn summary = nullptr;
  DaemonProcessFn process = nullptr;
  DaemonStatusFn update_status = nullptr;
  DaemonLoopFn loop = nullptr;
  // Named connections opened, in this order, before the default one.
  std::vector<const char*> connections;
  // The default connection in autocommit (DaemonSqlAutocommit): the
  // program opens its transactions itself (DaemonSqlBegin).
  bool autocommit = false;
  bool reads_running_on_sp = true;  // dictionary key RUNNINGONSP
  bool watch_usr1 = false;          // SIGUSR1 watched too; KCheckForSignal instead of CheckForSignal
  char urgency_0004 = 'A';          // urgency of the daemon's messages 0004 and 0005
  char urgency_0005 = 'A';
  const char* inactivity_text = "Stopping due to excessive inactivity";
  // Processes whose ids start-up resolves (grouper: "QDNOT", "QDDB"); the
  // ids land in DaemonState::resolved in the same order.
  std::vector<const char*> resolve_processes;
};

// Process-wide state of one daemon.
struct DaemonState {
  const DaemonConfig* config = nullptr;

  // Names and registration.
  std::string module_name;
  std::string process_name;
  std::string message_name;
  long process_id = 0;
  long message_number = 0;
  char message_prefix[4] = "QD?";  // '?' becomes the process's log character
  std::vector<long> resolved;      // ids of config->resolve_processes

  // Database.
  std::string db_target;
  std::string db_id;
  std::string db_password = "qdp";  // passed along, never used to connect
  bool target_from_option = false;
  bool id_from_option = false;
  bool connected = false;

  // Configuration.
  bool daemon = false;
  bool on_sp = false;
  int system_level = 0;
  char level_name[kGddaLevelTextSize] = {0};
  char hw_arch = 0;
  long max_inactivity = 21600;
  long retry_interval = 900;
  long retry_limit = 43200;
  long receive_wait = 2;
  bool no_retry_cycles = false;

  // Service objects: logger and message service from Initialize to
  // Cleanup, the dictionary only inside Initialize.
  std::unique_ptr<CLogMessage> log;
  std::unique_ptr<CWorkMessages> wm;
  std::unique_ptr<CGDDA> dict;

  // Loop state.
  bool error_this_pass = false;
  bool reconnect = false;
  int errors_in_row = 0;
  time_t last_activity = 0;
  time_t time_to_retry = 0;
  bool announce_retry_cycle = true;
  bool retry_cycle = false;  // the current pass is a retry cycle
  bool txn_stored = false;
  char txn_objid[kDaemonObjidSize] = {0};
  bool stop_requested = false;
  Message_Queue_ envelope{};
  char buffer[kDaemonBufferSize] = {0};

  // The daemon's own state (the analyzer's current file and the like).
  void* app = nullptr;
};

// Reads the options of `argv` into `st` as `config` allows. Returns 0, or
// the number of unknown or invalid options; each of those writes
// "Unknown/invalid option '%c'" to standard error. Values of -t, -r and -l
// that are not above 0 become 1. Creates no service object.
[[nodiscard]] int DaemonParseOptions(const DaemonConfig& config, DaemonState& st, int argc,
                                     char** argv);

// Creates the logger, the message service and the dictionary, reads the
// configuration and registers the daemon for its message. Every problem
// is logged and all of them are reported in the one call. Returns 0 when
// ready, 1 when the configuration is incomplete, -1 when a service object
// cannot be made. On a non-zero result the objects made so far stay in
// `st` (the caller deletes them); the dictionary is deleted on success.
[[nodiscard]] int Initialize(DaemonState& st);

// Options, Initialize, the daemon's after_initialize hook, the start-up
// summary (QDZ0001, then QDZ0002 per line) and the first database
// connection. Returns 0 when the daemon may run (connected or not); -1
// when the options or Initialize failed, the service objects then deleted.
[[nodiscard]] int get_initialized(DaemonState& st, int argc, char** argv);

// Re-initialisation on SIGHUP: logs QDZ0006 "starting", Cleanup(0), the
// daemon's release hook, Initialize; then QDZ0006 "succeeded" and 0. On
// failure deletes the service objects, writes "Reinitialization failed" to
// standard error and returns -1. The database connection is kept.
[[nodiscard]] int ReInitialize(DaemonState& st);

// Ends the registration of the daemon's inputs and deletes the logger,
// the dictionary and the message service (in that order, each shielded
// against exceptions). A non-zero `signal` first writes "PID %ld received
// signal %d" to standard error. Safe to call twice.
void Cleanup(DaemonState& st, int signal);

// Handler of the fatal signals: restores the signal's default action,
// cleans up the daemon registered by DaemonMain and raises the signal
// again, so the process ends by it.
void TrapAbend(int signal);

// The whole life of a daemon process (see the head of this file). Returns
// the process's exit code: 100 after a stop, 1 after a failed start, 0 in
// the launching process, -1 when the restartable daemon could not be made,
// else the work loop's result.
[[nodiscard]] int DaemonMain(const DaemonConfig& config, DaemonState& st, int argc, char** argv);
