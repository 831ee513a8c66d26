#include "restartable_daemon.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "local_time.h"
#include "qd_path.h"
#include "str_format.h"
#include "time_scale.h"

namespace {

constexpr int kStopExitStatus = 100;
constexpr double kFirstPause = 1;     // seconds before the first restart
constexpr double kLongestPause = 60;  // pauses double up to this
constexpr double kHealthyRun = 600;   // a run this long resets the pause
constexpr int kSupervisedSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGCHLD};

// What the supervisor changes and the daemon child must get back, so the
// daemon starts with the signal set-up the program made before the call.
struct SavedSignals {
  struct sigaction actions[4];
  sigset_t mask;
};

struct Supervisor {
  std::string name;
  std::string pid_path;
  int pid_fd = -1;
  SavedSignals saved;
  sigset_t waited;
};

double Monotonic() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// One line on standard error (the daemon's .stderr file), written whole.
void Note(const std::string& name, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Note(const std::string& name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = QdFormatV(format, args);
  va_end(args);
  std::string line = LocalTimeText(time(nullptr), "%Y-%m-%d %H:%M:%S") + " " + name + "[" +
                     std::to_string(getpid()) + "] supervisor: " + text + "\n";
  ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

bool NameAcceptable(const char* name) {
  size_t length = name ? std::strlen(name) : 0;
  return length > 0 && length <= 100 && !std::strchr(name, '/') && std::strcmp(name, ".") != 0 &&
         std::strcmp(name, "..") != 0;
}

bool UnderServiceManager() {
  const char* id = std::getenv("INVOCATION_ID");
  const char* sock = std::getenv("NOTIFY_SOCKET");
  return (id && *id) || (sock && *sock);
}

// Reports to the waiting caller through the pipe: "0" for ready, else the
// reason. The caller reads until end of file.
void Report(int fd, const std::string& text) {
  ssize_t ignored = write(fd, text.data(), text.size());
  (void)ignored;
  close(fd);
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// Working directory, standard streams. Returns "" or the reason.
std::string Detach(const std::string& dump, const std::string& name) {
  if (chdir(dump.c_str()) != 0) return Errno("cannot enter dump directory \"" + dump + "\"");
  int null_fd = open("/dev/null", O_RDWR);
  if (null_fd < 0) return Errno("cannot open /dev/null");
  std::string err_path = dump + "/" + name + ".stderr";
  int err_fd = open(err_path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (err_fd < 0) {
    close(null_fd);
    return Errno("cannot open \"" + err_path + "\"");
  }
  if (dup2(null_fd, STDIN_FILENO) < 0 || dup2(null_fd, STDOUT_FILENO) < 0 ||
      dup2(err_fd, STDERR_FILENO) < 0) {
    return Errno("cannot redirect standard streams");
  }
  if (null_fd > STDERR_FILENO) close(null_fd);
  if (err_fd > STDERR_FILENO) close(err_fd);
  return "";
}

// Takes the pid file under its lock and writes `pid` into it. Returns ""
// or the reason; the descriptor stays open (and locked) in `fd`.
std::string ClaimPidFile(const std::string& path, pid_t pid, int& fd) {
  fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Errno("cannot open pid file \"" + path + "\"");
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    char text[32] = {0};
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    close(fd);
    fd = -1;
    std::string holder = n > 0 ? std::string(text, strcspn(text, "\n")) : "?";
    return "already running (pid " + holder + ", pid file \"" + path + "\")";
  }
  std::string text = std::to_string(pid) + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, text.data(), text.size(), 0) != (ssize_t)text.size()) {
    close(fd);
    fd = -1;
    return Errno("cannot write pid file \"" + path + "\"");
  }
  return "";
}

void NoteEnd(const Supervisor& s, pid_t child, int status, const char* what) {
  if (WIFEXITED(status)) {
    Note(s.name, "daemon pid %ld ended with exit status %d%s", (long)child, WEXITSTATUS(status),
         what);
  } else if (WIFSIGNALED(status)) {
    Note(s.name, "daemon pid %ld ended by signal %d%s", (long)child, WTERMSIG(status), what);
  } else {
    Note(s.name, "daemon pid %ld ended with status 0x%x%s", (long)child, status, what);
  }
}

void NoHandler(int) {}

// The supervisor takes its signals synchronously (sigtimedwait), so no
// handler ever races with the bookkeeping of the child's process id. The
// no-op handlers keep them from being discarded while blocked, should the
// program have set them to be ignored.
void TakeSignals(Supervisor& s) {
  sigemptyset(&s.waited);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = NoHandler;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 4; ++i) {
    sigaddset(&s.waited, kSupervisedSignals[i]);
    sigaction(kSupervisedSignals[i], &action, &s.saved.actions[i]);
  }
  sigprocmask(SIG_BLOCK, &s.waited, &s.saved.mask);
}

