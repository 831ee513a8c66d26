#include "signals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "temp_root.h"

namespace {

bool HandlerIs(int sig, void (*handler)(int)) {
  struct sigaction now;
  sigaction(sig, nullptr, &now);
  return now.sa_handler == handler;
}

double Now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Waits for `child` at most `seconds`, sending it `poke` (unless 0) each
// round; kills it when it overstays.
bool WaitChild(pid_t child, int& status, double seconds, int poke = 0) {
  double until = Now() + seconds;
  while (Now() < until) {
    if (poke) kill(child, poke);
    if (waitpid(child, &status, WNOHANG) == child) return true;
    struct timespec pause = {0, 10000000};
    nanosleep(&pause, nullptr);
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return false;
}

void Unused(int) {}

class Signals : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetTrapSignal(SIGUSR1);
    ResetTrapSignal(SIGUSR2);
  }
};

TEST_F(Signals, WatchedSignalsAreRecordedUntilReset) {
  sigset_t set;
  sigfillset(&set);
  ASSERT_TRUE(SetupSignals(&set, true, SIGUSR1, SIGUSR2, -1));
  EXPECT_EQ(1, sigismember(&set, SIGUSR1));
  EXPECT_EQ(0, sigismember(&set, SIGTERM));  // emptied first
  raise(SIGUSR1);
  EXPECT_TRUE(CheckForSignal(SIGUSR1, false));
  EXPECT_TRUE(KCheckForSignal(SIGUSR1, false));  // a look does not reset
  EXPECT_FALSE(CheckForSignal(SIGUSR2, true));
  EXPECT_TRUE(CheckForSignal(SIGUSR1, true));
  EXPECT_FALSE(CheckForSignal(SIGUSR1, true));
  EXPECT_FALSE(CheckForSignal(SIGTERM, true));  // not watched

  // Blocked, it is pending: only KCheckForSignal sees and consumes it.
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR2);
  sigprocmask(SIG_BLOCK, &block, &old);
  raise(SIGUSR2);
  EXPECT_FALSE(CheckForSignal(SIGUSR2, false));
  EXPECT_TRUE(KCheckForSignal(SIGUSR2, true));
  EXPECT_FALSE(KCheckForSignal(SIGUSR2, false));
  sigprocmask(SIG_SETMASK, &old, nullptr);
  EXPECT_FALSE(CheckForSignal(SIGUSR2, false));  // nothing left to deliver
}

TEST_F(Signals, BadListsInstallNothing) {
  sigset_t set;
  EXPECT_FALSE(SetupSignals(&set, true, SIGUSR1, SIGKILL, -1));
  EXPECT_FALSE(SetupSignals(&set, true, SIGUSR1, NSIG, -1));
  EXPECT_TRUE(HandlerIs(SIGUSR1, SIG_DFL));
  const char* err = TrapSignals(nullptr, SIGUSR1, Unused, 0, Unused, -1);
  ASSERT_NE(nullptr, err);
  EXPECT_NE(nullptr, std::strstr(err, "signal 0"));
  EXPECT_NE(nullptr, TrapSignals(nullptr, SIGUSR1, Unused, SIGUSR2));  // no -1 at the end
  EXPECT_TRUE(HandlerIs(SIGUSR1, SIG_DFL));
  ASSERT_EQ(nullptr, TrapSignals(nullptr, SIGUSR1, Unused, -1));
  EXPECT_TRUE(HandlerIs(SIGUSR1, Unused));
  EXPECT_EQ(0, ResetTrapSignal(SIGUSR1));
  EXPECT_TRUE(HandlerIs(SIGUSR1, SIG_DFL));
}

// A watched signal must cut a blocking read short; were it installed with
// SA_RESTART the read would resume and the child would never end.
TEST_F(Signals, WatchedSignalInterruptsABlockingRead) {
  int ready[2], idle[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(idle));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!SetupSignals(nullptr, true, SIGUSR1, -1)) _exit(2);
    if (write(ready[1], "r", 1) != 1) _exit(3);
    char byte;
    ssize_t n = read(idle[0], &byte, 1);
    _exit(n < 0 && errno == EINTR && CheckForSignal(SIGUSR1, true) ? 0 : 1);
  }
  char byte;
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  // The child may not be inside read yet: poke until it has ended.
  int status = 0;
  ASSERT_TRUE(WaitChild(child, status, 10, SIGUSR1)) << "blocking read was not interrupted";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], idle[0], idle[1]}) close(fd);
}

char g_marker[4096];

void CleanUpAndDie(int sig) {
  int fd = open(g_marker, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    ssize_t ignored = write(fd, "cleaned", 7);
    (void)ignored;
    close(fd);
  }
  ResetTrapSignal(sig);
  raise(sig);
}

TEST_F(Signals, TrappedFaultRunsCleanUpAndStillEndsByTheSignal) {
  TempRoot root;
  std::string marker = root.under("/tmp/cleaned");
  std::strncpy(g_marker, marker.c_str(), sizeof g_marker - 1);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    sigset_t set;
    if (TrapSignals(&set, SIGSEGV, CleanUpAndDie, SIGABRT, CleanUpAndDie, -1) != nullptr) _exit(2);
    if (sigismember(&set, SIGSEGV) != 1) _exit(3);
    // A real fault: a page that may not be touched (not a null pointer,
    // which the undefined-behaviour checker would catch first).
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) _exit(5);
    *static_cast<volatile int*>(page) = 1;
    _exit(4);
  }
  int status = 0;
  ASSERT_TRUE(WaitChild(child, status, 10));
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(SIGSEGV, WTERMSIG(status));
  EXPECT_EQ("cleaned", root.read("/tmp/cleaned"));
}

}  // namespace
