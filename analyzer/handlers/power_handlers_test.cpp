#include "power_state.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine_test_fixture.h"
#include "event_handlers.h"
#include "handler_patterns.h"
#include "power_history.h"

namespace {

// The command output the collection stand-in prints, from sim/outputs.
std::string Output(const std::string& name) {
  const char* top = std::getenv("QD_SOURCE_DIR");
  std::ifstream in(std::string(top ? top : ".") + "/sim/outputs/" + name);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_FALSE(text.str().empty()) << name;
  return text.str();
}

// One collected command as the collector attaches it: a heading line, then
// the output.
std::string Section(const std::string& command, const std::string& file) {
  return "\n  ----- " + command + " -----\n" + Output(file);
}

const char kCliFailed[] = "\nCLI showbattery failed returned 1\n";

struct HistoryCall {
  int calls = 0;
  PsHistoryQuery query = kPsNotPresentRecently;
  std::string like;
  long answer = 0;
  bool fail = false;
} g_history;

int FakeHistory(PsHistoryQuery query, const std::string&, const std::string&, const std::string&,
                const std::string& like, long& count) {
  ++g_history.calls;
  g_history.query = query;
  g_history.like = like;
  if (g_history.fail) return -1;
  count = g_history.answer;
  return 0;
}

class PowerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    st_.app = &an_;
    ASSERT_EQ(0, CompileHandlerPatterns(st_, EventHandlerPatternTexts()));
    InstallPatterns({{"evt_ps_acstatus", 10, 0, "(.*)", {}},
                     {"evt_bat_expired", 10, 0, "will expire", {}},
                     {"evt_bat_expired", 20, 1, "(.*)", {}}});
    Engine().evtdata.templ[0] = "PS %V0.";
    Engine().evtdata.templ_present[0] = true;
    Engine().evtdata.templ[1] = "BAT expired";
    Engine().evtdata.templ_present[1] = true;
    g_history = HistoryCall();
    Engine().seams.ps_history_count = FakeHistory;
  }
  void TearDown() override {
    ReleaseHandlerPatterns(an_);
    EngineTest::TearDown();
  }
  void Added(const std::string& text) { Engine().result.AAddedData = "VQX level\n" + text + "\n"; }
  std::string Key(int k) const { return Engine().Mkey[k - 1]; }
  std::string Keys() const {
    std::string all;
    for (int k = 1; k <= 6; ++k) all += (k > 1 ? "," : "") + Key(k);
    return all;
  }
  PatternEntry* NodePower(const std::string& event) {
    return EH_nodepower(0, "evt_ps_acstatus", event);
  }
  PatternEntry* Battery(const char* event, const char* handler, const std::string& s) {
    std::snprintf(Engine().evtdata.handlername, sizeof Engine().evtdata.handlername, "%s", handler);
    return EH_battery(0, event, s);
  }
};

TEST(PowerState, FormatNormalisesStates) {
  EXPECT_EQ("OK", EA_format_psstate("  Present & OK \n"));
  EXPECT_EQ("AC_FAIL", EA_format_psstate("AC fail (x)"));
  EXPECT_EQ("NOT_PRESENT", EA_format_psstate("not\tpresent"));
  EXPECT_EQ("", EA_format_psstate(" \n"));
}

// ---- the look-ups ----------------------------------------------------------

TEST_F(PowerTest, ShownodeGivesEachPowerSupplysStateAndIgnoresNodeBlocks) {
  Added(Section("shownode -verbose", "shownode_-verbose.txt") +
        Section("showbattery", "showbattery.txt"));
  EXPECT_FALSE(EA_NodeState("1"));
  EXPECT_EQ("1", ShowNode().node);
  EXPECT_EQ("AC_FAIL", ShowNode().ps_state[0]);
  EXPECT_EQ("NOT_PRESENT", ShowNode().ps_state[1]);
  EXPECT_FALSE(EA_NodeState("0"));
  EXPECT_EQ("OK", ShowNode().ps_state[0]);
  EXPECT_EQ("OK", ShowNode().ps_state[1]);

  // A node the output does not list is logged; only a failed CLI command
  // makes the data missing.
  EXPECT_FALSE(EA_NodeState("2"));
  EXPECT_NE(std::string::npos, Log().find("Failed to find Node2 PS data in shownode -verbose"));
  Engine().result.AAddedData += kCliFailed;
  EXPECT_TRUE(EA_NodeState("2"));
  EXPECT_EQ("Missing", ShowNode().node);
}

