// The work-message cycle of the queue daemons.
#include "daemon_loop.h"

#include <csignal>
#include <cstring>
#include <string>

#include "alerts.h"
#include "daemon_db.h"
#include "daemon_log.h"
#include "hex_id.h"
#include "signals.h"
#include "time_scale.h"

namespace {

// Errors in a row that stop the daemon once exceeded.
constexpr int kMaxErrorsInRow = 2;
// Pause before a new connection attempt, in (scaled) seconds.
constexpr double kReconnectPause = 20;

enum class EndOp { kDelete, kReject };

// Deletes or rejects the current message. 0 done, -1 refused by the service.
int EndMsg(DaemonState& st, EndOp op) {
  int32_t id = st.envelope.nMessageID;
  bool del = op == EndOp::kDelete;
  int rc = del ? st.wm->Delete(st.process_id, id) : st.wm->Reject(st.process_id, id);
  if (rc != 0) {
    DaemonLogOwn(st, "0010", '2', HexId(id), del ? "Delete" : "Reject", rc,
                 st.wm->szErrorMsg);
    return -1;
  }
  DaemonLogOwn(st, "0011", del ? '0' : '1', HexId(id), del ? "Deleted" : "Rejected");
  return 0;
}

// Runs the processing step on the received message and ends the message
// by its result.
int ProcessReceived(DaemonState& st, bool retrycycle) {
  st.txn_stored = false;
  st.txn_objid[0] = '\0';
  int result = st.config->process ? st.config->process(st, retrycycle) : kStepRefuse;
  if (st.txn_stored) {
    DaemonStatusFn update = st.config->update_status ? st.config->update_status
                                                     : DaemonUpdateTxnStatus;
    update(st, result);
  }
  switch (result) {
    case kStepDone: return EndMsg(st, EndOp::kDelete);
    case kStepRetry: return RetryMsg(st, retrycycle);
    case kStepDbFailure: st.reconnect = true; return RetryMsg(st, retrycycle);
    case kStepRefuse: return EndMsg(st, EndOp::kReject);
    default:
      DaemonLogOwn(st, "0004", st.config->urgency_0004, HexId(st.envelope.nMessageID),
                   result);
      return -1;
  }
}

// Checks the stop conditions at the head of a pass. Returns true with
// `result` set when the loop must end.
bool StopDue(DaemonState& st, int& result) {
  bool interrupted = DaemonSignalArrived(st, SIGINT, true);
  if (DaemonSignalArrived(st, SIGTERM, true)) interrupted = true;
  if (interrupted) {
    DaemonStderr(st, "Stopping due to operator request.");
    DaemonLog(st, "QDZ0004", 'A');
    result = kExitStopped;
    return true;
  }
  if (st.stop_requested) {
    DaemonStderr(st, "Stopping due to STOP transaction.");
    DaemonLog(st, "QDZ0005", 'A');
    result = kExitStopped;
    return true;
  }
  if (st.errors_in_row > kMaxErrorsInRow) {
    DaemonStderr(st, "Stopping due to excessive errors.");
    DaemonLogOwn(st, "0060", 'A', kMaxErrorsInRow + 1);
    std::string abstract = st.module_name + " recycling due to excessive errors";
    std::string text = "Errors encountered in " + std::to_string(kMaxErrorsInRow + 1) +
                       " successive cycles.";
    BackDoorNotify(st.module_name.c_str(), 'H', abstract.c_str(), text.c_str(), '0');
    result = kExitRecycle;
    return true;
  }
  if (time(nullptr) - st.last_activity > st.max_inactivity) {
    DaemonStderr(st, st.config->inactivity_text);
    DaemonLogOwn(st, "0061", 'A', st.max_inactivity / 60);
    result = kExitRecycle;
    return true;
  }
  return false;
}

}  // namespace

bool DaemonSignalArrived(const DaemonState& st, int signal, bool reset) {
  bool k = st.config && st.config->watch_usr1;
  return k ? KCheckForSignal(signal, reset) : CheckForSignal(signal, reset);
}

void EndRetryCycle(DaemonState& st, const char* digits) {
  st.time_to_retry = time(nullptr) + st.retry_interval;
  st.announce_retry_cycle = true;
  DaemonLogOwn(st, digits, 'A');
}

