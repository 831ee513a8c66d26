#pragma once
// The collector worker's process-wide state: one struct, owned by main and
// passed to every module, so a test can build a fresh one.
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <sys/types.h>
#include <unordered_set>
#include <vector>

#include "event_defs.h"
#include "evt_record.h"
#include "filter_state.h"
#include "gdda.h"
#include "log_message.h"
#include "prefilter.h"
#include "work_messages.h"

// Program and module names in logs and operator texts.
constexpr const char* kEvtmonProcess = "EVTMON";
constexpr const char* kEvtmonModule = "evtmon";
constexpr const char* kFilterModule = "spfilter";
constexpr const char* kEvtmonWmName = "SPEC";
// Default TCP port of the array's event filter.
constexpr int kEmFilterPort = 5781;

// A kept event whose file text is built, waiting for the batch that files
// it and sends its analysis request.
struct PendingEvent {
  std::string name;      // file name in the array's event directory
  std::string text;      // file content
  std::string seq;       // file sequence
  time_t filetime = 0;   // file time
  long event_time = 0;   // the event's own time, 0 when it had none
  std::string node_seq;  // "<node>-<seq>"
  std::shared_ptr<const evtmon_t> evt;  // the record, for the filter rules
};

struct EvtmonState {
  // Command line.
  std::string sysid;
  std::string ipaddr;
  std::string vqx_level;
  bool daemon = true;
  // Dictionary keys, each a prefix and the system id.
  std::string key_last_evt_time;
  std::string key_last_node_seq;
  std::string key_init_evt;      // "INIT_EVT_": present once the array was attached
  std::string key_last_notify;   // "SP_Last.Notify.Time_": last failure notification
  // Supervision.
  double max_secs = 60;          // watchdog limit (3600 when interactive)
  pid_t object_owner = 0;        // the process that owns the service objects
  // Services (null when not made; a test may leave them null).
  std::unique_ptr<CWorkMessages> wm;
  std::unique_ptr<CLogMessage> log;
  std::unique_ptr<CGDDA> gdda;
  int system_level = GDDA_PROD;
  std::string sp_id;
  char hw_arch = '?';
  int own_uid = 0;      // work-message id of "SPEC"
  char log_char = 'E';  // its log character
  // Array facts.
  std::string model = "Unknown";
  EventDefs defs;
  // Worker state.
  int heartbeat_fd = -1;  // write end of the supervisor's pipe, -1 when none
  bool stop = false;
  int max_update_time = 8400;  // longest expected software update, by model
  long last_event_time = 0;
  std::string curr_node_seq;
  std::string last_node_seq;
  // What the dictionary holds, so an unchanged value is not written again.
  long stored_event_time = 0;
  std::string stored_node_seq;
  // Kept events of the blocks read so far, filed together (FlushEvents).
  std::vector<PendingEvent> pending;
  int diagcnt = 0;        // diagnostic files written after stream errors
  int seqno = 0;          // last diagnostic file number used
  int anal_id = 0;        // work-message id of "QDAN", 0 until known
  std::string urgency = "N";
  PrefilterTable prefilter;
  bool prefilter_read = false;
  // Catch-up of the events raised while no worker listened.
  bool past_events = false;      // set while the catch-up file is fed
  bool last_seq_found = false;   // the last processed event was met or passed
  long skip_until_time = 0;      // stored time of the last processed event
  long last_past_event_time = 0; // newest event time met in the catch-up
  std::string last_past_node_seq;
  long past_event_counter = 0;
  // Node-sequences processed by the catch-up: the live stream, subscribed
  // before the fetch, delivers some of them again.
  std::unordered_set<std::string> past_seen;
  // Failure notification.
  int notifycnt = 1;
  FilterState filter;  // filter rules, collections, dump fetches, update log
  // Counters for the operator and the tests.
  long events_seen = 0;
  long events_filed = 0;
  long requests_sent = 0;
};

// Logs message "SPE<num>" with `urgency` and the system id as first insert.
// A failed log call goes to standard error as "Error attempting to issue
// message <id>" and the logger's text.
template <class... Args>
void LogSpe(EvtmonState& st, int num, char urgency, const Args&... args) {
  char id[16];
  std::snprintf(id, sizeof id, "SPE%04d", num);
  if (!st.log) return;
  if (!st.log->Insert(id, urgency, st.sysid, args...)) {
    Log2cerr(std::string("Error attempting to issue message ") + id + " " + st.log->szErrorMsg,
             kEvtmonModule, st.daemon);
  }
}

// Free text as message SPE9999 (urgency 'A' unless given); printed too when
// interactive.
void Logme(EvtmonState& st, const std::string& text, char urgency = 'A');

// Writes the current time as a 4-byte heartbeat to the supervisor's pipe
// (nothing when there is none).
void WriteHeartbeat(EvtmonState& st);