TEST_F(PowerTest, OldLayoutBatteriesLifeAndBatteryFail) {
  Added(Section("showbattery", "old/showbattery.txt"));
  EXPECT_FALSE(EA_BatteryState("0", "0"));
  const ShowBattState& b = ShowBatt();
  EXPECT_TRUE(b.old_layout);
  EXPECT_EQ(25, b.life);
  EXPECT_EQ(2, b.count);
  EXPECT_EQ("OK", b.batteries[0].state);
  EXPECT_FALSE(b.batteries[0].charging);
  EXPECT_EQ("BT0301", b.batteries[0].serial);
  EXPECT_EQ("FAILED", b.batteries[1].state);
  EXPECT_TRUE(b.batteries[1].charging);
  EXPECT_EQ("OK", ShowNode().ps_state[0]);

  EXPECT_FALSE(EA_BatteryState("0", "1"));
  EXPECT_EQ(2, ShowBatt().count) << "power supply 1's block ends at node 1";
  EXPECT_EQ("Missing", ShowBatt().batteries[1].serial);

  // A power supply without batteries is logged but not missing data.
  EXPECT_FALSE(EA_BatteryState("1", "0"));
  EXPECT_TRUE(ShowBatt().no_battery_found);
  EXPECT_EQ("AC_FAIL", ShowNode().ps_state[0]);
  EXPECT_NE(std::string::npos, Log().find("Failed to find battery in old showbattery"));
}

TEST_F(PowerTest, Layout220AssignsExpiredBatteriesInOrder) {
  Added(Section("showbattery", "2.2.0/showbattery.txt") + Section("showversion", "old/showbattery.txt"));
  EXPECT_FALSE(EA_BatteryState("0", "0"));
  const ShowBattState& b = ShowBatt();
  EXPECT_FALSE(b.old_layout);
  EXPECT_EQ(28, b.life);
  EXPECT_EQ(2, b.count);
  EXPECT_EQ("EXPIRED", b.batteries[0].state);
  EXPECT_TRUE(b.batteries[0].expired);
  EXPECT_EQ("OK", b.batteries[1].state);
  EXPECT_EQ("BT2202", b.batteries[1].serial);

  EXPECT_FALSE(EA_BatteryState("1", "0"));
  EXPECT_EQ("FAILED", ShowBatt().batteries[0].state);
  EXPECT_EQ("OK", ShowBatt().batteries[1].state);
  EXPECT_TRUE(ShowBatt().batteries[1].charging);

  // The last battery's text stops at the end of the section.
  EXPECT_FALSE(EA_BatteryState("1", "1"));
  EXPECT_EQ("FAILED", ShowNode().ps_state[1]);
  EXPECT_EQ("Missing", ShowBatt().batteries[0].serial);
  EXPECT_EQ("OK", ShowBatt().batteries[1].state);
}

TEST_F(PowerTest, Layout222SectionsPerBattery) {
  Added(Section("showbattery -verbose", "showbattery.txt") +
        Section("shownode -verbose", "shownode_-verbose.txt"));
  EXPECT_FALSE(EA_BatteryState("0", "0"));
  const ShowBattState& b = ShowBatt();
  EXPECT_EQ(2, b.count);
  EXPECT_EQ(26, b.life);
  EXPECT_EQ("Voltrix", b.batteries[0].manufacturer);
  EXPECT_EQ("VB-1180", b.batteries[1].model);
  EXPECT_EQ("FAILED", b.batteries[1].state);
  EXPECT_TRUE(b.batteries[1].charging);
  EXPECT_FALSE(b.batteries[0].charging);

  EXPECT_FALSE(EA_BatteryState("0", "1"));
  EXPECT_EQ(1, ShowBatt().count) << "the section ends at the next command's heading";
  EXPECT_EQ("Missing", ShowBatt().batteries[0].serial);
  EXPECT_TRUE(ShowBatt().batteries[0].expired);
}

