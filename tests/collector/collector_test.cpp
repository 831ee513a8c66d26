// evtmon -D against the array simulator: the corpus events replayed in
// random blocks are filed as the corpus files and announced once each; the
// connection's failures end the worker with their codes and log lines.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collector_fixture.h"

namespace {

TEST_F(CollectorRun, CorpusReplayedInRandomBlocksIsFiledAsTheCorpusAndAnnouncedOnce) {
  const std::string corpus = Env("QD_SOURCE_DIR") + "/tests/corpus/events";
  std::vector<std::string> names = Files(corpus, "evt_");
  ASSERT_GE(names.size(), 28u);
  std::string script = "accept\nsplit random 200\ntogether on\nreplay";
  std::map<std::string, std::string> wanted;  // content -> corpus name
  for (const auto& n : names) {
    script += " " + corpus + "/" + n;
    wanted[Slurp(corpus + "/" + n)] = n;
  }
  StartFilter(script + "\nhold\n");
  StartCollector();
  ASSERT_TRUE(PollUntil([&] { return Files(FileDir("/event")).size() >= names.size(); }, kPatience)) << Log();
  ASSERT_TRUE(PollUntil([&] { return Count("File analysis msg") >= static_cast<int>(names.size()); }, kPatience)) << Log();
  for (const auto& f : Files(FileDir("/event"))) {
    std::string text = Slurp(FileDir("/event/") + f);
    EXPECT_EQ(wanted.count(text), 1u) << f << " differs from every corpus file:\n" << text;
    wanted.erase(text);
  }
  EXPECT_TRUE(wanted.empty());
  EXPECT_EQ(Files(FileDir("/event"), "050415.102030.1-234567").size(), 1u);  // the disk failure's name
  // One analysis request per event, for the analyzer.
  CWorkMessages wm(true);
  int qdan = wm.GetUID("QDAN");
  ASSERT_GT(qdan, 0) << wm.szErrorMsg;
  std::vector<WmMessageInfo> msgs;
  ASSERT_EQ(wm.ListMessages(qdan, msgs), 0);
  EXPECT_EQ(msgs.size(), names.size());
  for (const auto& m : msgs) EXPECT_EQ(m.msgname, "AIQ");
  EXPECT_EQ(Files(FileDir(), "spdiag").size(), 0u);
  // Definitions and model came from the collection program.
  EXPECT_NE(root_.read("/var/log/qd/sim/spcollect.calls").find("cli_get_event_files 1400123 127.0.0.1 2.3.1.45"),
            std::string::npos);
  evtmon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(), 100) << Log();
  EXPECT_TRUE(LogShows("get_events() stopping due to operator request"));

  // The analyzer takes the requests and analyzes each event as EXPECTED says.
  DaemonRun analyzer;
  StartAnalyzer(analyzer);
  std::map<std::string, std::map<std::string, std::string>> expected;
  {
    std::istringstream in(Slurp(corpus + "/EXPECTED"));
    std::string line, section;
    while (std::getline(in, line)) {
      if (line.size() > 2 && line[0] == '[') section = line.substr(1, line.size() - 2);
      size_t eq = line.find(" = ");
      if (!section.empty() && eq != std::string::npos) expected[section][line.substr(0, eq)] = line.substr(eq + 3);
    }
  }
  auto remaining = [&] {
    std::vector<WmMessageInfo> left;
    return wm.ListMessages(qdan, left) == 0 ? left.size() : 99u;
  };
  ASSERT_TRUE(PollUntil([&] { return remaining() == 0; }, 120)) << Log();
  for (const auto& n : names) {
    const std::string file = Slurp(corpus + "/" + n);
    std::string seq = file.substr(file.find("<Seq>") + 5, 7);
    std::string node = file.substr(file.find("<Node>") + 6, 1);
    std::vector<std::string> rows = db_.query(
        "select event_type || '|' || severity from qd_anal_history where file_seq = '" + node + "-" +
        seq.substr(1) + "'");
    auto& want = expected[n];
    ASSERT_FALSE(want.empty()) << n;
    if (want["history"] == "yes") {
      ASSERT_EQ(rows.size(), 1u) << n << "\n" << root_.read("/var/log/qd/qd.log");
      EXPECT_EQ(rows[0], n + "|" + want["severity"]) << n;
    } else {
      EXPECT_TRUE(rows.empty()) << n;
    }
  }
  analyzer.Signal(SIGTERM);
  int status = 0;
  EXPECT_TRUE(analyzer.Wait(kPatience, status));
}