void GiveSignalsBack(const Supervisor& s) {
  for (size_t i = 0; i < 4; ++i) sigaction(kSupervisedSignals[i], &s.saved.actions[i], nullptr);
  sigprocmask(SIG_SETMASK, &s.saved.mask, nullptr);
}

// Waits for a signal of the supervised set for at most `seconds` of real
// time (already scaled; negative: no limit). Returns the signal, or 0 when
// the time passed.
int WaitSignal(const Supervisor& s, double seconds) {
  for (;;) {
    int sig;
    if (seconds < 0) {
      sig = sigwaitinfo(&s.waited, nullptr);
    } else {
      struct timespec limit;
      limit.tv_sec = static_cast<time_t>(seconds);
      limit.tv_nsec = static_cast<long>((seconds - limit.tv_sec) * 1e9);
      sig = sigtimedwait(&s.waited, nullptr, &limit);
      if (sig < 0 && errno == EAGAIN) return 0;
    }
    if (sig > 0) return sig;
    // EINTR from a signal outside the set: wait again.
  }
}

enum RunEnd { kRunEnded, kRunStopped };

// Waits for the daemon `child` to end, forwarding signals. `status` gets
// its wait status.
RunEnd WaitDaemon(const Supervisor& s, pid_t child, int& status) {
  bool stopping = false;
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) return stopping ? kRunStopped : kRunEnded;
    if (done < 0 && errno != EINTR) {
      status = 0;
      return stopping ? kRunStopped : kRunEnded;
    }
    int sig = WaitSignal(s, -1);
    if (sig == SIGTERM || sig == SIGINT) {
      if (!stopping) Note(s.name, "signal %d: stopping daemon pid %ld", sig, (long)child);
      stopping = true;
      kill(child, sig);
    } else if (sig == SIGHUP) {
      kill(child, SIGHUP);
    }
  }
}

// The pause before a restart. Returns false when a stop arrived meanwhile.
bool Pause(const Supervisor& s, double seconds) {
  double until = Monotonic() + QdScaledMillis(seconds) / 1000.0;
  for (;;) {
    double left = until - Monotonic();
    if (left <= 0) return true;
    int sig = WaitSignal(s, left);
    if (sig == 0 || sig == SIGHUP) return true;
    if (sig == SIGTERM || sig == SIGINT) return false;
  }
}