TEST_F(PowerTest, AbsentOrFailedOutputIsMissing) {
  Added("nothing collected");
  EXPECT_TRUE(EA_BatteryState("0", "0"));
  EXPECT_EQ("NotFound", ShowBatt().node);
  EXPECT_EQ(std::string::npos, Log().find("QDA0042")) << "absent output is quiet";

  Added(Section("showbattery -verbose", "showbattery.txt") + kCliFailed);
  EXPECT_TRUE(EA_BatteryState("4", "0")) << "no battery and a failed CLI command";
  EXPECT_NE(std::string::npos, Log().find("Failed to find battery detail in 2.2.2 showbattery"));

  EXPECT_FALSE(EA_BatteryState("0", "3"));  // looked up as power supply 0
  EXPECT_EQ(2, ShowBatt().count);
  EXPECT_NE(std::string::npos, Log().find("Node 0 PS '3' is invalid"));
}

// ---- the node power decisions ---------------------------------------------

TEST_F(PowerTest, NodePowerFailureAgainstCurrentState) {
  Added(Section("shownode -verbose", "shownode_-verbose.txt"));
  ASSERT_NE(nullptr, NodePower("Node 0 Power Supply 1 AC fail (input lost)"));
  EXPECT_EQ("AC_FAIL,na,na,TemporaryError,na,na", Keys());
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ(0, g_history.calls) << "only a power supply still failed asks the history";

  // Still failed: the earlier rows of that power supply decide; a database
  // error counts as one.
  NodePower("Node 1 Power Supply 0 DC fail");
  EXPECT_EQ("DC_FAIL,na,na,NodePS,na,na", Keys());
  EXPECT_EQ(kPsFailedRecently, g_history.query);
  EXPECT_EQ("%~Comp=PS0~Loc=NODE1~%", g_history.like);
  g_history.fail = true;
  NodePower("Node 1 Power Supply 0 DC fail");
  EXPECT_EQ("DC_FAIL,na,MultipleErrors,CallSupport,na,na", Keys());
}

TEST_F(PowerTest, NodePowerRecoveryFanAndChargerEvents) {
  Added(Section("shownode -verbose", "shownode_-verbose.txt"));
  Engine().result.AModel = "E200";
  NodePower("Node 0 Power Supply 0 AC OK");
  EXPECT_EQ("AC_OK,na,na,None,Override,na", Keys());
  NodePower("Node 1 Power Supply 0 AC OK");
  EXPECT_EQ("AC_OK,na,na,ConflictingData,Override,na", Keys());
  NodePower("Node 1 Power Supply 1 Fan OK");
  EXPECT_EQ("FAN_OK,na,na,None,E-series,na", Keys());

  g_history.answer = 2;
  NodePower("Node 1 Power Supply 1 Fan fail");
  EXPECT_EQ("FAN_FAIL,na,na,MaintenanceInProgress,E-series,na", Keys());
  EXPECT_EQ(kPsNotPresentRecently, g_history.query);
  g_history.fail = true;  // counted as none
  NodePower("Node 1 Power Supply 1 Fan fail");
  EXPECT_EQ("FAN_FAIL,na,na,NodePS,E-series,na", Keys());

  NodePower("Node 1 Power Supply 0 Charger overload");
  EXPECT_EQ("CHARGER_OVERLOAD,na,na,SeeRelatedEvents,E-series,na", Keys());
  EXPECT_EQ("\nAdditional information shows a Node PS status of AC_FAIL",
            std::string(Engine().msgval[3]));
  NodePower("Node 1 Power Supply 1 Charger overload");
  EXPECT_EQ("CHARGER_OVERLOAD,na,na,CallSupport,E-series,na", Keys());
  NodePower("Node 0 Power Supply 0 Fuse blown");
  EXPECT_EQ("FUSE_BLOWN,na,na,TemporaryError,E-series,na", Keys());
}

TEST_F(PowerTest, NodePowerWithoutDataOrWithBadEvents) {
  Added("no output");
  NodePower("Node 0 Power Supply 0 Charger overload");
  EXPECT_EQ("AnalysisFailed", Key(1));
  EXPECT_EQ("'showbattery/shownode' output not available", std::string(Engine().msgval[8]));

  NodePower("Node 0 Power Supply 0 Fan fail");
  EXPECT_EQ("FAN_FAIL,na,na,NodePS,na,MissingData", Keys());
  NodePower("Node 0 Power Supply 0 Wobbly");
  EXPECT_EQ("OTHER,na,na,CallSupport,na,MissingData", Keys());

  NodePower("Node 1 Power Supply 2 AC fail");
  EXPECT_EQ("AnalysisFailed", Key(1));
  EXPECT_NE(std::string::npos, Log().find("Node 1 power supply number '2' is invalid."));
  NodePower("power supply trouble");
  EXPECT_EQ("parse of event data failed", std::string(Engine().msgval[8]));
}

