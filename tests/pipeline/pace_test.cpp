// The array simulator's paced raises, as the pipeline benchmark and the
// crash campaign use them: events at a set rate, each journaled with the
// moment of its raise, and none lost to a collector that went away; those
// raised meanwhile go to the next collector that subscribes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon_run.h"
#include "temp_root.h"
#include "test_files.h"

namespace {

constexpr double kPatience = 20;

// A collector as the simulator sees it: one subscribed connection.
class Collector {
 public:
  explicit Collector(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return;
    const char* subscription = "heartbeat=10\nstyle=sp\nstart\n";
    ok_ = write(fd_, subscription, std::strlen(subscription)) ==
          static_cast<ssize_t>(std::strlen(subscription));
  }
  ~Collector() { Close(); }
  bool ok() const { return ok_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // The sequence numbers of the next `count` events read, in order; fewer
  // when the stream stays silent for the patience.
  std::vector<long> Read(size_t count) {
    std::vector<long> seqs;
    while (seqs.size() < count) {
      size_t at = got_.find("<Seq>");
      if (at != std::string::npos && got_.find("</Seq>", at) != std::string::npos) {
        seqs.push_back(std::atol(got_.c_str() + at + 5));
        got_.erase(0, got_.find("</Seq>", at) + 6);
        continue;
      }
      pollfd pfd{fd_, POLLIN, 0};
      char buf[4096];
      ssize_t n = poll(&pfd, 1, static_cast<int>(kPatience * 1000)) > 0 ? read(fd_, buf, sizeof buf) : 0;
      if (n <= 0) break;
      got_.append(buf, static_cast<size_t>(n));
    }
    return seqs;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
  std::string got_;
};

class PacedRaises : public ::testing::Test {
 protected:
  void Start(const std::string& script) {
    root_.write("/emfilter.script", script);
    ASSERT_TRUE(filter_.Start(BuildPath("sim-bin/emfilter"),
                              {"--port", "0", "--port-file", root_.under("/emfilter.port"), "--script",
                               root_.under("/emfilter.script"), "--journal", root_.under("/journal")},
                              root_.under("/emfilter.stderr")));
    ASSERT_TRUE(PollUntil([&] { return !root_.read("/emfilter.port").empty(); }, kPatience));
    port_ = std::atoi(root_.read("/emfilter.port").c_str());
  }
  ~PacedRaises() override { filter_.Signal(SIGKILL); }

  // The journal's lines, each split into its words.
  std::vector<std::vector<std::string>> Journal() const {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(root_.read("/journal"));
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      lines.emplace_back();
      for (std::string w; words >> w;) lines.back().push_back(w);
    }
    return lines;
  }

  TempRoot root_;
  DaemonRun filter_;
  int port_ = 0;
};

TEST_F(PacedRaises, RaisedAtTheRateAndJournaledWithTheMomentOfTheRaise) {
  Start("accept\npace 40 5 evt_dskfail 2 disk gone\nexit\n");
  Collector collector(port_);
  ASSERT_TRUE(collector.ok());
  EXPECT_EQ(collector.Read(5), (std::vector<long>{1001, 1002, 1003, 1004, 1005}));
  auto lines = Journal();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], (std::vector<std::string>{"0-1001", lines[0][1], "evt_dskfail", lines[0][3]}));
  // Four intervals of 25 ms by the raise times, which carry microseconds.
  ASSERT_EQ(lines[4].size(), 4u);
  EXPECT_EQ(lines[4][3].size() - lines[4][3].find('.'), 7u) << lines[4][3];
  const double span = std::atof(lines[4][3].c_str()) - std::atof(lines[0][3].c_str());
  EXPECT_GE(span, 0.099);
  EXPECT_LT(span, 0.5);
}

TEST_F(PacedRaises, EventsRaisedWhileNoCollectorListensGoToTheNextOne) {
  Start("accept\npace 20 8 evt_dskfail 2 disk gone\nexit\n");
  {
    Collector first(port_);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.Read(2), (std::vector<long>{1001, 1002}));
  }
  // Raising goes on meanwhile.
  ASSERT_TRUE(PollUntil([&] { return Journal().size() >= 5; }, kPatience));
  Collector second(port_);
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second.Read(6), (std::vector<long>{1003, 1004, 1005, 1006, 1007, 1008}));
  int status = 0;
  EXPECT_TRUE(filter_.Wait(kPatience, status));
  EXPECT_EQ(Journal().size(), 8u);
}

}  // namespace
