// EH_jbodevt on a hand-built engine: the code table, the stale test, and
// the checks against "showcage -d" output, with the database (message
// texts, report, history) replaced by recording fakes.
#include "cage_handler.h"

#include <string>

#include "engine_test_fixture.h"
#include "event_handlers.h"
#include "handler_patterns.h"

namespace {

// What the fakes saw and answer.
struct Fakes {
  bool text_found = true;
  bool report_fails = false;
  int reports = 0;
  bool resymptom = false;
  int failures = 0;
  std::string reason;
  bool quiet = false;
  long history = 0;
  int history_calls = 0;
  std::string history_like;
} g;

int FakeText(char* out, int length) {
  std::snprintf(out, length, "%s", g.text_found ? "cage says %M0." : "*MsgTextNotFound*");
  return g.text_found ? 0 : 1;
}
// A written report sets the symptom, as EA_common does.
bool FakeReport(int, PatternEntry*, bool resymptom, bool) {
  ++g.reports;
  g.resymptom = resymptom;
  if (g.report_fails) return false;
  Engine().result.ASymptom = "from the report";
  return true;
}
void FakeFailed(const std::string& reason, bool quiet, int, PatternEntry*, bool) {
  ++g.failures;
  Engine().result.ASymptom = "from the failed report";
  g.reason = reason;
  g.quiet = quiet;
}
int FakeHistory(const char*, const char*, const char* like, long* count) {
  ++g.history_calls;
  g.history_like = like;
  *count = g.history;
  return 0;
}

// "showcage -d" output of one cage: two power supplies, three disks at
// 33, 39 and `hot` degrees, two magazines, loop card states.
std::string Showcage(int hot = 41, const char* ps1 = "ps1  Failed  LoSpeed  Failed  Magna-2",
                     const char* state = "Normal Op,Normal Op", const char* mag1 = "Green") {
  return std::string("\n---------- showcage -d cage2 ----------\n") +
         "Id Name LoopA Pos.A LoopB Pos.B Drives Temp RevA RevB Model\n"
         " 2 cage2 0:0:1 0 1:0:1 0 3 33-41 08 08 DC2\n"
         "  Position: rack 3 unit 12\n"
         "  State(self,partner)  " + state + "  Normal Op,Normal Op\n"
         "  VendorId,ProductId   ACME,DC2-LCC   ACME,DC2-LCC\n"
         "  Power Supply Info  State  Fan State  AC  Model\n"
         "  ps0  OK  OK  OK  Acme-1\n"
         "  " + ps1 + "\n"
         "  Mag SysLED  Pwr  Hot\n"
         "   0   Green   On   No\n"
         "   1   " + mag1 + "   On   No\n"
         "\n"
         "  0:0  2000001862FC0001  Normal  33  ok\n"
         "  1:0  2000001862FC0002  Normal  39  ok\n"
         "  2:0  2000001862FC0003  Normal  " + std::to_string(hot) + "  ok\n";
}

class CageHandlerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g = Fakes();
    AnalyzerSeams& seams = Engine().seams;
    seams.msg_text = FakeText;
    seams.report = FakeReport;
    seams.report_failed = FakeFailed;
    seams.cage_history_count = FakeHistory;
    st_.app = &an_;
    ASSERT_EQ(0, CompileHandlerPatterns(st_, EventHandlerPatternTexts()));
    InstallTags({{"CompType"}, {"EventString"}, {"Time"}});
    Tag("CompType").data = "CAGE";
    InstallPatterns({{"evt_jbod_jtype", 10, 1,
                      "Code ([[:alnum:]]+) (parms)[[:blank:]]*([^:]*): *(.*)",
                      {"RV0", "RV1", "RV2", "RV3"}},
                     {"evt_jbod_jtype", 20, 0, "(.*)", {}}});
    EventData& row = Engine().evtdata;
    row.templ_present[0] = row.templ_present[1] = true;
    row.templ[0] = "CAGE2 cage_event plain";
    row.templ[1] = "CAGE2|%V8. cage_event %V9.%M8.";
  }
  void TearDown() override {
    ReleaseHandlerPatterns(an_);
    EngineTest::TearDown();
  }

  // Runs the handler on a cage event with `code` and `parms`, the cage
  // clock `cage_time` (the text after "cage time"), the event 2005-04-15
  // 10:24:30 local time.
  PatternEntry* Run(const std::string& code_and_parms, const std::string& added = Showcage(),
                    const std::string& cage_time = "Fri Apr 15 10:19:02 2005") {
    const std::string event = "Cage2-A, cage time " + cage_time + ". Code " + code_and_parms;
    struct tm tm = {};
    tm.tm_year = 105, tm.tm_mon = 3, tm.tm_mday = 15, tm.tm_hour = 10, tm.tm_min = 24,
    tm.tm_sec = 30, tm.tm_isdst = -1;
    Tag("Time").data = std::to_string(static_cast<long>(mktime(&tm)));
    Tag("EventString").data = event;
    Engine().result.AAddedData = added;
    Engine().result.AUrgency = 'H';
    Engine().result.AExtraText.clear();
    for (auto& key : Engine().Mkey) key[0] = '\0';
    for (auto& value : Engine().msgval) value[0] = '\0';
    g.reports = g.failures = 0;
    return EH_jbodevt(0, "evt_jbod_jtype", event);
  }
  std::string Key(int n) const { return Engine().Mkey[n - 1]; }
  std::string V(int n) const { return Engine().capture[n]; }
  std::string M(int n) const { return Engine().msgval[n]; }

};

