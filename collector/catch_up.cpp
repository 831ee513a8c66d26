#include "catch_up.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

#include "collection.h"
#include "event_file.h"
#include "event_process.h"
#include "event_stream.h"
#include "local_time.h"
#include "qd_path.h"
#include "signals.h"

namespace {

// Reads the dictionary value `key` into `out`; a missing value is logged
// (SPE0015) and leaves `out` as it was.
template <class T>
void ReadStored(EvtmonState& st, const std::string& key, T& out) {
  if (!st.gdda || st.gdda->GetValue(key.c_str(), out, st.system_level)) return;
  LogSpe(st, 15, 'A', key);
  Logme(st, "Get GDDA Value for " + key + " failed rc = -1, msg= " + st.gdda->szErrorMsg + " ");
}

// One pass over the catch-up file. 0, or -1 when it cannot be opened.
int FeedFile(EvtmonState& st, EventParser& parser, const std::string& sys_path) {
  const std::string path = QdPath(sys_path);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    LogSpe(st, 61, 'A', sys_path, std::strerror(errno));
    return -1;
  }
  init_buf(parser);
  std::vector<char> block(kCatchUpBlock + 1);
  std::string err;
  while (!st.stop) {
    ssize_t got = read(fd, block.data(), kCatchUpBlock);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      Logme(st, "In get_past_events, read file failed, returned " + std::to_string(got) +
                    ", errno = " + std::strerror(errno));
      break;
    }
    if (got == 0) break;
    Logme(st, "Read " + std::to_string(got) + " bytes from past_events");
    block[got] = '\0';
    process_buf(parser, block.data(), static_cast<long>(got), err);
    if (!err.empty()) {
      LogSpe(st, 60, 'A', err.substr(0, 100));
      if (st.diagcnt <= 9) {
        (void)processDiagFile(st, "EVTMON process has detected an error processing the XML buffer:\n\t" + err +
                                      "\n\nThe following is the buffer contents received from the cluster:\n\n",
                              block.data(), static_cast<long>(got));
        ++st.diagcnt;
      }
    }
    if (st.pending.size() >= kBatchEvents) FlushEvents(st);
    if (CheckForSignal(SIGTERM, true)) st.stop = true;
  }
  LogSpe(st, 19, 'A', st.past_event_counter);
  if (close(fd) != 0) LogSpe(st, 2, 'A', "close", "past_events_file", "read", -1);
  return 0;
}

// Stores where the worker stands after the catch-up: every event of the
// file is filed or skipped by now, so its newest time may be recorded even
// when that event itself was dropped by the prefilter.
void StoreCaughtUp(EvtmonState& st) {
  if (st.last_past_event_time <= st.last_event_time) return;
  st.last_event_time = st.last_past_event_time;
  StoreLastEvent(st, st.last_past_node_seq);
}

}  // namespace

std::string PastEventsFile(const EvtmonState& st) {
  return std::string(kFileBase) + "/" + st.sysid + "/past_events";
}

bool SkipProcessedEvent(EvtmonState& st, long event_time) {
  const std::string& seq = st.curr_node_seq;
  if (!st.past_events) return st.past_seen.count(seq) > 0;
  if (event_time >= st.last_past_event_time) {
    st.last_past_event_time = event_time;
    st.last_past_node_seq = seq;
  }
  ++st.past_event_counter;
  if (st.last_node_seq.empty()) st.last_seq_found = true;
  if (!st.last_seq_found) {
    if (seq == st.last_node_seq) {
      Logme(st, "In process_event(), found last processed event, Last node seq = " + st.last_node_seq);
      st.last_seq_found = true;
      return true;
    }
    if (event_time <= st.skip_until_time) return true;
    // Later than anything processed before: this one is new, and is kept.
    Logme(st, "In process_event(), current event time " + std::to_string(event_time) +
                  " is greater than last processed event time " + std::to_string(st.skip_until_time));
    st.last_seq_found = true;
  }
  return !st.past_seen.insert(seq).second;
}

