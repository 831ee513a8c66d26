#include "supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "child_process.h"
#include "failure_notify.h"
#include "process_table.h"
#include "signals.h"
#include "time_scale.h"

namespace {

constexpr double kWatchStep = 2;      // seconds between looks at the pipe
constexpr double kKillPatience = 5;   // seconds per signal in KillMyChildren
constexpr double kInteractiveEnd = 5; // seconds the -D worker waits for its watcher

const char* const kTimedOutText =
    "The evtmon child process has been killed because communication between the SP and the Velmar has "
    "timed out. One minute has passed while the SP is waiting for a response. ";

enum WatchEnd { kWorkerEnded, kWorkerSilent, kStopRequested, kWatchFailed };

// Reads what the pipe holds. 1 data, 0 nothing, -1 end of file.
int Drain(int fd) {
  char buf[512];
  int got_data = 0;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      got_data = 1;
      continue;
    }
    if (n == 0) return got_data ? 1 : -1;
    if (errno == EINTR) continue;
    return got_data;  // EAGAIN: drained
  }
}

// The watch loop. `child` is the worker when it is our child, else -1 (the
// worker is the parent and only the pipe tells of it). `status` gets the
// worker's wait status when it ended.
WatchEnd Watch(EvtmonState& st, int fd, pid_t child, int& status) {
  Watchdog dog;
  dog.Start(MonotonicSeconds(), QdScaledSeconds(kStartGrace), QdScaledSeconds(st.max_secs));
  bool eof = false;
  for (;;) {
    if (CheckForSignal(SIGTERM, true)) st.stop = true;
    if (st.stop) return kStopRequested;
    if (!eof) {
      pollfd pfd{fd, POLLIN, 0};
      int n = poll(&pfd, 1, static_cast<int>(QdScaledMillis(kWatchStep)));
      if (n > 0) {
        int got = Drain(fd);
        if (got > 0) dog.Beat(MonotonicSeconds());
        if (got < 0) eof = true;
      }
    } else {
      (void)QdSleep(kWatchStep / 4);
    }
    if (child < 0) {
      if (eof) return kWorkerEnded;
    } else {
      pid_t done = waitpid(child, &status, WNOHANG);
      if (done == child) return kWorkerEnded;
      if (done < 0 && errno != EINTR) {
        Logme(st, std::string("In run_process parent, Waitpid error = ") + std::strerror(errno) + " ");
        return kWatchFailed;
      }
    }
    if (dog.Expired(MonotonicSeconds())) return kWorkerSilent;
  }
}

// Replaces the service objects a forked process inherited: they hold the
// parent's database session and must neither be used nor closed here. The
// worker makes its own work-message object when it needs one.
int TakeOwnObjects(EvtmonState& st) {
  (void)st.wm.release();
  (void)st.log.release();
  st.object_owner = getpid();
  st.log = std::make_unique<CLogMessage>(kEvtmonWmName, nullptr, !st.daemon);
  if (st.log->CreateError != 0) {
    Log2cerr(std::string("Error creating child CLogMessage, msg=") + st.log->szErrorMsg, kEvtmonModule,
             st.daemon);
    return -1;
  }
  return 0;
}

// The worker's end as the supervisor reports it.
int WorkerEnd(EvtmonState& st, int status) {
  int result;
  if (WIFEXITED(status)) {
    result = static_cast<signed char>(WEXITSTATUS(status));
    Logme(st, "In run_process, child returned with rc = " + std::to_string(result));
  } else if (WIFSIGNALED(status)) {
    result = RUN_WORKER_SIGNALLED;
    Logme(st, "In run_process, child ended abnormally, signal = " + std::to_string(WTERMSIG(status)));
  } else {
    result = RUN_WORKER_SIGNALLED;
    char text[64];
    std::snprintf(text, sizeof text, "In run_process, child ended abnormally, status = 0x%.8X", status);
    Logme(st, text);
  }
  if (result != RUN_STOPPED) {
    (void)sendNotify(st, "evtmon get_events failed to collect events.",
                     "The evtmon child event collection process has failed. The function get_events(), "
                     "failed to retrieve events. The return code = " + std::to_string(result) +
                         ", Communication to Velmar stopped");
  }
  return result;
}

