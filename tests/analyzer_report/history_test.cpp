// WriteHistory and GetMsgText against the database.

#include <cstring>

#include "anal_history.h"
#include "msg_text.h"
#include "analysis_db_fixture.h"

namespace {

class HistoryTest : public AnalysisDbTest {
 protected:
  void SetUp() override {
    AnalysisDbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    EventData& ev = Engine().evtdata;
    ev.comp[0] = ev.skey[0] = ev.sev[0] = 'Y';
    ev.nu_rule[0] = 3;
    Engine().result.ASymptom = "PD|cage2:mag3 TP_ALRT disk_failed Disk has failed(disk_event)";
    std::memcpy(&Engine().result.AEventTimeFirst, "a2014/10/09 21:38:00.UT", sizeof(Time_Stamp));
    Keys("FAILED", "cage");
  }
  void MsgTexts(const std::string& values) {
    Sql("insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext) values " + values);
  }
  PatternEntry entry_;  // rule 0
};

TEST_F(HistoryTest, RowsWithAndWithoutReport) {
  ASSERT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryWritten);
  ReportIndicators().keys_set = ReportIndicators().details_set = true;
  ReportIndicators().details = std::string(4000, 'd');
  ASSERT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryWritten);
  EXPECT_EQ(Query("select vendor, product, prod_id, to_char(file_date, 'yyyy/mm/dd hh24:mi:ss'), "
                  "file_type, file_seq, template_used, to_char(anal_date, 'yyyy/mm/dd hh24:mi:ss'), "
                  "event_type, to_char(event_date, 'yyyy/mm/dd hh24:mi:ss'), component, "
                  "component_loc, symptom_keyword, symptom_detail, urgency, severity, "
                  "coalesce(ea_key1, '-'), coalesce(ea_key6, '-'), length(ea_details) "
                  "from qd_anal_history order by ea_key1 nulls first"),
            (std::vector<std::string>{
                "Zarvek|Velmar|1400123|2014/10/09 23:38:00|100|000042|0|2014/10/09 23:40:01|"
                "evt_report_test|2014/10/09 21:38:00|PD|cage2:mag3|disk_failed|Disk has failed|H|"
                "Major|-|-|",
                "Zarvek|Velmar|1400123|2014/10/09 23:38:00|100|000042|0|2014/10/09 23:40:01|"
                "evt_report_test|2014/10/09 21:38:00|PD|cage2:mag3|disk_failed|Disk has failed|H|"
                "Major|FAILED|na|4000"}));
  EXPECT_EQ(Engine().result.Anot_unique, "evt_report_test;disk_failed");
}

TEST_F(HistoryTest, AwkwardValuesStillGiveARow) {
  // No entry, no event time, no file date, a detail that is neither short
  // nor UTF-8: the row goes in all the same.
  std::memset(&Engine().result.AEventTimeFirst, 0, sizeof(Time_Stamp));
  analyzer_.file.Cfile_date[0] = '\0';
  Engine().result.ASymptom = "PD|c1 kw " + std::string(300, '\xe9');
  ASSERT_EQ(WriteHistory(nullptr, nullptr, std::string(60, 's'), "cage2"), kHistoryWritten);
  EXPECT_EQ(Query("select template_used, component, symptom_keyword, length(symptom_detail), "
                  "length(severity), file_date is null, event_date is null from qd_anal_history"),
            std::vector<std::string>{"0|cage2|none|256|40|t|t"});
}

TEST_F(HistoryTest, InsertFailureIsLoggedNotifiedAndLeavesTheConnectionUsable) {
  Sql("alter table qd_anal_history add constraint no_rows check (file_type < 0)");
  EXPECT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryFailed);
  EXPECT_FALSE(st_.reconnect) << "the row was refused, the connection lives on";
  EXPECT_NE(Log().find("QDZ0100 2 Database error"), std::string::npos);
  EXPECT_NE(Log().find("History insert"), std::string::npos);
  EXPECT_TRUE(Alerted("H History insert error / " + std::string(kStoreFile)));
  // Rolled back: the next statement of the analysis works.
  char text[64];
  EXPECT_EQ(GetMsgText(text, sizeof text), 1);
  EXPECT_EQ(Log().find("MsgText select"), std::string::npos);
}

TEST_F(HistoryTest, MsgTextByWildcardKeys) {
  MsgTexts("(100, 'evt_report_test', '*', 'cage', '*', 'cage text'),"
           "(100, 'evt_report_test', 'FAILED', 'disk', '*', 'disk text'),"
           "(100, 'evt_report_test', 'NULLTEXT', '*', '*', null),"
           "(100, 'other_event', '*', '*', '*', 'other text'),"
           "(101, 'evt_report_test', '*', '*', '*', 'config text')");
  char text[64];
  for (const char* key1 : {"FAILED", "anything"}) {
    Keys(key1, "cage", "whatever");
    EXPECT_EQ(GetMsgText(text, sizeof text), 0);
    EXPECT_STREQ(text, "cage text");
  }
  Keys("FAILED", "disk");
  EXPECT_EQ(GetMsgText(text, 5), 0);
  EXPECT_STREQ(text, "disk");  // cut to the destination
  EXPECT_TRUE(Alerts().empty());

  for (const char* key1 : {"NULLTEXT", "OTHER"}) {  // a null text; no row at all
    Alerts().clear();
    Keys(key1, "disk", "x");
    EXPECT_EQ(GetMsgText(text, sizeof text), 1);
    EXPECT_STREQ(text, "*MsgTextNotFound*");
    EXPECT_EQ(Alerts(), std::vector<std::string>{"H evt_report_test MsgText not found. / key1='" +
                                                 std::string(key1) + "', key2='disk', key3='x'\nfile=" +
                                                 kStoreFile});
  }
  EXPECT_NE(Log().find("QDA0033 A Message 0000002A: evt_report_test MsgText not found. " +
                       std::string(kStoreFile)),
            std::string::npos);
  EXPECT_FALSE(st_.reconnect);
}

TEST_F(HistoryTest, TwoMatchingMsgTextsAreADatabaseError) {
  MsgTexts("(100, 'evt_report_test', '*', 'cage', '*', 'one'),"
           "(100, 'evt_report_test', 'FAILED', '*', '*', 'two')");
  char text[64];
  EXPECT_EQ(GetMsgText(text, sizeof text), 1);
  EXPECT_STREQ(text, "*MsgTextNotFound*");
  EXPECT_FALSE(st_.reconnect);
  EXPECT_NE(Log().find("MsgText select"), std::string::npos);
  EXPECT_TRUE(Alerts().empty());
}

}  // namespace
