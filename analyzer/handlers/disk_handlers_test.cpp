// The disk handlers' decisions on a hand-built engine (no database: the
// report itself is tested against one in tests/analyzer_handlers_disk).
#include <cstdio>
#include <string>

#include "disk_fail_rules.h"
#include "engine_test_fixture.h"
#include "event_handlers.h"
#include "handler_patterns.h"

namespace {

// A disk listing as the collector attaches it, with the given first line.
std::string Listing(const std::string& disk_line) {
  return "\n\nVQX level for Velmar 1400123 is 2.3.1.45\n"
         "\n     ---------- showpd 12 ----------\n"
         " Id Cage_Pos SizeMB  Type RPM Port_A0 Port_B0 State\n" +
         disk_line + "\n";
}

const char kFailEvent[] =
    "pd 12 (2:3:1) failed: Failure: disk is sick on disk wwn 2000001D38C0A7F1. "
    "Vqx error code = TE_HWERR - hardware error Vqx error info = 0x4 - sense Sys error code = 5";

class DiskHandlerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    st_.app = &an_;
    ASSERT_EQ(0, CompileHandlerPatterns(st_, EventHandlerPatternTexts()));
    InstallPatterns({{"evt_dskfail", 10, 0, "(.*)", {}},
                     {"evt_dskerr", 10, 0, "^(.*)Vqx error code =[[:blank:]]*([[:alnum:]_]+)", {}},
                     {"evt_dskerr", 20, 1, "(.*)", {}},
                     {"evt_dskabrt", 10, 0, "command 0x2a", {}},
                     {"evt_ldsk", 10, 9, "preserved", {}},
                     {"evt_ldsk", 20, 0, "(.*)", {}}});
    EventData& row = Engine().evtdata;
    for (int t : {0, 1, 9}) row.templ_present[t] = true;
    row.templ[0] = "PD12|2:3:1 %V1. Disk event(evt)";
    row.templ[1] = "PD12|2:3:1 disk_error Disk event(evt)";
    row.templ[9] = "LD1|x ld_preserved Preserved(evt)";
    Engine().result.AUrgency = 'H';
    for (auto& value : Engine().msgval) std::snprintf(value, sizeof value, "<no value>");
    std::snprintf(Engine().event_name, sizeof Engine().event_name, "evt_dskfail");
  }
  void TearDown() override {
    ReleaseHandlerPatterns(an_);
    EngineTest::TearDown();
  }
  std::string Key(int k) const { return Engine().Mkey[k - 1]; }
  std::string Msg(int n) const { return Engine().msgval[n]; }
  std::string Keys() const {
    std::string all;
    for (int k = 1; k <= 6; ++k) all += Key(k) + (k < 6 ? "," : "");
    return all;
  }
};

// ---- the failure category, apart from where its inputs come from --------

TEST(DiskFailRules, PositionSplitsIntoCageMagazineAndDisk) {
  struct Case { const char* position; const char* cage; const char* mag; const char* disk; };
  for (const Case& c : {Case{"2:3:1", "2", "3", "1"}, Case{"--", "?", "?", "?"},
                        Case{"-", "?", "?", "?"}, Case{"2:?:1", "2", "?", "?"},
                        Case{"4:0", "4", "0", "?"}, Case{"5", "5", "?", "?"},
                        Case{"2:3:1:7", "2", "3", "1:7"}}) {
    FailedDisk disk;
    SplitDiskPosition(c.position, disk);
    EXPECT_EQ(c.cage, disk.cage) << c.position;
    EXPECT_EQ(c.mag, disk.magazine) << c.position;
    EXPECT_EQ(c.disk, disk.position) << c.position;
  }
}

TEST(DiskFailRules, StateAndFailureTextChooseTheCategory) {
  struct Case { const char* state; const char* failure; const char* category; };
  const Case cases[] = {
      {"FAILED", "disk is sick", "FCdisk146800"},
      {"FAILED", "x Primary port is sick for more than 12 minutes y", "MaintenanceInProgress"},
      {"FAILED", "Disk missing for 4 minutes", "MaintenanceInProgress"},
      {"FAILED", "-NotFound-", "CallSupport"},
      {"VALID", "-NotFound-", "CallSupport"},
      {"MISSING", "Disk missing for 4 minutes", "CallSupport"},
      {"NOTREADY", "Not ready for 4 minutes", "MaintenanceInProgress"},
      {"NOTREADY", "Drive state has been not-ready for 4 minutes", "MaintenanceInProgress"},
      {"NOTREADY", "Not ready for 3 minutes", "CallSupport"},
      {"INVDRVFW", "bad firmware", "CallSupport"},
      {"DEGRADED", "anything", "CallSupport"},
      {"VALID", "disk is sick", "TemporaryError"},
  };
  for (const Case& c : cases) {
    FailedDisk disk;
    disk.state = c.state;
    disk.failure = c.failure;
    disk.size = "146800";
    DiskVerdict verdict = ClassifyDiskFailure(disk);
    EXPECT_EQ(c.category, verdict.category) << c.state << " / " << c.failure;
    EXPECT_EQ(std::string(c.category) == "TemporaryError", verdict.transient) << c.state;
  }
}

// ---- EH_dskfail (keys, details and reports of each category: the program
// tests in tests/analyzer_handlers_disk) -----------------------------------

