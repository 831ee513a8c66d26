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

const char kDiskSymptom[] = "PD|cage2:mag3 TP_ALRT disk_failed Disk has failed(disk_event)";

class HistoryRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngine();
    ResetReportIndicators();
    g_alerts.clear();
    previous_ = SetAnalAlertHook(Capture);
    CurrentFile& f = analyzer_.file;
    f = CurrentFile{};
    std::strcpy(f.Cvendor, "Zarvek");
    std::strcpy(f.Cproduct, "Velmar");
    std::strcpy(f.Cprod_id, "1234567");
    std::strcpy(f.Cfile_date, "2014/10/09 23:38:00");
    f.Cfile_type = 100;
    std::strcpy(f.Cfile_seq, "42");
    std::strcpy(f.Cstore_filename, "/sp/prod/data/files/1234567/event/e1");
    std::strcpy(analyzer_.Orun_date, "2014/10/09 23:40:01");
    Engine().analyzer = &analyzer_;
    std::strcpy(Engine().event_name, "disk_event");
    Engine().result.ASymptom = kDiskSymptom;
    Engine().result.AUrgency = 'L';
    entry_.rule = 2;
    Settings(2, 'Y', 'Y', 'Y', 3, "none");
  }
  void TearDown() override {
    SetAnalAlertHook(previous_);
    ResetReportIndicators();
    ResetEngine();
    Engine().analyzer = nullptr;
  }

  static void Settings(int t, char comp, char skey, char sev, int nu_rule, const char* nu_value) {
    EventData& ev = Engine().evtdata;
    ev.found = true;
    ev.comp[t] = comp;
    ev.skey[t] = skey;
    ev.sev[t] = sev;
    ev.nu_rule[t] = nu_rule;
    ev.nu_value[t] = nu_value;
  }

  HistoryRow Build(const PatternEntry* entry) { return BuildHistoryRow(entry, "Major", "comp_hw_disk"); }

  AnalyzerState analyzer_;
  PatternEntry entry_;
  AnalAlertFn previous_ = nullptr;
};

TEST_F(HistoryRowTest, SymptomConventionTakenApart) {
  HistoryRow row = Build(&entry_);
  EXPECT_EQ(row.component, "PD");
  EXPECT_EQ(row.component_loc, "cage2:mag3");
  EXPECT_EQ(row.symptom_keyword, "disk_failed");
  EXPECT_EQ(row.symptom_detail, "Disk has failed");
  EXPECT_EQ(row.template_used, 2);
  EXPECT_EQ(row.urgency, 'L');
  EXPECT_EQ(row.severity, "Major");
  EXPECT_EQ(row.event_type, "disk_event");
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event;disk_failed");
  EXPECT_TRUE(g_alerts.empty());
}

TEST_F(HistoryRowTest, KeywordOffKeepsTheRestAsDetail) {
  Settings(2, 'Y', 'N', 'Y', 3, "none");
  HistoryRow row = Build(&entry_);
  EXPECT_EQ(row.symptom_keyword, "none");
  EXPECT_EQ(row.symptom_detail, "TP_ALRT disk_failed Disk has failed");
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event;none");
}

TEST_F(HistoryRowTest, ComponentFromTheComponentTypeWhenCompIsN) {
  Settings(2, 'N', 'Y', 'Y', 3, "none");
  HistoryRow row = Build(&entry_);
  EXPECT_EQ(row.component, "comp_hw_disk");
  EXPECT_EQ(row.component_loc, "");
  // The symptom keeps its first word, which now is the keyword.
  EXPECT_EQ(row.symptom_keyword, "PD|cage2:mag3");
  EXPECT_EQ(row.symptom_detail, "TP_ALRT disk_failed Disk has failed");
}

TEST_F(HistoryRowTest, SeverityFlagDecidesAboutTheTypeSuffix) {
  Settings(2, 'Y', 'Y', 'N', 3, "none");
  EXPECT_EQ(Build(&entry_).symptom_detail, "Disk has failed(disk_event)");
  // A symptom ending in ")" without any "(" is left whole.
  Settings(2, 'Y', 'Y', 'Y', 3, "none");
  Engine().result.ASymptom = "PD|x kw odd)";
  EXPECT_EQ(Build(&entry_).symptom_detail, "odd)");
}

TEST_F(HistoryRowTest, RepeatKeyByRule) {
  struct Case {
    int rule;
    char comp;
    const char* key;
  } cases[] = {
      {1, 'Y', "disk_failed"},
      {2, 'Y', "pd-group"},
      {3, 'Y', "disk_event;disk_failed"},
      {4, 'Y', "disk_event;pd-group"},
      {0, 'Y', "disk_event"},
      {7, 'Y', "disk_event"},
      {3, 'U', "disk_event;disk_failed;PD"},
      {2, 'U', "pd-group;PD"},
  };
  for (const Case& c : cases) {
    Settings(2, c.comp, 'Y', 'Y', c.rule, "pd-group");
    Build(&entry_);
    EXPECT_EQ(Engine().result.Anot_unique, c.key) << "nu_rule " << c.rule << " comp " << c.comp;
  }
}