// The supervisor's loop. Returns 0 in a new daemon child (which goes on
// as the daemon), else the supervisor's exit status.
int Supervise(Supervisor& s) {
  TakeSignals(s);
  Note(s.name, "started, pid file \"%s\"", s.pid_path.c_str());
  double pause = kFirstPause;
  for (;;) {
    double started = Monotonic();
    pid_t child = fork();
    if (child == 0) {
      close(s.pid_fd);
      GiveSignalsBack(s);
      return -1;
    }
    int status = 0;
    if (child < 0) {
      Note(s.name, "cannot start daemon: %s", std::strerror(errno));
    } else {
      Note(s.name, "daemon started, pid %ld", (long)child);
      if (WaitDaemon(s, child, status) == kRunStopped) {
        NoteEnd(s, child, status, " after a stop request; supervisor ends");
        return 0;
      }
      if (WIFEXITED(status) && WEXITSTATUS(status) == kStopExitStatus) {
        NoteEnd(s, child, status, ", not restarted; supervisor ends");
        return 0;
      }
      if (Monotonic() - started >= QdScaledSeconds(kHealthyRun)) pause = kFirstPause;
      char what[64];
      std::snprintf(what, sizeof what, ", restarting in %g s", pause);
      NoteEnd(s, child, status, what);
    }
    if (!Pause(s, pause)) {
      Note(s.name, "stop requested while paused; supervisor ends");
      return 0;
    }
    pause = std::min(pause * 2, kLongestPause);
  }
}

// In the detached grandchild: everything that can fail is done before the
// caller is told all is well.
int BecomeDetached(const std::string& name, const std::string& dump, bool restart, int report) {
  Supervisor s;
  s.name = name;
  s.pid_path = QdPath("/var/run/qd/" + name + ".pid");
  std::string failed = Detach(dump, name);
  if (failed.empty()) failed = ClaimPidFile(s.pid_path, getpid(), s.pid_fd);
  if (!failed.empty()) {
    Report(report, failed);
    _exit(1);
  }
  Report(report, "0");
  if (!restart) return 0;  // the daemon itself keeps the pid file locked
  int rc = Supervise(s);
  if (rc < 0) return 0;
  unlink(s.pid_path.c_str());
  _exit(rc);
}

// In the caller: waits for the detached process's report.
int AwaitReport(const std::string& name, pid_t first, int report) {
  int status;
  while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
  }
  std::string text;
  char buffer[256];
  for (;;) {
    ssize_t n = read(report, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(report);
  if (text == "0") return 1;
  if (text.empty()) text = "the detached process ended without a word";
  std::fprintf(stderr, "RestartableDaemon %s: %s\n", name.c_str(), text.c_str());
  return -1;
}

}  // namespace

int RestartableDaemon(const char* name, const char* dumpdirectory, bool restart) {
  if (!NameAcceptable(name)) {
    std::fprintf(stderr, "RestartableDaemon: unusable daemon name \"%s\"\n", name ? name : "");
    return -1;
  }
  if (UnderServiceManager()) return 0;
  std::string dump = QdPath(dumpdirectory && *dumpdirectory ? dumpdirectory : "/usr/local/qd/dump");
  std::string run_dir = QdPath("/var/run/qd");
  for (const std::string& dir : {dump, run_dir}) {
    if (QdMakeDirs(dir) != 0) {
      std::fprintf(stderr, "RestartableDaemon %s: cannot make directory \"%s\": %s\n", name,
                   dir.c_str(), std::strerror(errno));
      return -1;
    }
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    std::fprintf(stderr, "RestartableDaemon %s: pipe: %s\n", name, std::strerror(errno));
    return -1;
  }
  std::fflush(nullptr);  // nothing buffered may be written twice
  pid_t first = fork();
  if (first < 0) {
    std::fprintf(stderr, "RestartableDaemon %s: fork: %s\n", name, std::strerror(errno));
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    return -1;
  }
  if (first > 0) {
    close(pipe_fds[1]);
    return AwaitReport(name, first, pipe_fds[0]);
  }
  close(pipe_fds[0]);
  // A new session, then a second fork so the detached process is no
  // session leader and can never gain a controlling terminal.
  if (setsid() < 0) {
    Report(pipe_fds[1], Errno("setsid"));
    _exit(1);
  }
  pid_t second = fork();
  if (second < 0) {
    Report(pipe_fds[1], Errno("fork"));
    _exit(1);
  }
  if (second > 0) _exit(0);
  return BecomeDetached(name, dump, restart, pipe_fds[1]);
}
