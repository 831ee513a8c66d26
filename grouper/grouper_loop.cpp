#include "grouper_loop.h"

#include <csignal>
#include <string>

#include "alerts.h"
#include "daemon_db.h"
#include "daemon_log.h"
#include "daemon_loop.h"
#include "group_pass.h"
#include "grouper_sql.h"
#include "grouper_state.h"
#include "time_scale.h"

namespace {

constexpr char kExcessive[] = "Stopping due to excessive errors.";

long SleepInterval(const DaemonState& st) {
  const GrouperState* g = static_cast<const GrouperState*>(st.app);
  return g ? g->sleep_interval : kGrouperSleepDefault;
}

// Stops after too many passes in a row with an error. True with `result`.
bool TooManyErrors(DaemonState& st, int& result) {
  if (st.errors_in_row <= kGrouperMaxErrorsInRow) return false;
  DaemonStderr(st, kExcessive);
  DaemonLog(st, "QDZ9999", '2', std::string(kExcessive));
  std::string abstract = st.module_name + " recycling due to excessive errors";
  std::string text = "Errors encountered in " + std::to_string(st.errors_in_row) +
                     " successive cycles.";
  (void)BackDoorNotify(st.module_name.c_str(), 'H', abstract.c_str(), text.c_str(), '0');
  result = kExitRecycle;
  return true;
}

// One pass: the grouping, or a connection attempt.
void Pass(DaemonState& st) {
  st.error_this_pass = false;
  st.reconnect = false;
  if (st.connected) {
    if (LookForWork(st) != 0) st.error_this_pass = true;
  } else if (!get_connected(st, st.db_target.c_str(), st.db_id.c_str(),
                            st.db_password.c_str())) {
    st.error_this_pass = true;
  }
  st.errors_in_row = st.error_this_pass ? st.errors_in_row + 1 : 0;
  if (st.connected && st.reconnect) {
    DaemonDisconnect(st);
  } else if (st.connected) {
    (void)GrpSqlRollbackDefault();
  }
}

// The signals checked before every step of the sleep. Returns 0 to go on,
// else the exit code.
int CheckSignals(DaemonState& st) {
  bool interrupted = DaemonSignalArrived(st, SIGINT, true);
  if (DaemonSignalArrived(st, SIGTERM, true)) interrupted = true;
  if (interrupted) {
    DaemonStderr(st, "Stopping due to operator request.");
    DaemonLog(st, "QDZ0004", 'A');
    return kExitStopped;
  }
  if (DaemonSignalArrived(st, SIGHUP, true) && ReInitialize(st) != 0) return kExitStartFailed;
  return 0;
}

// Sleeps the interval. Returns 0 to go on, else the exit code. A signal
// cuts a step short; it is seen before the next step, or right after the
// last one, never only after another pass.
int Sleep(DaemonState& st) {
  for (long left = SleepInterval(st); left > 0; left -= kGrouperSleepStep) {
    if (int rc = CheckSignals(st)) return rc;
    (void)QdSleep(static_cast<double>(left < kGrouperSleepStep ? left : kGrouperSleepStep));
  }
  return CheckSignals(st);
}

}  // namespace

int GrouperLoop(DaemonState& st) {
  int result = 0;
  st.errors_in_row = 0;
  while (!TooManyErrors(st, result)) {
    Pass(st);
    result = Sleep(st);
    if (result != 0) break;
  }
  if (st.connected) DaemonDisconnect(st);
  DaemonLog(st, "QDZ0003", 'A');
  Cleanup(st, 0);
  return result;
}