TEST_F(DiskHandlerTest, ValidDiskIsTransientAndAnUnplacedOneStaysUnknown) {
  Engine().result.AAddedData = Listing(" -- --    146800  FC   10  0:0:1*  1:0:1   Valid");
  EH_dskfail(0, "evt_dskfail",
             "pd 12 failed: Failure: Drive gone on disk 2000001D38C0A7F1. Vqx error info = 0x4 - sense "
             "Sys error code = 5");
  EXPECT_EQ("TemporaryError", Key(4));
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ(" - TRANSIENT", Msg(9));
  EXPECT_EQ(kTransientNote, Engine().result.AExtraText.substr(0, std::string(kTransientNote).size()));
  EXPECT_EQ("~Comp=PD?~Loc=CAGE?|DM?|HD?~PDstate=VALID~Failure=Drive gone~", Engine().result.EADetails);
  EXPECT_EQ("-NotFound-", Msg(5));
  EXPECT_EQ("0x4 ", Msg(6));
  EXPECT_EQ("5", Msg(7));
}

TEST_F(DiskHandlerTest, MissingListingOrUnusablePatternGiveTheFailedAnalysisReport) {
  EH_dskfail(0, "evt_dskfail", kFailEvent);
  EXPECT_EQ("AnalysisFailed,na,na,na,na,na", Keys());
  EXPECT_EQ("~Reason='showpd #' output not available~", Engine().result.EADetails);
  EXPECT_STREQ("evt_dskfail", Engine().event_name) << "restored after the failed-analysis report";
  EXPECT_EQ(0, Count(Log(), "QDA0042")) << "a missing listing is quiet";

  Engine().result.AAddedData = Listing(" 12 2:3:1 146800 FC 10 0:0:1 1:0:1 failed");
  regfree(&an_.patterns[13]->regex);
  an_.patterns[13]->compiled = false;
  EH_dskfail(0, "evt_dskfail", kFailEvent);
  EXPECT_EQ("AnalysisFailed", Key(1));
  EXPECT_EQ(1, Count(Log(), "QDA0042 A Extended analysis failed: Patterns failed to compile at initialization"));
}

TEST_F(DiskHandlerTest, OnTheServiceProcessorOnlyTheTemplateIsChosen) {
  st_.on_sp = true;
  Engine().result.AAddedData = Listing(" 12 2:3:1 146800 FC 10 0:0:1 1:0:1 valid");
  EXPECT_NE(nullptr, EH_dskfail(0, "evt_dskfail", kFailEvent));
  EXPECT_EQ(",,,,,", Keys());
  EXPECT_EQ("", Engine().result.EADetails);
  EXPECT_EQ('H', Engine().result.AUrgency);
  EXPECT_EQ("PD12|2:3:1 <no value> Disk event(evt)", Engine().result.ASymptom);
  EXPECT_EQ(0, Count(Log(), "QDZ0100")) << "no report attempted";
}

// ---- EH_dskerr ----------------------------------------------------------

TEST_F(DiskHandlerTest, CommandStatusDecidesUrgencyKeysAndTheSymptomsShape) {
  EH_dskerr(0, "evt_dskerr", "pd 12 cmd failed. Vqx error code = TE_MEDFAIL - medium");
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ(",,,,,", Keys());

  Engine().result.AUrgency = 'H';
  EH_dskerr(0, "evt_dskerr", "pd 12 cmd failed. Vqx error code = TE_HWERR - hardware");
  EXPECT_EQ('H', Engine().result.AUrgency);
  EXPECT_EQ(",,,,,", Keys());

  EH_dskerr(0, "evt_dskerr", "pd 12 cmd failed without a status");
  EXPECT_EQ("na,na,na,UnknownError,na,na", Keys());
  EXPECT_EQ("PD12|2:3:1", Msg(0));
  EXPECT_EQ("disk_error", Msg(1)) << "template 1 of the catch-all line";
  EXPECT_EQ("~Comp=PD12|2:3:1~CmdStat=disk_error~", Engine().result.EADetails);

  Engine().evtdata.templ[1] = "PD-12 disk_error";
  Engine().result.EADetails.clear();
  EH_dskerr(0, "evt_dskerr", "pd 12 cmd failed without a status");
  EXPECT_EQ(1, Count(Log(), "QDA0042 A Extended analysis failed: Unexpected format in symptom string"));
  EXPECT_EQ("", Engine().result.EADetails);

  Engine().evtdata.templ[1] = "PD-12 disk_error Detail";
  EH_dskerr(0, "evt_dskerr", "x");
  EXPECT_EQ("PD", Msg(0)) << "cut at the first hyphen";
}

// ---- EH_dskabrt and EH_notifycomp -----------------------------------------

TEST_F(DiskHandlerTest, AbortLowersUrgencyAlwaysAndNoticeOnlyOnRuleNine) {
  EXPECT_EQ(nullptr, EH_dskabrt(0, "evt_dskabrt", "no match here"));
  EXPECT_EQ('L', Engine().result.AUrgency);

  Engine().result.AUrgency = 'H';
  PatternEntry* entry = EH_notifycomp(0, "evt_ldsk", "ld 1 failed");
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ('H', Engine().result.AUrgency);
  entry = EH_notifycomp(0, "evt_ldsk", "ld 1 data preserved");
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(9, entry->rule);
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ("LD1|x ld_preserved Preserved(evt)", Engine().result.ASymptom);
}

}  // namespace