TEST_F(CollectorRun, ConnectionFailuresEndTheWorkerWithTheirCodes) {
  // An unknown host: at once, without attempts.
  StartCollector("no-such-host.invalid");
  EXPECT_EQ(ExitCode(), -3);
  EXPECT_EQ(Count("SPE0049"), 1);
  EXPECT_EQ(Count("SPE0042"), 1);
  EXPECT_EQ(Count("Attempts left"), 0);
  // The operators are told through the notify library (no throttle set).
  std::vector<std::string> notes = Files(root_.under("/tmp"), "fsnot");
  ASSERT_EQ(notes.size(), 1u) << Log();
  EXPECT_NE(Slurp(root_.under("/tmp/") + notes[0]).find("unknown host no-such-host.invalid"), std::string::npos);

  // Nothing listens: three attempts, then the last attempt's code.
  StartFilter("refuse\nsilence 500\nexit\n");
  usleep(100000);  // the listener closes as the script starts
  StartCollector();
  EXPECT_EQ(ExitCode(), -3);
  for (int left : {3, 2, 1}) EXPECT_EQ(Count("Attempts left: " + std::to_string(left)), 1) << Log();
  EXPECT_EQ(Count("SPE0043"), 1);
  filter_.Signal(SIGTERM);
}

TEST_F(CollectorRun, StreamEndsByCloseOrSilenceAndHeartbeatsKeepItAlive) {
  // Accepted and closed at once.
  StartFilter("accept\nclose\n");
  StartCollector();
  EXPECT_EQ(ExitCode(), -5) << Log();
  EXPECT_EQ(Count("Socket closed by em_filter!!!!"), 1);
  int status;
  filter_.Wait(kPatience, status);

  // Heartbeats alone keep the stream alive; then two silences end it.
  StartFilter("accept\nwait 300\nheartbeat off\nsilence 100000\n");
  StartCollector();
  ASSERT_TRUE(LogShows("SPE0016")) << Log();
  EXPECT_EQ(ExitCode(), -1) << Log();
  EXPECT_EQ(Count("SPE0045"), 2);
  EXPECT_EQ(Count("Socket closed by em_filter!!!!"), 1);  // the first run's only
  filter_.Signal(SIGTERM);
}

