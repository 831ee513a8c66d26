#include "anal_history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "anal_alert.h"
#include "analysis_engine.h"

namespace {

std::vector<std::string> g_alerts;

void Capture(char urgency, const std::string& abstract, const std::string& text) {
  g_alerts.push_back(std::string(1, urgency) + " " + abstract + " / " + text);
}

class HistoryRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngine();
    g_alerts.clear();
    Engine().seams.alert = Capture;
    std::strcpy(analyzer_.file.Cstore_filename, "/sp/f/e1");
    Engine().analyzer = &analyzer_;
    std::strcpy(Engine().event_name, "disk_event");
    Engine().result.ASymptom = "PD|cage2:mag3 TP_ALRT disk_failed Disk has failed(disk_event)";
    entry_.rule = 2;
  }
  void TearDown() override {
    ResetEngine();
    Engine().analyzer = nullptr;
  }

  // Template 2's history settings, then the row for `entry`.
  HistoryRow Row(char comp, char skey, char sev, int nu_rule = 3, const PatternEntry* entry = nullptr) {
    EventData& ev = Engine().evtdata;
    ev.comp[2] = comp;
    ev.skey[2] = skey;
    ev.sev[2] = sev;
    ev.nu_rule[2] = nu_rule;
    ev.nu_value[2] = "pd-group";
    return BuildHistoryRow(entry ? entry : &entry_, "Major", "comp_hw_disk");
  }
  static std::string Parts(const HistoryRow& r) {
    return r.component + "|" + r.component_loc + "|" + r.symptom_keyword + "|" + r.symptom_detail;
  }

  AnalyzerState analyzer_;
  PatternEntry entry_;
};

TEST_F(HistoryRowTest, SymptomTakenApartBySettings) {
  EXPECT_EQ(Parts(Row('Y', 'Y', 'Y')), "PD|cage2:mag3|disk_failed|Disk has failed");
  EXPECT_EQ(Parts(Row('U', 'Y', 'Y')), "PD|cage2:mag3|disk_failed|Disk has failed");
  EXPECT_EQ(Parts(Row('Y', 'N', 'Y')), "PD|cage2:mag3|none|TP_ALRT disk_failed Disk has failed");
  EXPECT_EQ(Parts(Row('Y', 'Y', 'N')), "PD|cage2:mag3|disk_failed|Disk has failed(disk_event)");
  // comp 'N': the component type, whatever the symptom holds.
  EXPECT_EQ(Parts(Row('N', 'Y', 'Y')), "comp_hw_disk||PD|cage2:mag3|TP_ALRT disk_failed Disk has failed");
  HistoryRow row = Row('Y', 'Y', 'Y');
  EXPECT_EQ(row.template_used, 2);
  EXPECT_EQ(row.severity, "Major");
  EXPECT_EQ(row.event_type, "disk_event");

  Engine().result.ASymptom = "PD|x kw odd)";  // ")" without "(" stays
  EXPECT_EQ(Parts(Row('Y', 'Y', 'Y')), "PD|x|kw|odd)");
  Engine().result.ASymptom = "PD|c1 TP_SUPP";
  EXPECT_EQ(Parts(Row('Y', 'Y', 'Y')), "PD|c1||");
  EXPECT_TRUE(g_alerts.empty());
}

TEST_F(HistoryRowTest, RepeatKeyByRule) {
  struct {
    int rule;
    char comp;
    const char* key;
  } cases[] = {{1, 'Y', "disk_failed"},           {2, 'Y', "pd-group"},
               {3, 'Y', "disk_event;disk_failed"}, {4, 'Y', "disk_event;pd-group"},
               {0, 'Y', "disk_event"},             {7, 'Y', "disk_event"},
               {3, 'U', "disk_event;disk_failed;PD"}, {2, 'U', "pd-group;PD"}};
  for (const auto& c : cases) {
    Row(c.comp, 'Y', 'Y', c.rule);
    EXPECT_EQ(Engine().result.Anot_unique, c.key) << c.rule << c.comp;
  }
}

TEST_F(HistoryRowTest, NoEntryOrNoTemplateRuleUsesFixedSettings) {
  PatternEntry far;
  far.rule = 28;  // a handler's own meaning, no template number
  for (const PatternEntry* entry : std::vector<const PatternEntry*>{nullptr, &far}) {
    Engine().evtdata.comp[0] = 'U';  // template 0's own settings do not count
    Engine().evtdata.skey[0] = 'Y';
    HistoryRow row = BuildHistoryRow(entry, "Major", "comp_hw_disk");
    EXPECT_EQ(row.template_used, 0);
    EXPECT_EQ(Parts(row), "comp_hw_disk||none|PD|cage2:mag3 TP_ALRT disk_failed Disk has failed");
    EXPECT_EQ(Engine().result.Anot_unique, "disk_event");
  }
}

TEST_F(HistoryRowTest, EmptyComponentBecomesUnknownAndIsNotified) {
  Engine().result.ASymptom = "|cage1 kw detail";
  EXPECT_EQ(Parts(Row('U', 'Y', 'Y')), "Unknown|cage1|kw|detail");
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event;kw;Unknown");
  EXPECT_EQ(g_alerts, std::vector<std::string>{"L No component found / Source file: /sp/f/e1"});
}

TEST_F(HistoryRowTest, TextsCutToTheirColumnsOnCharacterBoundaries) {
  Engine().result.ASymptom = std::string(90, 'c') + "|" + std::string(90, 'l') + " " +
                             std::string(100, 'k') + " " + std::string(255, 'd') + "\xc3\xa9tail";
  HistoryRow row = Row('Y', 'Y', 'Y');
  EXPECT_EQ(row.component.size(), 80u);
  EXPECT_EQ(row.component_loc.size(), 80u);
  EXPECT_EQ(row.symptom_keyword.size(), 40u);
  EXPECT_EQ(row.symptom_detail, std::string(255, 'd'));  // "é" would straddle byte 256
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event;" + std::string(40, 'k'));
  EXPECT_EQ(ColumnText("ab\xff\xfe" "c", 10), "ab??c");
  EXPECT_EQ(ColumnText("\xe2\x82\xac\xe2\x82\xac", 4), "\xe2\x82\xac");
}

}  // namespace