int get_past_events(EvtmonState& st, EventParser& parser) {
  init_buf(parser);
  st.past_event_counter = 0;
  st.last_seq_found = false;
  long last = 0;
  ReadStored(st, st.key_last_evt_time, last);
  LogSpe(st, 17, 'A', last);
  st.last_node_seq.clear();
  ReadStored(st, st.key_last_node_seq, st.last_node_seq);
  const long now = static_cast<long>(time(nullptr));
  if (last == 0) {
    std::string init;
    const bool known = st.gdda && st.gdda->GetValue(st.key_init_evt.c_str(), init, st.system_level);
    Logme(st, "Get GDDA call for " + st.key_init_evt + ", rc = " + (known ? "0" : "-1") +
                  ", msg= " + (known || !st.gdda ? "" : st.gdda->szErrorMsg));
    if (!known) {
      Logme(st, "Velmar attached to SP for the first time. Skipping past events collection.");
      if (st.gdda && !st.gdda->SetValue(st.key_init_evt.c_str(), 0L, st.system_level)) {
        LogSpe(st, 14, 'A', -1);
        Logme(st, "Set GDDA Value for " + st.key_init_evt + " failed rc = -1, msg= " + st.gdda->szErrorMsg + " ");
      }
      return CATCHUP_OK;
    }
    last = now - kReattachWindow;
    Logme(st, "Velmar re-attached to SP. Last event time set to  " + std::to_string(last));
  }
  st.skip_until_time = last;
  st.last_past_event_time = last;  // an empty catch-up keeps the stored time
  long from = last - 2;
  if (now - from > kCatchUpWindow) {
    from = now - kCatchUpWindow;
    st.last_seq_found = true;
  }
  Logme(st, "Last event time changed to  " + std::to_string(from));
  Logme(st, "In get_past_events(): looking for past events from " +
                LocalTimeText(static_cast<time_t>(from), "%Y/%m/%d %H:%M:%S"));

  const std::string file = PastEventsFile(st);
  unlink(QdPath(file).c_str());  // an earlier fetch's file is not this one's
  const std::string cmdline = "cli_get_past_events " + st.sysid + " " + st.ipaddr + " " + st.vqx_level +
                              " " + std::to_string(from);
  Logme(st, "Call spcollect cmd = " + cmdline);
  int rc = RunCollection(st, cmdline, "get_past_events");
  Logme(st, "In get_past_events, after Waitpid last_seq_found = " + std::to_string(st.last_seq_found ? 1 : 0));
  if (rc == -2) return CATCHUP_TIMED_OUT;
  if (rc < 0) {
    LogSpe(st, 62, 'A', rc);
    return CATCHUP_FAILED;
  }
  LogSpe(st, 18, 'A', rc);
  if (rc != 0) return rc;

  st.past_events = true;
  int fed = FeedFile(st, parser, file);
  if (fed == 0 && !st.last_seq_found && !st.stop) {
    // Neither the last processed event nor a later one was in the file.
    st.last_seq_found = true;
    fed = FeedFile(st, parser, file);
  }
  st.past_events = false;
  FlushEvents(st);
  if (fed != 0) return CATCHUP_FAILED;
  StoreCaughtUp(st);
  Logme(st, "Past events processed = " + std::to_string(st.past_event_counter));

  if (st.diagcnt > 0 && !st.stop) {
    const std::string renamed = file + "." + st.curr_node_seq;
    if (rename(QdPath(file).c_str(), QdPath(renamed).c_str()) != 0) {
      LogSpe(st, 2, 'A', "rename", file, "pastevts", -1);
      return CATCHUP_OK;
    }
    int sent = callWorkMsg(st, "pastevts", renamed, time(nullptr), st.curr_node_seq);
    if (sent != 0 && sent != -4) {
      st.urgency = "H";
      Logme(st, std::string("Process name '") + kEvtmonProcess + "', Sysid " + st.sysid + ", " + st.urgency +
                    " Urgency \nIn get_past_events(), Call to WorkMessage failed  rc= " + std::to_string(sent),
            '2');
      return CATCHUP_FAILED;
    }
  }
  return CATCHUP_OK;
}
