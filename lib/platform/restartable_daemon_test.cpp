#include "restartable_daemon.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "temp_root.h"

namespace {

const char kDump[] = "/usr/local/qd/dump";

std::string HelperPath() {
  const char* build = std::getenv("QD_BUILD_DIR");
  if (build && *build) return std::string(build) + "/tests/qd_daemon_helper";
  // Run by hand: the helper sits beside this test binary.
  char self[PATH_MAX] = {0};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, n) : std::string(".");
  return dir.substr(0, dir.rfind('/')) + "/qd_daemon_helper";
}

double Now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Polls `done` until it holds or `seconds` pass.
bool Eventually(const std::function<bool()>& done, double seconds = 20) {
  double until = Now() + seconds;
  while (Now() < until) {
    if (done()) return true;
    struct timespec pause = {0, 10000000};
    nanosleep(&pause, nullptr);
  }
  return done();
}

int CountLines(const std::string& text, const std::string& start) {
  int n = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (text.compare(pos, start.size(), start) == 0) ++n;
    pos = end + 1;
  }
  return n;
}

int CountOf(const std::string& text, const std::string& piece) {
  int n = 0;
  for (size_t pos = text.find(piece); pos != std::string::npos; pos = text.find(piece, pos + 1)) ++n;
  return n;
}

class RestartableDaemonTest : public ::testing::Test {
 protected:
  void SetUp() override { name_ = "helper" + std::to_string(getpid()); }

  void TearDown() override {
    // A supervisor left running by a failed test must not outlive it.
    std::string pid_text = root_.read(PidFile());
    int fd = open(root_.under(PidFile()).c_str(), O_RDONLY);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && !pid_text.empty()) {
      kill(std::atoi(pid_text.c_str()), SIGKILL);
      std::string runs = Runs();
      size_t last = runs.rfind("run ");
      if (last != std::string::npos) kill(std::atoi(runs.c_str() + last + 4), SIGKILL);
    }
    if (fd >= 0) close(fd);
  }

  std::string PidFile() const { return "/var/run/qd/" + name_ + ".pid"; }
  std::string Runs() const { return root_.read(std::string(kDump) + "/" + name_ + ".runs"); }
  std::string Log() const { return root_.read(std::string(kDump) + "/" + name_ + ".stderr"); }
  bool PidFileGone() const { return access(root_.under(PidFile()).c_str(), F_OK) != 0; }

  // Runs the helper as a daemon would be started; returns its exit status.
  int Start(const std::vector<std::string>& args) {
    std::string err = root_.under("/tmp/caller.err");
    pid_t child = fork();
    if (child == 0) {
      unsetenv("INVOCATION_ID");  // the tests may themselves run under a service manager
      unsetenv("NOTIFY_SOCKET");
      setenv("QD_TIME_SCALE", "0.01", 1);
      int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(fd, STDERR_FILENO);
      std::vector<char*> argv;
      std::string path = HelperPath();
      argv.push_back(const_cast<char*>(path.c_str()));
      argv.push_back(const_cast<char*>(name_.c_str()));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempRoot root_;
  std::string name_;
};

TEST_F(RestartableDaemonTest, RestartsAfterExitOneAndNotAfterHundred) {
  ASSERT_EQ(0, Start({"exits", "1,1,100"})) << root_.read("/tmp/caller.err");
  ASSERT_TRUE(Eventually([&] { return PidFileGone() && CountLines(Runs(), "run ") == 3; }))
      << "runs:\n" << Runs() << "log:\n" << Log();
  std::string log = Log();
  EXPECT_EQ(2, CountOf(log, "ended with exit status 1, restarting in ")) << log;
  EXPECT_EQ(1, CountOf(log, "restarting in 1 s")) << log;
  EXPECT_EQ(1, CountOf(log, "restarting in 2 s")) << log;  // the pause grows
  EXPECT_EQ(1, CountOf(log, "ended with exit status 100, not restarted; supervisor ends")) << log;
  EXPECT_EQ(3, CountOf(log, "daemon started, pid ")) << log;
}

TEST_F(RestartableDaemonTest, StopIsForwardedAndEndsTheSupervisor) {
  ASSERT_EQ(0, Start({"wait"})) << root_.read("/tmp/caller.err");
  ASSERT_TRUE(Eventually([&] { return CountLines(Runs(), "run ") == 1; })) << Log();
  pid_t supervisor = std::atoi(root_.read(PidFile()).c_str());
  ASSERT_GT(supervisor, 1);

  // A second supervisor of the same name is refused by the caller.
  EXPECT_EQ(255, Start({"wait"}));
  EXPECT_NE(std::string::npos, root_.read("/tmp/caller.err").find("already running"));

  ASSERT_EQ(0, kill(supervisor, SIGHUP));
  ASSERT_TRUE(Eventually([&] { return CountLines(Runs(), "hup") == 1; })) << Log();
  ASSERT_EQ(0, kill(supervisor, SIGTERM));
  ASSERT_TRUE(Eventually([&] { return PidFileGone(); })) << Log();
  EXPECT_EQ(1, CountLines(Runs(), "term"));
  EXPECT_EQ(1, CountLines(Runs(), "run "));  // not started again
  EXPECT_NE(std::string::npos, Log().find("after a stop request; supervisor ends")) << Log();
}

TEST_F(RestartableDaemonTest, UnderAServiceManagerNothingForksAndNamesAreChecked) {
  setenv("INVOCATION_ID", "0123456789abcdef", 1);
  pid_t self = getpid();
  int rc = RestartableDaemon(name_.c_str(), kDump, true);
  unsetenv("INVOCATION_ID");
  ASSERT_EQ(0, rc);
  EXPECT_EQ(self, getpid());
  EXPECT_TRUE(PidFileGone());
  EXPECT_EQ(-1, RestartableDaemon("../evil", kDump, true));  // names become file names
}

}  // namespace