// The supervisor's side. `child` as in Watch; `worker` the worker's pid.
int Supervise(EvtmonState& st, int fd, pid_t child, pid_t worker) {
  int status = 0;
  int result = 0;
  switch (Watch(st, fd, child, status)) {
    case kWorkerEnded:
      result = child < 0 ? 0 : WorkerEnd(st, status);
      break;
    case kWorkerSilent:
      LogSpe(st, 13, 'A', static_cast<long>(worker), st.max_secs);
      kill(worker, SIGKILL);  // a hung worker may not answer anything gentler
      if (child >= 0) (void)waitpid(child, &status, 0);
      (void)sendNotify(st, "evtmon child process timed out", kTimedOutText);
      result = RUN_WATCHDOG;
      break;
    case kStopRequested:
      result = RUN_STOPPED;
      break;
    case kWatchFailed:
      result = RUN_PIPE_FAILED;
      break;
  }
  close(fd);
  if (child >= 0) (void)KillMyChildren(st);
  if (result == RUN_STOPPED) LogSpe(st, 70, 'A');
  return result;
}

}  // namespace

double MonotonicSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int run_process(EvtmonState& st, const WorkerFn& worker) {
  int fd[2];
  if (pipe2(fd, O_CLOEXEC) != 0) {
    LogSpe(st, 6, 'A', std::strerror(errno));
    return RUN_PIPE_FAILED;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    LogSpe(st, 7, 'A', std::strerror(errno));
    close(fd[0]);
    close(fd[1]);
    return RUN_FORK_FAILED;
  }
  const bool is_worker = st.daemon ? pid == 0 : pid > 0;
  if (is_worker) {
    close(fd[0]);
    if (pid == 0) {
      // A worker whose supervisor is gone (killed) stops as at an operator
      // stop, so a restarted collector never runs beside an orphan.
      (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
      // A heartbeat into a pipe nobody reads fails; it must not kill.
      signal(SIGPIPE, SIG_IGN);
      if (getppid() != parent) st.stop = true;
      if (TakeOwnObjects(st) != 0) _exit(255);
    }
    // Heartbeats must never stop the worker, whatever the supervisor does.
    (void)fcntl(fd[1], F_SETFL, fcntl(fd[1], F_GETFL) | O_NONBLOCK);
    st.heartbeat_fd = fd[1];
    int rc = worker(st);
    close(fd[1]);
    st.heartbeat_fd = -1;
    if (pid > 0) {
      // The interactive watcher sees the pipe close and ends.
      int status;
      char err[128];
      if (QdWaitChild(pid, kInteractiveEnd, &status, err, sizeof err) == CHILD_TIMEOUT) {
        kill(pid, SIGKILL);
        (void)QdWaitChild(pid, kInteractiveEnd, &status, err, sizeof err);
      }
    }
    return rc;
  }
  close(fd[1]);
  if (pid == 0) {
    // Interactive watcher: a child of the worker, with objects of its own.
    if (TakeOwnObjects(st) != 0) _exit(255);
  } else {
    Logme(st, "PARENT PROCESS after fork in run_process, child pid = " + std::to_string(pid));
  }
  if (fcntl(fd[0], F_SETFL, fcntl(fd[0], F_GETFL) | O_NONBLOCK) != 0) {
    LogSpe(st, 9, 'A', std::strerror(errno));
    Logme(st, "Parent returning from run_process");
    close(fd[0]);
    (void)KillMyChildren(st);
    if (pid == 0) _exit(static_cast<unsigned char>(RUN_NONBLOCK_FAILED));
    return RUN_NONBLOCK_FAILED;
  }
  const pid_t worker_pid = pid == 0 ? parent : pid;
  int rc = Supervise(st, fd[0], pid == 0 ? -1 : pid, worker_pid);
  if (pid == 0) {
    std::fflush(stdout);
    _exit(static_cast<unsigned char>(rc));
  }
  return rc;
}

int KillMyChildren(EvtmonState& st) {
  const pid_t me = getpid();
  (void)QdReapChildren();
  std::vector<pid_t> kids = QdChildPids(me);
  if (kids.empty()) {
    Logme(st, "In KillMyChildren for pid=" + std::to_string(me) + "; no children present");
    return 0;
  }
  for (int sig : {SIGTERM, SIGUSR2, SIGKILL}) {
    Logme(st, "In KillMyChildren for pid=" + std::to_string(me) + ", attempting kill with '-" +
                  std::to_string(sig) + "'");
    for (pid_t kid : kids) kill(kid, sig);
    const double until = MonotonicSeconds() + QdScaledSeconds(kKillPatience);
    while (MonotonicSeconds() < until) {
      (void)QdReapChildren();
      kids = QdChildPids(me);
      if (kids.empty()) {
        Logme(st, "In KillMyChildren, kill succeeded");
        return 0;
      }
      usleep(20000);
    }
  }
  Logme(st, "In KillMyChildren, children still running after all kill attenpts", '2');
  return -1;
}
