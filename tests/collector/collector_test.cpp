// evtmon -D against the array simulator: the corpus events replayed in
// random blocks are filed as the corpus files and announced once each; the
// connection's failures end the worker with their codes and log lines.
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
  ASSERT_TRUE(PollUntil([&] { return Count("SPE0011") >= static_cast<int>(names.size()); }, kPatience)) << Log();
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
