// evtmon as a daemon (supervisor and worker) under a stand-in service
// manager that starts it again after every end but an operator stop: a
// silent worker is killed and replaced, the events raised while no worker
// listened are caught up exactly once (also when workers and once the
// supervisor are killed at random moments), and two arrays run side by side.
#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#include <functional>
#include <random>
#include <set>

#include "collector_fixture.h"
#include "process_table.h"

namespace {

class SupervisedRun : public CollectorRun {
 protected:
  struct Array {
    std::string sysid;
    std::string port;
    int fifo = -1;  // the simulator's script, written as the test goes
    DaemonRun filter;
    DaemonRun evtmon;
    int starts = 0;
  };

  void SetUp() override {
    CollectorRun::SetUp();
    setenv("QD_TIME_SCALE", "0.05", 1);
    // Started by a service manager: the program stays in the foreground.
    setenv("INVOCATION_ID", "program-test", 1);
    mkdir(root_.under("/sp/tmp").c_str(), 0777);
    root_.write("/sp/prod/code/ruzi/bin/splor", Slurp(Env("QD_BUILD_DIR") + "/sim-bin/splor"));
    chmod(root_.under("/sp/prod/code/ruzi/bin/splor").c_str(), 0755);
  }
  void TearDown() override {
    unsetenv("INVOCATION_ID");
    CollectorRun::TearDown();
  }