// A worker whose supervisor was killed stops slowly and keeps its connection
// open while it does; the array goes on writing events into it. The
// successor's catch-up must not be taken before its own connection is served,
// or the events written into the old one after it are never filed.
TEST_F(CollectorRun, EventsWrittenToAStoppingPredecessorAreCaughtUp) {
  constexpr int kEvents = 120;  // six seconds: the old connection closes well before the last
  // The stream's silence limit must outlast the old connection.
  setenv("QD_TIME_SCALE", "0.1", 1);
  // A known array: the catch-up covers its last five minutes.
  root_.write("/var/lib/qd/gdda.state", std::string("[Prod]\nINIT_EVT_") + kSysid + " = 0\n");
  StartFilter("accept\npace 20 " + std::to_string(kEvents) + " evt_dskfail 2 disk gone\nhold\n");
  // The predecessor: subscribed, reading nothing.
  int old = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // not for evtmon to inherit
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(std::atoi(Env("QD_EMFILTER_PORT").c_str())));
  ASSERT_EQ(connect(old, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string subscription = "heartbeat=10\nstyle=sp\nstart\n";
  ASSERT_EQ(write(old, subscription.data(), subscription.size()), static_cast<ssize_t>(subscription.size()));
  auto raised = [&] {
    std::string j = root_.read("/var/log/qd/sim/emfilter.journal");
    return static_cast<int>(std::count(j.begin(), j.end(), '\n'));
  };
  StartCollector();
  ASSERT_TRUE(LogShows("last event time before calling get_past_events")) << Log();
  // Until the successor has caught up (or has clearly waited instead), then
  // a few more events into the old connection before it closes.
  const int seen = raised();
  ASSERT_TRUE(PollUntil([&] { return Count("Past events processed") > 0 || raised() >= seen + 20; },
                        kPatience)) << Log();
  const int then = raised();
  ASSERT_TRUE(PollUntil([&] { return raised() >= then + 3; }, kPatience));
  ASSERT_LT(raised(), kEvents) << "the old connection closes while events are still raised";
  close(old);
  auto filed = [&] {
    int n = 0;
    for (const auto& name : Files(FileDir("/event"))) n += name.find(".tmp") == std::string::npos;
    return n;
  };
  ASSERT_TRUE(PollUntil([&] { return raised() == kEvents; }, kPatience));
  EXPECT_TRUE(PollUntil([&] { return filed() == kEvents; }, 10)) << filed() << " filed\n" << Log();
  evtmon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(), 100) << Log();
  filter_.Signal(SIGTERM);
}

TEST_F(CollectorRun, ElevenBadBlocksGiveTenDiagnosticFilesAndReadingGoesOn) {
  // Pauses let the collector finish its start-up and read each document
  // as a block of its own.
  std::string script = "accept\nwait 100\n";
  for (int i = 0; i < 11; ++i) script += "malformed\nwait 20\n";
  script += "raise evt_dskfail 2 disk gone\nhold\n";
  StartFilter(script);
  StartCollector();
  ASSERT_TRUE(PollUntil([&] { return Files(FileDir("/event")).size() == 1; }, kPatience)) << Log();
  ASSERT_TRUE(PollUntil([&] { return Count("SPE0060") >= 11; }, kPatience)) << Log();
  EXPECT_EQ(Files(FileDir(), "spdiag.").size(), 10u);
  std::string diag = Slurp(FileDir("/spdiag.0001"));
  EXPECT_EQ(diag.rfind("EVTMON process has detected an error processing the XML buffer:\n\t4: End tag does not match start tag.\n", 0), 0u) << diag;
  EXPECT_NE(diag.find("</Nodx>"), std::string::npos);
  // The journal names the raised event.
  EXPECT_NE(root_.read("/var/log/qd/sim/emfilter.journal").find("evt_dskfail"), std::string::npos);
  evtmon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(), 100);
}

}  // namespace

