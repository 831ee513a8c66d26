#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "time_scale.h"

namespace {

void SetError(char* err, size_t errlen, const std::string& text) {
  if (err && errlen > 0) snprintf(err, errlen, "%s", text.c_str());
}

// Runs in the child between fork and exec: only async-signal-safe calls.
// Reports errno of the failed step through `report` and exits 127.
[[noreturn]] void ChildFail(int report, int stage) {
  int info[2] = {stage, errno};
  ssize_t ignored = write(report, info, sizeof info);
  (void)ignored;
  _exit(127);
}

void Redirect(const char* path, int flags, int target, int report, int stage) {
  int fd = open(path, flags | O_CLOEXEC, 0644);
  if (fd < 0) ChildFail(report, stage);
  if (dup2(fd, target) < 0) ChildFail(report, stage);
  close(fd);
}

const char* StageText(int stage) {
  switch (stage) {
    case 1: return "cannot open standard input";
    case 2: return "cannot open standard output";
    case 3: return "cannot open standard error";
    case 4: return "cannot change directory";
    default: return "cannot execute";
  }
}

std::string Quote(const std::string& word) {
  if (!word.empty() && word.find_first_not_of(
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-./=:,+%@") ==
                           std::string::npos) {
    return word;
  }
  std::string out = "'";
  for (char c : word) out += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

long NowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

int QdStartChild(const ChildSpec& cmd, pid_t* pid, char* err, size_t errlen) {
  if (cmd.argv.empty() || cmd.argv[0].empty()) {
    SetError(err, errlen, "no program to start");
    return CHILD_FAILED;
  }
  std::vector<char*> args;
  for (const std::string& a : cmd.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    SetError(err, errlen, std::string("cannot make a pipe: ") + strerror(errno));
    return CHILD_FAILED;
  }
  fflush(nullptr);  // buffered output must not be written twice
  pid_t child = fork();
  if (child < 0) {
    int saved = errno;
    close(report[0]);
    close(report[1]);
    SetError(err, errlen, std::string("cannot fork: ") + strerror(saved));
    return CHILD_FAILED;
  }
  if (child == 0) {
    close(report[0]);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (!cmd.stdinPath.empty()) Redirect(cmd.stdinPath.c_str(), O_RDONLY, 0, report[1], 1);
    if (!cmd.stdoutPath.empty()) {
      Redirect(cmd.stdoutPath.c_str(), O_WRONLY | O_CREAT | (cmd.appendStdout ? O_APPEND : O_TRUNC), 1,
               report[1], 2);
    }
    if (cmd.stderrPath == "=stdout") {
      if (dup2(1, 2) < 0) ChildFail(report[1], 3);
    } else if (!cmd.stderrPath.empty()) {
      Redirect(cmd.stderrPath.c_str(), O_WRONLY | O_CREAT | (cmd.appendStderr ? O_APPEND : O_TRUNC), 2,
               report[1], 3);
    }
    if (!cmd.workdir.empty() && chdir(cmd.workdir.c_str()) != 0) ChildFail(report[1], 4);
    execvp(args[0], args.data());
    ChildFail(report[1], 5);
  }
  close(report[1]);
  int info[2] = {0, 0};
  ssize_t got;
  do {
    got = read(report[0], info, sizeof info);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got == static_cast<ssize_t>(sizeof info)) {
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    SetError(err, errlen, std::string(StageText(info[0])) + " for '" + cmd.argv[0] + "': " + strerror(info[1]));
    return CHILD_FAILED;
  }
  *pid = child;
  return CHILD_OK;
}

int QdWaitChild(pid_t pid, double timeoutSeconds, int* status, char* err, size_t errlen) {
  long deadline = timeoutSeconds < 0 ? -1 : NowMillis() + QdScaledMillis(timeoutSeconds);
  long pause = 1;
  for (;;) {
    pid_t done = waitpid(pid, status, timeoutSeconds < 0 ? 0 : WNOHANG);
    if (done == pid) return CHILD_OK;
    if (done < 0 && errno != EINTR) {
      SetError(err, errlen, "cannot wait for process " + std::to_string(pid) + ": " + strerror(errno));
      return CHILD_FAILED;
    }
    if (timeoutSeconds < 0) continue;
    long left = deadline - NowMillis();
    if (left <= 0) return CHILD_TIMEOUT;
    // Short naps at first so quick children cost little, longer ones for
    // children that take their time.
    struct timespec nap = {0, (pause < left ? pause : left) * 1000000L};
    nanosleep(&nap, nullptr);
    if (pause < 50) pause *= 2;
  }
}

int QdRunChild(const ChildSpec& cmd, double timeoutSeconds, int* status, char* err, size_t errlen) {
  pid_t pid;
  if (QdStartChild(cmd, &pid, err, errlen) != CHILD_OK) return CHILD_FAILED;
  int rc = QdWaitChild(pid, timeoutSeconds, status, err, errlen);
  if (rc != CHILD_TIMEOUT) return rc;
  kill(pid, SIGTERM);
  if (QdWaitChild(pid, 2, status, err, errlen) == CHILD_TIMEOUT) {
    kill(pid, SIGKILL);
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
  }
  SetError(err, errlen, "'" + cmd.argv[0] + "' did not end in time and was stopped");
  return CHILD_TIMEOUT;
}

int QdReapChildren() {
  int count = 0;
  int status;
  while (waitpid(-1, &status, WNOHANG) > 0) ++count;
  return count;
}

std::string QdCommandText(const ChildSpec& cmd) {
  std::string text;
  for (const std::string& a : cmd.argv) {
    if (!text.empty()) text += ' ';
    text += Quote(a);
  }
  if (!cmd.stdinPath.empty()) text += " < " + Quote(cmd.stdinPath);
  if (!cmd.stdoutPath.empty()) text += (cmd.appendStdout ? " >> " : " > ") + Quote(cmd.stdoutPath);
  if (cmd.stderrPath == "=stdout") {
    text += " 2>&1";
  } else if (!cmd.stderrPath.empty()) {
    text += (cmd.appendStderr ? " 2>> " : " 2> ") + Quote(cmd.stderrPath);
  }
  return text;
}