// ---- the battery decisions -------------------------------------------------

TEST_F(PowerTest, BatteryFailureByLayout) {
  Added(Section("showbattery", "old/showbattery.txt"));
  Battery("evt_bat_fail", "battery", "Node 0 PS 0 Battery 1 failed");
  EXPECT_EQ("na,na,na,CheckBatteryOn,na,TIB0008", Keys());
  EXPECT_EQ("~Comp=BAT1~Loc=NODE0|PS0~BattMfg=NotFound~BattModel=NotFound~BattSerial=BT0302"
            "~BattState=FAILED~BattCount=2~BattLife=25~NoBattFound=false~",
            Engine().result.EADetails);
  Battery("evt_bat_fail", "battery", "Node 0 PS 0 Battery 0 failed");
  EXPECT_EQ("na,na,na,TemporaryError,na,na", Keys());
  EXPECT_EQ(" - TRANSIENT", std::string(Engine().msgval[9]));
  EXPECT_EQ('L', Engine().result.AUrgency);
  Battery("evt_bat_fail", "battery", "Node 1 PS 0 Battery 0 failed");
  EXPECT_EQ("na,na,na,CallSupport,na,na", Keys());

  Added(Section("showbattery -verbose", "showbattery.txt"));
  Battery("evt_bat_fail", "battery", "Node 0 PS 0 Battery 1 failed");
  EXPECT_EQ("na,na,na,CheckBatteryOn,na,na", Keys());
  Battery("evt_bat_fail", "battery", "Node 0 PS 0 Battery 7 failed");
  EXPECT_EQ("na,na,na,CheckBatteryOn,na,na", Keys()) << "a battery beyond the slots reads NotFound";

  Added(kCliFailed);
  Battery("evt_bat_fail", "battery", "Node 0 PS 0 Battery 1 failed");
  EXPECT_EQ("na,na,na,CallSupport,na,MissingData", Keys());
}

TEST_F(PowerTest, BatteryTestExpiryAndCountEvents) {
  Added(Section("showbattery", "old/showbattery.txt"));
  Battery("evt_bat_swfail", "battery", "Node 0 PS 0 Battery 0 test failed");
  EXPECT_EQ("na,na,na,TemporaryError,na,na", Keys());
  Added(Section("showbattery -verbose", "showbattery.txt"));
  Battery("evt_bat_swfail", "battery", "Node 0 PS 0 Battery 0 test failed");
  EXPECT_EQ("na,na,na,Battery,na,TIB0008A", Keys());
  Battery("evt_bat_swfail", "battery", "Node 0 PS 0 Battery 1 test failed");
  EXPECT_EQ("na,na,na,Battery,na,na", Keys());

  ASSERT_NE(nullptr, Battery("evt_bat_expired", "PATbattery", "Node 0 PS 0 Battery 0 will expire"));
  EXPECT_EQ("na,na,WillExpire,Battery,na,na", Keys());
  EXPECT_EQ("VB03412", std::string(Engine().msgval[3]));
  Battery("evt_bat_expired", "PATbattery", "Node 0 PS 1 Battery 0 has expired");
  EXPECT_EQ("na,na,NoBatterySerial,SetupBatteryInfo,na,na", Keys());
  Battery("evt_bat_expired", "PATbattery", "Node 0 PS 0 Battery 4 has expired");
  EXPECT_EQ("na,na,na,CallSupport,na,na", Keys());

  Battery("evt_bat_badcount", "battery", "Node 1 PS 1 Battery 0 count wrong");
  EXPECT_EQ("~Comp=PS1~Loc=NODE1~BattCount=1~BattLife=25~NoBattFound=false~",
            Engine().result.EADetails);
  Battery("evt_bat_oldbat", "battery", "Node 1 PS 1 Battery 0 is old");
  EXPECT_EQ("na,na,na,CheckAdminAndSetup,na,na", Keys());
  Battery("evt_bat_nobats", "battery", "no batteries");
  EXPECT_EQ("na,na,na,Battery,na,na", Keys());
  Battery("evt_bat_fail", "battery", "battery 3 failed");
  EXPECT_EQ("AnalysisFailed", Key(1));
}

}  // namespace