TEST_F(HistoryRowTest, NoEntryUsesTemplateZeroWithAnalysisErrorSettings) {
  // Whatever template 0 of the row says, the fixed settings apply.
  Settings(0, 'U', 'Y', 'N', 1, "x");
  HistoryRow row = Build(nullptr);
  EXPECT_EQ(row.template_used, 0);
  EXPECT_EQ(row.component, "comp_hw_disk");
  EXPECT_EQ(row.symptom_keyword, "none");
  EXPECT_EQ(row.symptom_detail, "PD|cage2:mag3 TP_ALRT disk_failed Disk has failed");
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event");
}

TEST_F(HistoryRowTest, RuleThatNamesNoTemplateCountsAsNoEntry) {
  for (int rule : {10, 28, -1}) {
    entry_.rule = rule;
    HistoryRow row = Build(&entry_);
    EXPECT_EQ(row.template_used, 0) << rule;
    EXPECT_EQ(row.symptom_keyword, "none") << rule;
  }
}

TEST_F(HistoryRowTest, EmptyComponentBecomesUnknownAndIsNotified) {
  Engine().result.ASymptom = "|cage1 kw detail";
  HistoryRow row = Build(&entry_);
  EXPECT_EQ(row.component, "Unknown");
  EXPECT_EQ(row.component_loc, "cage1");
  ASSERT_EQ(g_alerts.size(), 1u);
  EXPECT_EQ(g_alerts[0], "L No component found / Source file: /sp/prod/data/files/1234567/event/e1");
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event;kw");
}

TEST_F(HistoryRowTest, ShortSymptoms) {
  Engine().result.ASymptom = "PD";
  HistoryRow row = Build(&entry_);
  EXPECT_EQ(row.component, "PD");
  EXPECT_EQ(row.symptom_keyword, "");
  EXPECT_EQ(row.symptom_detail, "");
  Engine().result.ASymptom = "PD|c1 TP_SUPP";
  row = Build(&entry_);
  EXPECT_EQ(row.symptom_keyword, "");
  Engine().result.ASymptom = "";
  row = Build(&entry_);
  EXPECT_EQ(row.component, "Unknown");
}

TEST_F(HistoryRowTest, TextsCutToTheirColumnsOnCharacterBoundaries) {
  std::string longword(100, 'k');
  std::string detail = std::string(255, 'd') + "\xc3\xa9" + "tail";  // "é" across byte 256
  Engine().result.ASymptom = std::string(90, 'c') + "|" + std::string(90, 'l') + " " + longword +
                             " " + detail;
  HistoryRow row = BuildHistoryRow(&entry_, std::string(50, 's'), "");
  EXPECT_EQ(row.component.size(), 80u);
  EXPECT_EQ(row.component_loc.size(), 80u);
  EXPECT_EQ(row.symptom_keyword.size(), 40u);
  EXPECT_EQ(row.symptom_detail, std::string(255, 'd'));
  EXPECT_EQ(row.severity.size(), 40u);
  // The repeat key carries the keyword as the row does.
  EXPECT_EQ(Engine().result.Anot_unique, "disk_event;" + std::string(40, 'k'));
}

TEST_F(HistoryRowTest, MalformedUtf8BecomesQuestionMarks) {
  EXPECT_EQ(ColumnText("ab\xff\xfe" "c", 10), "ab??c");
  EXPECT_EQ(ColumnText("\xe2\x82\xac\xe2\x82\xac", 4), "\xe2\x82\xac");
  EXPECT_EQ(ColumnText("", 4), "");
}

TEST_F(HistoryRowTest, FileValuesAndDates) {
  Time_Stamp& stamp = Engine().result.AEventTimeFirst;
  std::memcpy(&stamp, "a2014/10/09 21:38:00.UT", sizeof stamp);
  HistoryRow row = Build(&entry_);
  EXPECT_EQ(row.vendor, "Zarvek");
  EXPECT_EQ(row.product, "Velmar");
  EXPECT_EQ(row.prod_id, "1234567");
  EXPECT_EQ(row.file_date, "2014/10/09 23:38:00");
  EXPECT_TRUE(row.file_date_set);
  EXPECT_EQ(row.file_type, 100);
  EXPECT_EQ(row.file_seq, "42");
  EXPECT_EQ(row.anal_date, "2014/10/09 23:40:01");
  EXPECT_EQ(row.event_date, "2014/10/09 21:38:00");
  EXPECT_TRUE(row.event_date_set);

  stamp = Time_Stamp{};
  analyzer_.file.Cfile_date[0] = '\0';
  row = Build(&entry_);
  EXPECT_FALSE(row.event_date_set);
  EXPECT_FALSE(row.file_date_set);
}

TEST_F(HistoryRowTest, KeysAndDetailsOnlyAfterAReport) {
  std::strcpy(Engine().Mkey[0], "FAILED");
  std::strcpy(Engine().Mkey[5], "na");
  HistoryRow row = Build(&entry_);
  EXPECT_FALSE(row.keys_set);
  EXPECT_FALSE(row.details_set);

  ReportIndicators().keys_set = true;
  ReportIndicators().details_set = true;
  ReportIndicators().details = "~Comp=PD~";
  row = Build(&entry_);
  EXPECT_TRUE(row.keys_set);
  EXPECT_EQ(row.key[0], "FAILED");
  EXPECT_EQ(row.key[5], "na");
  EXPECT_TRUE(row.details_set);
  EXPECT_EQ(row.details, "~Comp=PD~");

  ResetReportIndicators();
  EXPECT_FALSE(Build(&entry_).keys_set);
}

}  // namespace
