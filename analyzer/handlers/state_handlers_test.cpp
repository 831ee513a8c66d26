#include <string>

#include "engine_test_fixture.h"
#include "event_handlers.h"
#include "handler_patterns.h"

namespace {

class StateTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    st_.app = &an_;
    ASSERT_EQ(0, CompileHandlerPatterns(st_, EventHandlerPatternTexts()));
    InstallPatterns({{"evt_fc_lesb", 10, 0, "(.*)", {}}});
    Use(0, "PORT0:1:2 FCLESB_ERR link errors FCLESB_ERR");
  }
  void TearDown() override {
    ReleaseHandlerPatterns(an_);
    EngineTest::TearDown();
  }
  void Use(int n, const char* templ) {
    Engine().evtdata.templ[n] = templ;
    Engine().evtdata.templ_present[n] = true;
  }
  std::string Lesb(const std::string& added) {
    Engine().result.AAddedData = added;
    Engine().result.ASymptom.clear();
    EXPECT_NE(nullptr, EH_lesb(0, "evt_fc_lesb", "port 0:1:2 errors"));
    return Engine().result.ASymptom;
  }
};

// Cage before host and the missing heading run through qdAnalyze; here
// the placeholder when the symptom holds two.
TEST_F(StateTest, LesbReplacesOnlyTheFirstPlaceholder) {
  EXPECT_EQ("PORT0:1:2 FCLESB_HOST link errors FCLESB_ERR",
            Lesb("\n   Zarvekdata LESB counts\n  host2   0x01 21000000870B1234  9 0 0 0 0 0\n"));
}

TEST_F(StateTest, CompStateFillsOnlyStateTagsWithoutValue) {
  InstallTags({{"OverallState"}, {"StCompType"}, {"StCompState"}, {"Type"}});
  Use(0, "state_%TOverallState. [%TStCompType.] [%TStCompState.]");
  ASSERT_NE(nullptr, EH_compstate(0, "evt_comp_state", "s"));
  EXPECT_EQ("state_unknown state [] []", Engine().result.ASymptom);

  Tag("OverallState").data = "degraded";
  Tag("OverallState").flags |= TAG_HAS_DATA;
  Tag("StCompType").data = "<no value>";
  Tag("StCompState").data = "failed";
  Tag("StCompState").flags |= TAG_HAS_DATA;
  EH_compstate(0, "evt_comp_state", "s");
  EXPECT_EQ("state_degraded [] [failed]", Engine().result.ASymptom);
}

std::string Memval(char node, const char* value_line) {
  return std::string("\n----- showmemval node") + node + " -----\n" +
         "Dumping flusher_speed for node" + node + " at 0x40a1b000\n" + value_line + "\n";
}

TEST_F(StateTest, NodeIntegReportsEveryBadFlusherInOrder) {
  Use(0, "%V0.|flusher flusher_state_bad");
  AnalysisResult& r = Engine().result;
  r.AUrgency = 'L';
  r.AAddedData = Memval('0', "flusher_speed+0x000: 3 STALLED 0x40a1b000") +
                 Memval('1', "flusher_speed+0x000: 0 RUNNING 0x40a1b000") +
                 Memval('2', "flusher_speed+0x000:\t1\tSLOW\t0x40a1b000");
  ASSERT_NE(nullptr, EH_nodeinteg(0, "evt_node_integ", "integrity check"));
  EXPECT_EQ("NODE0|flusher flusher_state_bad", r.ASymptom);
  EXPECT_EQ('H', r.AUrgency);
  EXPECT_EQ("\nNode0 flusher_speed has a bad state (STALLED)\n"
            "Node2 flusher_speed has a bad state (SLOW)\n"
            "\nContact Zarvek Support to resolve this problem.\n",
            r.AExtraText);
  EXPECT_FALSE(r.ForceUrgencyIgnore);
}

TEST_F(StateTest, NodeIntegDropsEventsWithoutABadFlusher) {
  AnalysisResult& r = Engine().result;
  // A section without its value line does not borrow the next section's,
  // and a value line without a state says nothing.
  r.AAddedData = "\n----- showmemval node0 -----\nDumping flusher_speed for node0\n(read error)\n" +
                 Memval('1', "flusher_speed+0x000: 0 RUNNING") +
                 Memval('2', "flusher_speed+0x000:");
  EXPECT_EQ(nullptr, EH_nodeinteg(0, "evt_node_integ", "integrity check"));
  EXPECT_TRUE(r.ForceUrgencyIgnore);
  EXPECT_EQ("integrity check; No flusher state problem", r.ASymptom);
  EXPECT_EQ("", r.AExtraText);

  r = AnalysisResult();
  r.AAddedData = "VQX level for Velmar 1400123 is 2.3.1.45\n";
  EXPECT_EQ(nullptr, EH_nodeinteg(0, "evt_node_integ", "x"));
  EXPECT_EQ("x; No flusher state problem", r.ASymptom);
}

}  // namespace