  // The simulator of `a`, reading its commands from a pipe; its event log
  // is the one the collection program's stand-in answers catch-ups from.
  void StartLiveFilter(Array& a) {
    const std::string fifo = root_.under("/emfilter." + a.sysid + ".fifo");
    const std::string portfile = root_.under("/emfilter." + a.sysid + ".port");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(a.filter.Start(Env("QD_BUILD_DIR") + "/sim-bin/emfilter",
                               {"--port", "0", "--port-file", portfile, "--script", fifo, "--journal",
                                root_.under("/var/log/qd/sim/emfilter." + a.sysid + ".journal")},
                               root_.under("/emfilter." + a.sysid + ".stderr")));
    a.fifo = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(a.fifo, 0);
    ASSERT_TRUE(PollUntil([&] { return !Slurp(portfile).empty(); }, kPatience));
    a.port = std::to_string(std::atoi(Slurp(portfile).c_str()));
    Send(a, "reaccept on\naccept\n");
  }
  void Send(Array& a, const std::string& commands) {
    ASSERT_EQ(write(a.fifo, commands.data(), commands.size()), static_cast<ssize_t>(commands.size()));
  }
  // Ends the script: the simulator then serves (and re-accepts) until killed.
  void EndScript(Array& a) {
    close(a.fifo);
    a.fifo = -1;
  }
  void StartDaemon(Array& a) {
    setenv("QD_EMFILTER_PORT", a.port.c_str(), 1);
    ASSERT_TRUE(a.evtmon.Start(Env("QD_BUILD_DIR") + "/bin/evtmon", {a.sysid, "127.0.0.1", kLevel},
                               root_.under("/evtmon." + a.sysid + ".stderr")));
    ++a.starts;
  }
  // Plays the service manager: a collector that ended other than by an
  // operator stop is started again. True when it was.
  bool Restarted(Array& a) {
    int status = 0;
    if (!a.evtmon.Wait(0, status)) return false;
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an end must not look like success";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 100) return false;
    StartDaemon(a);
    return true;
  }
  int Stop(Array& a) {
    a.evtmon.Signal(SIGTERM);
    int status = 0;
    if (!a.evtmon.Wait(kPatience, status)) return -1000;
    return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -2000 - WTERMSIG(status);
  }
  // The worker of the running collector, 0 while there is none.
  pid_t Worker(const Array& a) const {
    std::vector<pid_t> kids = QdChildPids(a.evtmon.pid());
    return kids.size() == 1 ? kids[0] : 0;
  }
  int Subscribed(const Array& a) const {
    std::string text = root_.read("/emfilter." + a.sysid + ".stderr");
    int n = 0;
    for (size_t at = text.find("collector subscribed"); at != std::string::npos;
         at = text.find("collector subscribed", at + 1)) {
      ++n;
    }
    return n;
  }
  // Event files of `sysid` by node-sequence, read from the XML they carry.
  std::map<std::string, std::vector<std::string>> Filed(const std::string& sysid) const {
    std::map<std::string, std::vector<std::string>> by_seq;
    const std::string dir = root_.under("/sp/prod/data/files/" + sysid + "/event");
    for (const auto& name : Files(dir)) {
      std::string text = Slurp(dir + "/" + name);
      size_t s = text.find("<Seq>"), n = text.find("<Node>");
      if (s == std::string::npos || n == std::string::npos) {
        by_seq["torn"].push_back(name);
        continue;
      }
      by_seq[text.substr(n + 6, text.find('<', n + 6) - n - 6) + "-" +
             text.substr(s + 5, text.find('<', s + 5) - s - 5)]
          .push_back(text);
    }
    return by_seq;
  }
  std::set<std::string> Raised(const std::string& sysid) const {
    std::set<std::string> seqs;
    std::istringstream in(root_.read("/var/log/qd/sim/emfilter." + sysid + ".journal"));
    std::string line;
    while (std::getline(in, line)) seqs.insert(line.substr(0, line.find(' ')));
    return seqs;
  }
  static std::string Raise(const std::string& text) { return "raise evt_dskfail 2 " + text + "\n"; }
};

TEST_F(SupervisedRun, SilentWorkerIsKilledAndReplacedAndAStopLeavesNoChild) {
  setenv("QD_TIME_SCALE", "0.02", 1);  // grace 7.2 s, then silence of 1.2 s
  Array a;
  a.sysid = kSysid;
  StartLiveFilter(a);
  EndScript(a);  // serve with heartbeats
  StartDaemon(a);
  ASSERT_TRUE(PollUntil([&] { return Subscribed(a) == 1 && Worker(a) != 0; }, kPatience)) << Log();
  const pid_t first = Worker(a);
  // The heartbeats keep a live worker through the grace and after it;
  // then the worker stops dead.
  ASSERT_FALSE(PollUntil([&] { return Count("SPE0013") > 0; }, 9)) << Log();
  kill(first, SIGSTOP);
  int status = 0;
  ASSERT_TRUE(a.evtmon.Wait(kPatience, status));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(static_cast<signed char>(WEXITSTATUS(status)), -6);
  EXPECT_EQ(Count("SPE0013"), 1);
  EXPECT_EQ(kill(first, 0), -1);
  // The operators were told, once, through the notify library.
  std::vector<std::string> notes = Files(root_.under("/tmp"), "fsnot");
  ASSERT_EQ(notes.size(), 1u) << Log();
  EXPECT_NE(Slurp(root_.under("/tmp/") + notes[0]).find("evtmon child process timed out"), std::string::npos);
  // Then splor, once, without arguments.
  const std::string splor = root_.read("/var/log/qd/sim/splor.calls");
  EXPECT_EQ(splor.find("{\"argv\": [\"" + root_.under("/sp/prod/code/ruzi/bin/splor") + "\"]"), 0u) << splor;
  EXPECT_EQ(splor.find('\n'), splor.size() - 1) << splor;

  StartDaemon(a);
  ASSERT_TRUE(PollUntil([&] { return Subscribed(a) == 2 && Worker(a) != 0; }, kPatience)) << Log();
  const pid_t second = Worker(a);
  EXPECT_EQ(Stop(a), 100) << Log();
  EXPECT_EQ(Count("SPE0070"), 1);
  EXPECT_EQ(kill(second, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  a.filter.Signal(SIGTERM);
}

TEST_F(SupervisedRun, TwoArraysCatchUpTheirOwnEventsRaisedWhileDown) {
  Array arr[2];
  arr[0].sysid = "1400123";
  arr[1].sysid = "1400777";
  for (Array& a : arr) StartLiveFilter(a);
  for (Array& a : arr) StartDaemon(a);
  for (Array& a : arr) ASSERT_TRUE(PollUntil([&] { return Subscribed(a) == 1; }, kPatience)) << Log();
  for (Array& a : arr) Send(a, Raise(a.sysid + " up") + Raise(a.sysid + " up"));
  for (Array& a : arr) {
    ASSERT_TRUE(PollUntil([&] { return Filed(a.sysid).size() == 2; }, kPatience)) << Log();
    (void)Stop(a);
  }
  // Raised while no collector listens: only the simulator's log has them.
  for (Array& a : arr) Send(a, Raise(a.sysid + " down") + Raise(a.sysid + " down") + Raise(a.sysid + " down"));
  for (Array& a : arr) {
    ASSERT_TRUE(PollUntil([&] { return Raised(a.sysid).size() == 5; }, kPatience));
    StartDaemon(a);
    EndScript(a);
  }
  for (Array& a : arr) {
    ASSERT_TRUE(PollUntil([&] { return Filed(a.sysid).size() == 5; }, kPatience)) << Log();
  }
  for (Array& a : arr) {
    EXPECT_EQ(Stop(a), 100) << Log();
    auto filed = Filed(a.sysid);
    EXPECT_EQ(filed.count("torn"), 0u);
    for (const auto& seq : Raised(a.sysid)) {
      ASSERT_EQ(filed[seq].size(), 1u) << a.sysid << " " << seq;
      EXPECT_NE(filed[seq][0].find("<EventString>" + a.sysid + " "), std::string::npos) << filed[seq][0];
    }
  }
  // Each array caught up from its own stored time.
  std::string calls = root_.read("/var/log/qd/sim/spcollect.calls");
  for (Array& a : arr) {
    EXPECT_NE(calls.find("cli_get_past_events " + a.sysid + " "), std::string::npos) << calls;
  }
  for (Array& a : arr) a.filter.Signal(SIGTERM);
}

TEST_F(SupervisedRun, OutsideAServiceManagerEachArrayHasItsOwnSupervisorAndPidFile) {
  unsetenv("INVOCATION_ID");
  Array arr[2];
  arr[0].sysid = "1400123";
  arr[1].sysid = "1400777";
  auto pid_file = [&](const Array& a) { return root_.under("/var/run/qd/evtmon." + a.sysid + ".pid"); };
  auto supervisor = [&](const Array& a) { return static_cast<pid_t>(std::atol(Slurp(pid_file(a)).c_str())); };
  struct StopAll {  // whatever happens, nothing stays running
    std::function<void()> stop;
    ~StopAll() { stop(); }
  } guard{[&] {
    for (const Array& a : arr) {
      if (pid_t p = supervisor(a)) kill(p, SIGTERM);
    }
    for (const Array& a : arr) PollUntil([&] { return access(pid_file(a).c_str(), F_OK) != 0; }, kPatience);
  }};
  for (Array& a : arr) {
    StartLiveFilter(a);
    EndScript(a);
    StartDaemon(a);
    int status = 0;
    ASSERT_TRUE(a.evtmon.Wait(kPatience, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);  // detached, running
    ASSERT_TRUE(PollUntil([&] { return supervisor(a) > 0 && Subscribed(a) == 1; }, kPatience)) << Log();
  }
  // A second collector of the same array is refused.
  StartDaemon(arr[0]);
  int status = 0;
  ASSERT_TRUE(arr[0].evtmon.Wait(kPatience, status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255);
  EXPECT_NE(supervisor(arr[0]), supervisor(arr[1]));
  for (Array& a : arr) {
    kill(supervisor(a), SIGTERM);
    EXPECT_TRUE(PollUntil([&] { return access(pid_file(a).c_str(), F_OK) != 0; }, kPatience));
  }
  EXPECT_EQ(Count("SPE0070"), 2);
  for (Array& a : arr) a.filter.Signal(SIGTERM);
}

TEST_F(SupervisedRun, TwoHundredEventsUnderRandomKillsAreFiledOnceAndAllReachTheAnalyzer) {
  Array a;
  a.sysid = kSysid;
  StartLiveFilter(a);
  StartDaemon(a);
  ASSERT_TRUE(PollUntil([&] { return Subscribed(a) == 1 && Worker(a) != 0; }, kPatience)) << Log();
  // Kills at moments drawn from a fixed seed; which step of its work a
  // worker is in when it dies depends on the machine, never the outcome.
  std::mt19937 rng(20261208);
  int worker_kills = 0, supervisor_kills = 0;
  int next_kill = 5 + static_cast<int>(rng() % 15);
  for (int i = 1; i <= 200; ++i) {
    Send(a, Raise("event " + std::to_string(i)));
    usleep(30000);
    Restarted(a);
    if (i < next_kill) continue;
    if (i > 100 && supervisor_kills == 0) {
      a.evtmon.Signal(SIGKILL);
      ++supervisor_kills;
    } else if (pid_t w = Worker(a)) {
      kill(w, SIGKILL);
      ++worker_kills;
    } else {
      continue;  // between workers: the next event's moment
    }
    next_kill = i + 5 + static_cast<int>(rng() % 20);
  }
  EndScript(a);
  ASSERT_TRUE(PollUntil([&] {
    Restarted(a);
    return Filed(kSysid).size() >= 200;
  }, 2 * kPatience)) << Log();
  ASSERT_TRUE(PollUntil([&] { return Subscribed(a) > 0 && Worker(a) != 0; }, kPatience));
  // The last worker may still be announcing what its catch-up filed; a stop
  // now would leave that to the next start's catch-up, which this run lacks.
  CWorkMessages wm(true);
  int qdan = wm.GetUID("QDAN");
  std::vector<WmMessageInfo> msgs;
  ASSERT_TRUE(PollUntil([&] {
    msgs.clear();
    return wm.ListMessages(qdan, msgs) == 0 && msgs.size() >= 200u;
  }, 2 * kPatience)) << "analysis requests: " << msgs.size() << "\n" << Log();
  EXPECT_EQ(Stop(a), 100) << Log();

  const std::set<std::string> raised = Raised(kSysid);
  ASSERT_EQ(raised.size(), 200u);
  auto filed = Filed(kSysid);
  EXPECT_EQ(filed.count("torn"), 0u);
  EXPECT_EQ(filed.size(), 200u);
  // What a killed worker left half-filed was removed by its successor.
  EXPECT_EQ(Files(FileDir("/event")).size(), 200u);
  for (const auto& seq : raised) {
    ASSERT_EQ(filed[seq].size(), 1u) << seq;
    EXPECT_NE(filed[seq][0].find("VQX level for Velmar " + std::string(kSysid) + " is " + kLevel),
              std::string::npos) << filed[seq][0];
  }
  // Every file was announced; a request sent again after a kill between
  // the announcement and the stored time is counted, not hidden.
  msgs.clear();
  ASSERT_EQ(wm.ListMessages(qdan, msgs), 0);
  EXPECT_GE(msgs.size(), 200u);

  // The analyzer takes every request.
  DaemonRun analyzer;
  StartAnalyzer(analyzer);
  ASSERT_TRUE(PollUntil([&] {
    std::vector<WmMessageInfo> left;
    return wm.ListMessages(qdan, left) == 0 && left.empty();
  }, 2 * kPatience)) << Log();
  std::vector<std::string> seen = db_.query("select count(distinct FileSeq) from qd_txn_log");
  ASSERT_EQ(seen.size(), 1u);
  std::vector<std::string> all = db_.query("select count(*) from qd_txn_log");
  EXPECT_EQ(seen[0], "200");
  analyzer.Signal(SIGTERM);
  int status = 0;
  EXPECT_TRUE(analyzer.Wait(kPatience, status));
  std::printf("kill campaign: 200 events raised, %d worker kills, %d supervisor kill, %d collector starts, "
              "%zu files, %zu analysis requests, %s reached the analyzer (%s received in all)\n",
              worker_kills, supervisor_kills, a.starts, filed.size(), msgs.size(), seen[0].c_str(),
              all.empty() ? "?" : all[0].c_str());
  a.filter.Signal(SIGTERM);
}

}  // namespace
