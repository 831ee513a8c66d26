#include "daemon_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

DaemonRun::~DaemonRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool DaemonRun::Start(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stderr_path) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    int null = open("/dev/null", O_RDWR);
    if (err >= 0) dup2(err, 2);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return true;
}

bool DaemonRun::Wait(double seconds, int& status) {
  if (pid_ <= 0) return false;
  bool ended = PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, seconds);
  if (ended) pid_ = -1;
  return ended;
}

void DaemonRun::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

bool PollUntil(const std::function<bool()>& done, double seconds) {
  struct timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (done()) return true;
    clock_gettime(CLOCK_MONOTONIC, &now);
    double passed = (now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9;
    if (passed > seconds) return false;
    usleep(20000);
  }
}