int RetryMsg(DaemonState& st, bool retrycycle) {
  const Message_Queue_& env = st.envelope;
  // The service stamps nTimeRetry at each retry; 0 means never retried yet.
  long age = env.nTimeRetry > 0 ? static_cast<long>(env.nTimeRetry) - env.nTimePosted : 0;
  if (age > st.retry_limit) {
    DaemonLogOwn(st, "0012", 'A', HexId(env.nMessageID), age / 60);
    return EndMsg(st, EndOp::kReject);
  }
  int rc = st.wm->Retry(st.process_id, env.nMessageID, false, 0);
  if (rc != 0) {
    DaemonLogOwn(st, "0010", '2', HexId(env.nMessageID), "Retry", rc, st.wm->szErrorMsg);
    return -1;
  }
  DaemonLogOwn(st, "0011", '1', HexId(env.nMessageID), "Retry queued for");
  if (retrycycle) EndRetryCycle(st, "0008");
  return 0;
}

int ReceiveMsg(DaemonState& st, bool retrycycle) {
  if (retrycycle && st.announce_retry_cycle) {
    DaemonLogOwn(st, "0001", 'A');
    st.announce_retry_cycle = false;
  }
  std::memset(&st.envelope, 0, sizeof st.envelope);
  std::memset(st.buffer, 0, sizeof st.buffer);
  st.envelope.pDepData = st.buffer;
  st.envelope.nDepDataLength = kDaemonBufferSize;
  int rc = st.wm->Receive(st.process_id, st.receive_wait, &st.envelope, retrycycle, nullptr);
  switch (rc) {
    case WM_OK:
      st.last_activity = time(nullptr);
      return ProcessReceived(st, retrycycle);
    case WM_NOTHING:
      return 0;
    case WM_RETRY_CYCLE_DONE:
      EndRetryCycle(st, "0002");
      return 0;
    case WM_REFUSED:
      st.last_activity = time(nullptr);
      DaemonLogOwn(st, "0006", 'A', HexId(st.envelope.nMessageID),
                   st.envelope.nDepDataLength);
      return EndMsg(st, EndOp::kReject);
    case WM_IMPOSSIBLE:
      DaemonLogOwn(st, "0005", st.config->urgency_0005);
      return -1;
    default:
      st.last_activity = time(nullptr);
      DaemonLogOwn(st, "0007", 'A', HexId(st.envelope.nMessageID), rc, st.wm->szErrorMsg);
      // The database went away (a restart, say): this pass drops the
      // daemon's own connection too, and the next one makes a new one after
      // the reconnect pause, which a restart of some seconds outlasts. A
      // database that stays away fails the reconnections in a row instead,
      // and the daemon stops after three passes as ever.
      if (rc == WM_UNREACHABLE) st.reconnect = true;
      return 1;
  }
}

int DaemonWorkLoop(DaemonState& st) {
  int result = 0;
  time_t start = time(nullptr);
  st.last_activity = start;
  st.time_to_retry = start;
  st.announce_retry_cycle = true;
  st.errors_in_row = 0;
  while (!StopDue(st, result)) {
    st.error_this_pass = false;
    st.reconnect = false;
    // Reset on reading: one SIGHUP is one re-initialisation.
    if (DaemonSignalArrived(st, SIGHUP, true) && ReInitialize(st) != 0) {
      result = kExitStartFailed;
      break;
    }
    if (st.connected) {
      st.retry_cycle = !st.no_retry_cycles && time(nullptr) > st.time_to_retry;
      result = ReceiveMsg(st, st.retry_cycle);
      if (result > 0 || st.reconnect) st.error_this_pass = true;
      if (result < 0) break;
    } else {
      QdSleep(kReconnectPause);
      if (!get_connected(st, st.db_target.c_str(), st.db_id.c_str(), st.db_password.c_str())) {
        st.error_this_pass = true;
      }
    }
    st.errors_in_row = st.error_this_pass ? st.errors_in_row + 1 : 0;
    if (st.connected && st.reconnect) DaemonDisconnect(st);
  }
  if (st.connected) DaemonDisconnect(st);
  if (st.config->release) st.config->release(st);
  DaemonLog(st, "QDZ0003", 'A');
  Cleanup(st, 0);
  return result;
}
