// The simulated array driven live (commands on its standard input, as the
// demo drives it): while no command comes, the collector's connection gets
// its heartbeats, so a slow driver never ends the stream (a collector
// that connects anew is served with reaccept on); the commands
// still run in order as they arrive, and the end of the input holds the
// connection until the collector goes away.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "daemon_run.h"
#include "temp_root.h"

namespace {

constexpr double kPatience = 30;

class LiveArray : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QD_ROOT", root_.path().c_str(), 1);
    setenv("QD_TIME_SCALE", "0.01", 1);  // a heartbeat every 0.1 s
    fifo_ = root_.under("/commands");
    ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
    // Held open for writing before the simulator opens it, so neither waits;
    // not inherited, so closing it is the end of the input.
    commands_ = open(fifo_.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(commands_, 0);
    const char* build = std::getenv("QD_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    ChildSpec cmd;
    cmd.argv = {std::string(build) + "/sim-bin/emfilter", "--port", "0", "--port-file",
                root_.under("/port"), "--script", "-"};
    cmd.stdinPath = fifo_;
    cmd.stdoutPath = "/dev/null";
    cmd.stderrPath = root_.under("/emfilter.stderr");
    char err[256] = "";
    ASSERT_EQ(QdStartChild(cmd, &pid_, err, sizeof err), CHILD_OK) << err;
    ASSERT_TRUE(PollUntil([&] { return !root_.read("/port").empty(); }, kPatience));
  }
  void TearDown() override {
    if (commands_ >= 0) close(commands_);
    if (sock_ >= 0) close(sock_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int status = 0;
      char err[256];
      (void)QdWaitChild(pid_, -1, &status, err, sizeof err);
    }
  }
  void Command(const std::string& line) {
    ASSERT_EQ(write(commands_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
  void Subscribe() {
    sock_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(std::atoi(root_.read("/port").c_str())));
    ASSERT_EQ(connect(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const char sub[] = "heartbeat=10\nstyle=sp\nstart\n";
    ASSERT_EQ(send(sock_, sub, sizeof sub - 1, 0), static_cast<ssize_t>(sizeof sub - 1));
  }
  // Adds what the connection holds now to got_.
  void Drain() {
    char buf[4096];
    pollfd pfd{sock_, POLLIN, 0};
    while (poll(&pfd, 1, 0) > 0) {
      ssize_t n = read(sock_, buf, sizeof buf);
      if (n <= 0) break;
      got_.append(buf, static_cast<size_t>(n));
    }
  }
  // Reads from the connection until `text` has come `times` times in all.
  bool Received(const std::string& text, int times) {
    return PollUntil([&] {
      Drain();
      int seen = 0;
      for (size_t at = got_.find(text); at != std::string::npos; at = got_.find(text, at + 1)) ++seen;
      return seen >= times;
    }, kPatience);
  }

  TempRoot root_;
  std::string fifo_;
  int commands_ = -1;
  int sock_ = -1;
  pid_t pid_ = -1;
  std::string got_;
};

TEST_F(LiveArray, HeartbeatsWhileNoCommandComesThenCommandsInOrderAndHoldAtTheEnd) {
  Command("accept\n");
  Subscribe();
  ASSERT_TRUE(Received("<Heartbeat/>", 3)) << "no command has come since the accept\n"
                                           << root_.read("/emfilter.stderr");
  // A command in two writes is one command; two in one write are two.
  Command("raise evt_dskfail 2 disk ");
  Command("gone\nraise evt_bat_fail 2 battery gone\n");
  ASSERT_TRUE(Received("</EventList>", 2)) << got_;
  const size_t disk = got_.find("<EventString>disk gone</EventString>");
  const size_t battery = got_.find("<EventString>battery gone</EventString>");
  ASSERT_NE(disk, std::string::npos) << got_;
  ASSERT_NE(battery, std::string::npos) << got_;
  EXPECT_LT(disk, battery);

  // With reaccept on, a collector that connects anew is served while no
  // command comes.
  Command("reaccept on\n");
  const int first = sock_;
  Subscribe();
  got_.clear();
  ASSERT_TRUE(Received("<Heartbeat/>", 2)) << root_.read("/emfilter.stderr");
  close(first);
  Command("reaccept off\n");

  // The end of the input: the connection is held, with heartbeats, until
  // the collector goes away; then the simulator ends.
  close(commands_);
  commands_ = -1;
  Drain();
  const size_t before = got_.size();
  ASSERT_TRUE(PollUntil([&] {
    Drain();
    return got_.size() > before;
  }, kPatience)) << "heartbeats go on";
  int status = 0;
  char err[256] = "";
  // Waits are scaled by QD_TIME_SCALE: 50 is half a second here.
  EXPECT_EQ(QdWaitChild(pid_, 50, &status, err, sizeof err), CHILD_TIMEOUT) << "still holding";
  close(sock_);
  sock_ = -1;
  ASSERT_EQ(QdWaitChild(pid_, kPatience * 100, &status, err, sizeof err), CHILD_OK) << err;
  pid_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