namespace {

// Command lines refused before anything is opened: too few arguments, and
// a system id or level that would leave its directory in file paths.
TEST(CollectorCommandLine, RefusedArguments) {
  TempRoot root;
  struct Case { std::vector<std::string> args; const char* text; };
  const Case cases[] = {
      {{"1400123", "127.0.0.1"}, "Too few parameters entered!!"},
      {{"-D", "1400123", "127.0.0.1"}, "Too few parameters entered!!"},
      {{"-D", "../etc", "127.0.0.1", "2.3.1.45"}, "Invalid sysid"},
      {{"-D", "1400123", "127.0.0.1", "2.3/../../x"}, "Invalid sysid"},
  };
  for (const Case& c : cases) {
    DaemonRun run;
    ASSERT_TRUE(run.Start(Env("QD_BUILD_DIR") + "/bin/evtmon", c.args, root.under("/stderr")));
    int status = 0;
    ASSERT_TRUE(run.Wait(kPatience, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.args.back();
    EXPECT_NE(root.read("/stderr").find(c.text), std::string::npos) << root.read("/stderr");
  }
  EXPECT_TRUE(Files(root.under("/sp/prod/data/files")).empty());
}

}  // namespace

namespace {

// The filter rules in the running worker: collections attach their output
// before the analyzer reads the file, dumps are fetched and checked off, and
// no program of the collector ever starts a shell.
class FilterRun : public CollectorRun {
 protected:
  void SetUp() override {
    CollectorRun::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    for (const char* prog : {"vqxdump", "Probex"}) {
      const std::string to = std::string("/sp/prod/code/ruzi/bin/") + prog;
      root_.write(to, Slurp(Env("QD_BUILD_DIR") + "/sim-bin/" + prog));
      chmod(root_.under(to).c_str(), 0755);
    }
  }
  void Rules(const std::string& lines) {
    root_.write(std::string("/sp/prod/control/appconf/") + kSysid + ".filt", "type\nsev\nrule\n" + lines);
  }
  std::string Calls(const char* prog) const { return root_.read(std::string("/var/log/qd/sim/") + prog + ".calls"); }
};

TEST_F(FilterRun, CageEventIsFiledWithTheCageListingAndTheCageHandlerReportsFromIt) {
  Rules("evt_jbod_jtype,6,0,14,0, , , , , , , , ;\n");
  StartFilter("accept\nreplay " + Env("QD_SOURCE_DIR") + "/tests/corpus/events/evt_jbod_jtype\nhold\n");
  StartCollector();
  const std::string name = "050415.102430.0+234595";
  ASSERT_TRUE(LogShows("File analysis msg")) << Log();
  const std::string file = Slurp(FileDir("/event/" + name));
  EXPECT_NE(file.find("</Event>\n\nVQX level for Velmar 1400123 is 2.3.1.45\n---------- showcage -d cage2 ----------\n"),
            std::string::npos) << file;
  EXPECT_TRUE(Files(FileDir("/event"), "050415.102430.0-").empty());
  EXPECT_NE(Calls("spcollect").find("\"cli_showcage 1400123 127.0.0.1 2.3.1.45 " + name + " cage2\""), std::string::npos);
  evtmon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(), 100) << Log();

  root_.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\nSP_ID = SP0042\nRUNNINGONSP = N\n"
                                   "WM_CONNINFO = dbname=" + db_.name() + "\n[Prod]\nORASID = " +
                                       db_.name() + "\nORAID = qd\n");
  DaemonRun analyzer;
  ASSERT_TRUE(analyzer.Start(Env("QD_BUILD_DIR") + "/bin/qdAnalyze", {"-d", "-t", "60"},
                             root_.under("/analyzer.stderr")));
  const std::string report = FileDir("/event/" + name + ".analysis");
  ASSERT_TRUE(PollUntil([&] { return !Slurp(report).empty(); }, kPatience)) << Log();
  ASSERT_TRUE(PollUntil([&] {
    return db_.query("select count(*) from qd_anal_history where file_seq = '0+234595'") ==
           std::vector<std::string>{"1"};
  }, kPatience)) << Log();
  const std::string text = Slurp(report);
  std::cerr << text;
  EXPECT_EQ(text.find("'showcage -d' output not available"), std::string::npos) << text;
  EXPECT_EQ(Log().find("'showcage -d' output not available"), std::string::npos);
  analyzer.Signal(SIGTERM);
  int status = 0;
  EXPECT_TRUE(analyzer.Wait(kPatience, status));
}

TEST_F(FilterRun, CoreDumpEventRunsTheFetcherChecksTheRequestOffAndAcknowledgesTheAlert) {
  Rules("evt_coredump,6,0,1,0, , , , , , , , ;\n");
  root_.write("/etc/qd/sim/vqxdump.conf", "exit = 2\ndir = /sp/prod/data/files/1400123/applcore\n"
                                          "files = core.sysmgr.2677.Jun20-18_19_38\n");
  std::string xml = Slurp(Env("QD_SOURCE_DIR") + "/tests/corpus/events/evt_coredump");
  xml = xml.substr(xml.find("<Event>"));
  xml.insert(xml.find("  <Class>"), "  <AlertId>4711</AlertId>\n");
  root_.write("/core.xml", xml);
  StartFilter("accept\nreplay " + root_.under("/core.xml") + "\nhold\n");
  StartCollector();
  ASSERT_TRUE(LogShows("Launched alert acknowledgement process for alert 4711")) << Log();
  // The worker's first fetch is for dumps that came while none ran; the
  // event's own fetch runs for its node, or for all when it had to wait.
  const std::string fetches = Calls("vqxdump");
  EXPECT_NE(fetches.substr(0, fetches.find('\n')).find("\"-I127.0.0.1\", \"core\", \"all\", \"none\""),
            std::string::npos) << fetches;
  EXPECT_TRUE(PollUntil([&] { return Calls("vqxdump").find("\"050415.103630.1-234679\"") != std::string::npos; },
                        kPatience)) << Calls("vqxdump");
  EXPECT_TRUE(LogShows("Return status from vqxdump = 2, Number of dumps processed"));
  ASSERT_TRUE(PollUntil([&] { return Calls("spcollect").find("cli_ack_alert 1400123 127.0.0.1 2.3.1.45 4711") !=
                                     std::string::npos; }, kPatience));
  EXPECT_EQ("", root_.read("/sp/prod/data/files/1400123/reqcore"));
  evtmon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(), 100) << Log();
}