TEST_F(CageHandlerTest, CodeTableNamesThePartAndKeys) {
  struct Case {
    const char* event;
    const char* v8;
    const char* key2;
    const char* key3;
  } cases[] = {
      {"58 parms 0x1 0x35 0x0: x", "DM3|HD5", "parm0=1", "na"},
      {"58 parms 0x12 0x35 0x1: x", "FCAL3|SFP5", "parm0=18", "na"},
      {"58 parms 0x7 0x21: x", "Unk2|Unk1", "parm0=7", "na"},
      {"60 parms 0x1 0x0 0x4 0x7 0x2: x", "DM4|HD7", "parm0=1", "na"},
      {"6 parms 0x3 0x1 0x5: x", "LOOPB", "parm0=3", "parm2=5"},
      {"6 parms 0x3 0x7: x", "LOOP?7?", "parm0=3", "parm2=0"},
      {"9 parms 0x0 0x2 0xb: x", "DM2|HD11", "parm0=0", "na"},
      {"51 parms 0x2 0x1 0x3: x", "MDPL1|PMC3", "parm0=2", "na"},
      {"51 parms 0x1 0x1 0x3: x", "MDPL", "parm0=1", "na"},
      {"10 parms 0 0 0 0 0 0 0 0 0x9: x", "<no value>", "parm8=9", "na"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(nullptr, Run(c.event)) << c.event;
    EXPECT_EQ(c.v8, V(8)) << c.event;
    EXPECT_EQ("code=" + std::string(c.event).substr(0, std::string(c.event).find(' ')), Key(1));
    EXPECT_EQ(c.key2, Key(2)) << c.event;
    EXPECT_EQ(c.key3, Key(3)) << c.event;
    EXPECT_EQ("na", Key(5));
    EXPECT_EQ(0, g.reports) << "codes without a check write no report";
  }
  Run("58 parms 0x1 0x35 0x3: x");
  EXPECT_EQ("B", M(2));
  // Double expansion: the message text's own references are filled in.
  EXPECT_EQ("CAGE2|DM3|HD5 cage_event cage says 3\nCage position: rack 3 unit 12.",
            Engine().result.ASymptom);
  Run("57 parms 0x4: x");
  EXPECT_EQ("9", M(1));
  Run("57 parms 0x3: x");
  EXPECT_EQ("?", M(1));
  Run("0x3a parms 0x2 0x20: x");  // the code in hexadecimal is 58 too
  EXPECT_EQ("FCAL2|SFP0", V(8));
}

TEST_F(CageHandlerTest, ChipValuesAndUnknownCodes) {
  Run("27 parms 0x1 0x1 0x8c: x", "");  // 0x8c: chip kind 4, position (12 >> 1)
  EXPECT_EQ("write", M(0));
  EXPECT_EQ("serial controller chip", M(1));
  EXPECT_EQ("DM6", V(8));
  Run("27 parms 0x0 0x1 0xce: x", "");  // 206: position unknown
  EXPECT_EQ("DM?", V(8));
  Run("27 parms 0x5 0x2 0xa1: x", "");
  EXPECT_EQ("unknown", M(0));
  EXPECT_EQ("EEPROM", M(1));
  EXPECT_EQ("LOOPB", V(8));

  // A code without a message text: the cage's own words, no lookup.
  g.text_found = true;
  Run("99 parms 0x1: something odd happened");
  EXPECT_EQ("something odd happened", V(9));
  EXPECT_EQ("CAGE2|<no value> cage_event something odd happened\nCage position: rack 3 unit 12.",
            Engine().result.ASymptom);
  // A listed code whose text is missing falls back the same way.
  g.text_found = false;
  Run("1 parms 0x1: cage text");
  EXPECT_EQ("cage text", V(9));
}

TEST_F(CageHandlerTest, StaleEventsAreLowAndReportedAsOld) {
  // Two hours behind: old, 120 minutes, low urgency.
  Run("3 parms 0x1 0x1: fan", Showcage(), "Fri Apr 15 08:24:30 2005");
  EXPECT_EQ(1, g.reports);
  EXPECT_EQ("120", M(9));
  EXPECT_EQ("OldCageEvent", Key(3));
  EXPECT_EQ("OldCageEvent", Key(4));
  EXPECT_EQ("Override", Key(5));
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ("cage says %M0. - OLD", V(9));
  EXPECT_NE(std::string::npos, Engine().result.AExtraText.find("Cage time differs significantly"));

  // The other clock formats: an ISO time and seconds from boot (always old).
  Run("3 parms 0x1 0x1: fan", Showcage(), "2005-04-15 07:00:00 PDT");
  EXPECT_EQ("OldCageEvent", Key(4));
  Run("3 parms 0x1 0x1: fan", Showcage(), "12345 seconds from boot");
  EXPECT_EQ("OldCageEvent", Key(4));
  EXPECT_EQ('L', Engine().result.AUrgency);

  // An hour exactly is not old; no cage time is not old either, and logged.
  Run("1 parms 0x1: x", "", "Fri Apr 15 09:24:30 2005");
  EXPECT_EQ('H', Engine().result.AUrgency);
  Run("1 parms 0x1: x", "", "unknown");
  EXPECT_EQ('H', Engine().result.AUrgency);
  EXPECT_NE(std::string::npos, Log().find("cage time not found in event string"));

  // An old event without a check still gets the marks.
  Run("1 parms 0x1: x", "", "Thu Jan  1 00:00:10 1970");
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ("cage says %M0. - OLD", V(9));
  EXPECT_EQ(0, g.reports);
}

TEST_F(CageHandlerTest, FanCheckWeighsDiskTemperatures) {
  Run("3 parms 0x1 0x1: fan");  // ps1 LoSpeed, hottest disk 41
  EXPECT_EQ(1, g.reports);
  EXPECT_EQ("FAN1", V(8));
  EXPECT_EQ("41", M(1));
  EXPECT_EQ("TemporaryError", Key(4));
  EXPECT_EQ("Override", Key(5));
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ("~Comp=FAN1~Loc=CAGE~FanState=LOSPEED~MaxDiskTemp=41~", Engine().result.EADetails);

  Run("3 parms 0x1 0x1: fan", Showcage(42));
  EXPECT_EQ("MAGNETEK", Key(4)) << "hot disks behind a slow fan call out the supply";
  EXPECT_EQ("na", Key(3));
  EXPECT_EQ('H', Engine().result.AUrgency);

  Run("3 parms 0x1 0x1: fan", Showcage(30, "ps1  OK  OK  OK  Acme-2"));
  EXPECT_EQ("TempNormal", Key(3));
  EXPECT_EQ("ACME", Key(4));

  Run("3 parms 0x1 0x0: fan");
  EXPECT_EQ("normal", Key(4));
  EXPECT_EQ(1, g.reports);

  Run("3 parms 0x1 0x5: fan");
  EXPECT_EQ(0, g.reports) << "an unknown speed writes no report";
  EXPECT_NE(std::string::npos, Log().find("Unknown parm1 value=5 for jbod FAN event"));

  g.report_fails = true;  // no report: the symptom comes from the template
  Run("3 parms 0x1 0x1: fan");
  EXPECT_EQ("CAGE2|FAN1 cage_event cage says %M0. - TRANSIENT\nCage position: rack 3 unit 12.",
            Engine().result.ASymptom);
  g.report_fails = false;

  Run("3 parms 0x1 0x1: fan", "no listing");
  EXPECT_EQ(1, g.failures);
  EXPECT_EQ("'showcage -d' output not available", g.reason);
  EXPECT_TRUE(g.quiet);
  Run("3 parms 0x7 0x1: fan");
  EXPECT_EQ("Fan state not found in 'showcage -d' output", g.reason);
  EXPECT_FALSE(g.quiet);
}

TEST_F(CageHandlerTest, PowerSupplyStatusAndAc) {
  // Code 4: power supply parm1, event status parm2.
  Run("4 parms 0x0 0x0 0x3: ps", Showcage());
  EXPECT_EQ("PS0", V(8));
  EXPECT_EQ("TemporaryError", Key(4)) << "OK with AC OK";
  EXPECT_EQ("override", Key(5));
  EXPECT_TRUE(g.resymptom);
  Run("4 parms 0x0 0x0 0x3: ps", Showcage(41, "ps0  OK  OK  Failed  Acme-1"));
  EXPECT_EQ("ConflictingData", Key(4));
  Run("4 parms 0x0 0x1 0xd: ps", Showcage());
  EXPECT_EQ("MAGNETEK.DC2-LCC", Key(4)) << "failed supply, model and the card";
  Run("4 parms 0x0 0x1 0x3: ps", Showcage(41, "ps1  Removed  -  -  -"));
  EXPECT_EQ("MaintenanceInProgress", Key(4));
  EXPECT_EQ('L', Engine().result.AUrgency);
  Run("4 parms 0x0 0x1 0x3: ps", Showcage(41, "ps1  Degraded  OK  OK  Magna"));
  EXPECT_EQ("CallSupport", Key(4));
  EXPECT_EQ("~Comp=PS1~Loc=CAGE~PSStatus=DEGRADED~PSac=OK~", Engine().result.EADetails);

  // Supply missing from the listing: the event's own status decides.
  Run("4 parms 0x0 0x5 0x0: ps");
  EXPECT_EQ(1, g.failures);
  EXPECT_EQ("PS Status/AC not found in 'showcage -d' output", g.reason);
  Run("4 parms 0x0 0x5 0x1: ps");
  EXPECT_EQ(0, g.failures);
  EXPECT_EQ("MissingData", Key(6));
  EXPECT_EQ("MaintenanceInProgress", Key(4));
  EXPECT_NE(std::string::npos, Log().find("not found in 'showcage -d' output - continuing"));

  // Code 5: power supply parm0, AC from the listing or parm1.
  Run("5 parms 0x1 0x1: ac", Showcage());
  EXPECT_EQ("MAGNETEK", Key(4)) << "AC failed calls out the supply";
  EXPECT_FALSE(g.resymptom);
  Run("5 parms 0x0 0x1: ac", Showcage());
  EXPECT_EQ("TemporaryError", Key(4));
  Run("5 parms 0x0 0x0: ac", "");
  EXPECT_EQ("MissingData", Key(6));
  EXPECT_EQ("ConflictingData", Key(4)) << "AC from the event, status unknown";
}

TEST_F(CageHandlerTest, ChipAccessCountsTheWeeksLoopErrors) {
  const char* loop = "27 parms 0x0 0x2 0x80: chip";  // LOOP, serial controller chip
  Run(loop);
  EXPECT_EQ("Monitor", Key(4));
  EXPECT_EQ(1, g.history_calls);
  EXPECT_EQ("%~Loc=CAGE~%", g.history_like);
  EXPECT_EQ("~Comp=LOOPA~Loc=CAGE~FCAL=LoopA~BadDM=none~", Engine().result.EADetails);

  g.history = 2;
  Run(loop);
  EXPECT_EQ("MultipleTempErrors", Key(3));
  EXPECT_EQ("LOOP.DC2-LCC", Key(4));

  Run(loop, Showcage(41, "ps1  OK  OK  OK  M", "Normal Op,Normal Op", "Amber"));
  EXPECT_EQ("DMerrors.MultipleTempErrors", Key(3));
  EXPECT_EQ("DMerrors", Key(5));
  EXPECT_EQ("1", M(5));

  Run(loop, Showcage(41, "ps1  OK  OK  OK  M", "Normal Op,Download fw in process"));
  EXPECT_EQ("MaintenanceInProgress", Key(4));

  Run("27 parms 0x0 0x1 0x82: chip");  // a magazine: no history, model lookup
  EXPECT_EQ("DM.DC2-LCC", Key(4));

  Run(loop, "");
  EXPECT_EQ("'showcage -d' output not available", g.reason);
  EXPECT_TRUE(g.quiet);
}

TEST_F(CageHandlerTest, OnTheServiceProcessorNoCheckRuns) {
  st_.on_sp = true;
  Run("3 parms 0x1 0x1: fan", Showcage(), "Fri Apr 15 08:24:30 2005");
  EXPECT_EQ(0, g.reports);
  EXPECT_EQ(0, g.failures);
  EXPECT_EQ("", Key(4));
  EXPECT_EQ('L', Engine().result.AUrgency);
  EXPECT_EQ("CAGE2|FAN1 cage_event cage says %M0. - OLD\nCage position: rack 3 unit 12.",
            Engine().result.ASymptom);

  // Rule 0 takes template 0 and ends the handler.
  Run("garbage without parms");
  EXPECT_EQ("CAGE2 cage_event plain", Engine().result.ASymptom);
}

}  // namespace
