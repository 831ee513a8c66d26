// The catch-up against the collection program's stand-in and its event
// log: which events of the fetched file are fed on, over how many passes,
// what the fetch asked for, and what is stored afterwards.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "catch_up.h"
#include "temp_root.h"
#include "test_files.h"

namespace {

// An hour ago: well inside the catch-up window.
const long kT0 = static_cast<long>(time(nullptr)) - 3600;

std::string Event(long seq, long when) {
  return "<Event>\n  <Node>0</Node>\n  <Seq>" + std::to_string(seq) + "</Seq>\n  <Sev>2</Sev>\n  <Time>" +
         std::to_string(when) + "</Time>\n  <Type>evt_dskfail</Type>\n  <Class>evt_class_alert</Class>\n"
         "  <EventString>disk " + std::to_string(seq) + "</EventString>\n</Event>\n";
}

struct CatchUp : ::testing::Test {
  TempRoot root;
  EvtmonState st;
  EventParser parser;
  std::vector<std::string> fed;  // node-sequences that went on to processing

  void SetUp() override {
    root.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\n");
    root.write("/sp/prod/code/ruzi/bin/spcollect", FileText(BuildPath("sim-bin/spcollect")));
    chmod(root.under("/sp/prod/code/ruzi/bin/spcollect").c_str(), 0755);
    st.sysid = "1400123";
    st.ipaddr = "127.0.0.1";
    st.vqx_level = "2.3.1.45";
    st.key_last_evt_time = "SPEVT_Last.Evt.Time_1400123";
    st.key_last_node_seq = "SPEVT_Last.Node.Seq_1400123";
    st.key_init_evt = "INIT_EVT_1400123";
    st.gdda = std::make_unique<CGDDA>();
    parser.comps = &st.defs.comps;
    parser.callback = [this](evtmon_t& e, const std::string&) {
      st.curr_node_seq = std::to_string(e.node) + "-" + std::to_string(static_cast<long>(e.seq));
      if (!SkipProcessedEvent(st, e.time)) fed.push_back(st.curr_node_seq);
    };
  }
  void Stored(long when, const std::string& seq) {
    ASSERT_TRUE(st.gdda->SetValue(st.key_last_evt_time.c_str(), when, st.system_level));
    ASSERT_TRUE(st.gdda->SetValue(st.key_last_node_seq.c_str(), seq, st.system_level));
  }
  void Raised(const std::string& events) { root.write("/var/log/qd/sim/emfilter.journal.xml", events); }
  std::string Value(const std::string& key) {
    std::string v;
    return st.gdda->GetValue(key.c_str(), v, st.system_level) ? v : "(none)";
  }
  std::string Calls() const { return root.read("/var/log/qd/sim/spcollect.calls"); }
};

TEST_F(CatchUp, FirstAttachmentFetchesNothingAndMarksTheArray) {
  Raised(Event(1001, kT0));
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  EXPECT_TRUE(fed.empty());
  EXPECT_EQ(Calls(), "");
  EXPECT_EQ(Value("INIT_EVT_1400123"), "0");
  // A known array without a stored time catches up five minutes.
  const long now = time(nullptr);
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  const size_t at = Calls().find("cli_get_past_events 1400123 127.0.0.1 2.3.1.45 ");
  ASSERT_NE(at, std::string::npos) << Calls();
  EXPECT_NEAR(std::atol(Calls().c_str() + at + 47), now - 302, 3);
}

TEST_F(CatchUp, SkipsUpToTheLastProcessedEventAndStoresTheNewest) {
  Stored(kT0 + 2, "0-1003");
  Raised(Event(1001, kT0) + Event(1002, kT0 + 1) + Event(1003, kT0 + 2) + Event(1004, kT0 + 2) +
         Event(1005, kT0 + 3));
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  EXPECT_EQ(fed, (std::vector<std::string>{"0-1004", "0-1005"}));
  EXPECT_NE(Calls().find("cli_get_past_events 1400123 127.0.0.1 2.3.1.45 " + std::to_string(kT0)),
            std::string::npos);
  EXPECT_EQ(Value(st.key_last_evt_time), std::to_string(kT0 + 3));
  EXPECT_EQ(Value(st.key_last_node_seq), "0-1005");
  // The live stream delivers what the catch-up already fed once more.
  fed.clear();
  std::string err;
  const std::string live = "<EventList>" + Event(1005, kT0 + 3) + Event(1006, kT0 + 4) + "</EventList>";
  process_buf(parser, live.c_str(), static_cast<long>(live.size()), err);
  EXPECT_EQ(err, "");
  EXPECT_EQ(fed, (std::vector<std::string>{"0-1006"}));
}

TEST_F(CatchUp, AnEventLaterThanTheStoredTimeEndsTheSkippingAndIsProcessed) {
  Stored(kT0 + 1, "0-500");  // that event is not in the file
  Raised(Event(1001, kT0) + Event(1002, kT0 + 2) + Event(1003, kT0 + 3));
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  EXPECT_EQ(fed, (std::vector<std::string>{"0-1002", "0-1003"}));
}

TEST_F(CatchUp, FileWithoutTheLastEventOrALaterOneIsProcessedWholeOnTheSecondPass) {
  Stored(kT0 + 5, "0-999");
  Raised(Event(1001, kT0 + 3) + Event(1002, kT0 + 4) + Event(1003, kT0 + 5));
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  EXPECT_EQ(fed, (std::vector<std::string>{"0-1001", "0-1002", "0-1003"}));
}

TEST_F(CatchUp, ThreeDaysDownStartsTwentyFourHoursBackAndProcessesAll) {
  const long now = time(nullptr);
  Stored(now - 3 * 86400, "0-1");
  Raised(Event(1001, now - 2 * 86400) + Event(1002, now - 3600) + Event(1003, now - 60));
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  EXPECT_EQ(fed, (std::vector<std::string>{"0-1002", "0-1003"}));
  const size_t at = Calls().find("cli_get_past_events 1400123 127.0.0.1 2.3.1.45 ");
  ASSERT_NE(at, std::string::npos) << Calls();
  EXPECT_NEAR(std::atol(Calls().c_str() + at + 47), now - 86400, 3);
}

TEST_F(CatchUp, EmptyCatchUpKeepsTheStoredTimeAndMissingFileIsAFailure) {
  Stored(kT0, "0-1001");
  Raised("");
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_OK);
  EXPECT_TRUE(fed.empty());
  EXPECT_EQ(Value(st.key_last_evt_time), std::to_string(kT0));
  EXPECT_EQ(Value(st.key_last_node_seq), "0-1001");
  // A fetch that ends well but leaves no file, and one that fails.
  root.write("/etc/qd/sim/spcollect.conf", "exit = 0\n");
  EXPECT_EQ(get_past_events(st, parser), CATCHUP_FAILED);
  root.write("/etc/qd/sim/spcollect.conf", "exit = 3\n");
  EXPECT_EQ(get_past_events(st, parser), 3);
  EXPECT_EQ(Value(st.key_last_evt_time), std::to_string(kT0));
}

}  // namespace