TEST_F(FilterRun, NoProgramOfTheCollectorStartsAShellOverEveryAction) {
  if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
  // One rule a made-up type for every action that starts a program.
  std::string rules, script = "accept\nwait 50\n";
  const int actions[] = {1, 2, 3, 4, 5, 6, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 22, 23, 24, 25,
                         26, 27, 28, 29, 30, 90, 91, 92, 95};
  for (int a : actions) {
    const std::string type = "evt_act" + std::to_string(a);
    rules += type + ",6,0," + std::to_string(a) + ",0,comp_hw_cage, , , , , , ,cli_cmd_cage;\n";
    script += "raise " + type + " 1 kernel /crash x [0:1:2] VV vv1 Applying \"q\" $(id); `id` | sh -c x saved/ev\n";
  }
  Rules(rules);
  StartFilter(script + "hold\n");
  const std::string trace = root_.under("/strace.out");
  ASSERT_TRUE(evtmon_.Start("/usr/bin/strace", {"-f", "-qq", "-e", "trace=execve", "-o", trace,
                                                 Env("QD_BUILD_DIR") + "/bin/evtmon", "-D", kSysid,
                                                 "127.0.0.1", kLevel},
                            root_.under("/evtmon.stderr")));
  ASSERT_TRUE(PollUntil([&] { return Count("File analysis msg") >= 31; }, kPatience)) << Log();
  // Children sharing a suppression key start once; every one that started ends.
  ASSERT_TRUE(PollUntil([&] { return Count("In chk_dumps(), waitpid return pid") >= 20; }, kPatience)) << Log();
  // The worker itself is stopped; strace ends with it.
  const std::string log = Log();
  const size_t at = log.find("SPEC[");
  ASSERT_NE(at, std::string::npos);
  kill(static_cast<pid_t>(std::atol(log.c_str() + at + 5)), SIGTERM);
  int status = 0;
  ASSERT_TRUE(evtmon_.Wait(kPatience, status));
  const std::string calls = Slurp(trace);
  int execs = 0;
  std::istringstream in(calls);
  for (std::string line; std::getline(in, line);) {
    if (line.find("execve(") == std::string::npos || line.find("ENOENT") != std::string::npos) continue;
    ++execs;
    EXPECT_EQ(line.find("bin/sh\""), std::string::npos) << line;
    EXPECT_EQ(line.find("bin/bash\""), std::string::npos) << line;
    EXPECT_EQ(line.find("[\"sh\""), std::string::npos) << line;
  }
  EXPECT_GE(execs, 20) << calls;
  EXPECT_NE(calls.find("ruzi/bin/vqxdump"), std::string::npos);
}

}  // namespace
