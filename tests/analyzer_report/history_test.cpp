// WriteHistory and GetMsgText against the database.

#include <cstring>

#include "anal_history.h"
#include "msg_text.h"
#include "report_fixture.h"

namespace {

class HistoryTest : public AnalysisDbTest {
 protected:
  void SetUp() override {
    AnalysisDbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    EventData& ev = Engine().evtdata;
    ev.found = true;
    ev.comp[0] = 'Y';
    ev.skey[0] = 'Y';
    ev.sev[0] = 'Y';
    ev.nu_rule[0] = 3;
    ev.nu_value[0] = "none";
    entry_.rule = 0;
    Engine().result.ASymptom = "PD|cage2:mag3 TP_ALRT disk_failed Disk has failed(disk_event)";
    Engine().result.AUrgency = 'H';
    std::memcpy(&Engine().result.AEventTimeFirst, "a2014/10/09 21:38:00.UT", sizeof(Time_Stamp));
    Keys("FAILED", "cage");
  }

  std::vector<std::string> Rows() {
    return Query(
        "select vendor, product, prod_id, to_char(file_date, 'yyyy/mm/dd hh24:mi:ss'), file_type, "
        "file_seq, template_used, to_char(anal_date, 'yyyy/mm/dd hh24:mi:ss'), event_type, "
        "to_char(event_date, 'yyyy/mm/dd hh24:mi:ss'), component, component_loc, symptom_keyword, "
        "symptom_detail, urgency, severity, coalesce(ea_key1, '<null>'), coalesce(ea_key6, "
        "'<null>'), coalesce(ea_details, '<null>') from qd_anal_history");
  }

  PatternEntry entry_;
};

TEST_F(HistoryTest, RowOfAnAnalysisWithoutReport) {
  ASSERT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryWritten);
  EXPECT_EQ(Rows(), std::vector<std::string>{
                        "Zarvek|Velmar|1400123|2014/10/09 23:38:00|100|000042|0|"
                        "2014/10/09 23:40:01|evt_report_test|2014/10/09 21:38:00|PD|cage2:mag3|"
                        "disk_failed|Disk has failed|H|Major|<null>|<null>|<null>"});
  EXPECT_EQ(Engine().result.Anot_unique, "evt_report_test;disk_failed");
}

TEST_F(HistoryTest, RowAfterAReportCarriesKeysAndDetails) {
  ReportIndicators().keys_set = true;
  ReportIndicators().details_set = true;
  ReportIndicators().details = std::string(4000, 'd');
  ASSERT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryWritten);
  std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].find("|FAILED|na|" + std::string(4000, 'd')), std::string::npos);
}

TEST_F(HistoryTest, NoEntryAndMissingDatesStillGiveARow) {
  std::memset(&Engine().result.AEventTimeFirst, 0, sizeof(Time_Stamp));
  analyzer_.file.Cfile_date[0] = '\0';
  ASSERT_EQ(WriteHistory(nullptr, nullptr, "alert", "cage2"), kHistoryWritten);
  EXPECT_EQ(Query("select template_used, component, symptom_keyword, file_date is null, "
                  "event_date is null from qd_anal_history"),
            std::vector<std::string>{"0|cage2|none|t|t"});
  EXPECT_EQ(Engine().result.Anot_unique, "evt_report_test");
}

TEST_F(HistoryTest, TextsThatDoNotFitOrAreNotUtf8AreStoredAnyway) {
  Engine().result.ASymptom = "PD|c1 kw " + std::string(300, '\xe9') + "(x)";
  ASSERT_EQ(WriteHistory(&entry_, nullptr, std::string(60, 's'), ""), kHistoryWritten);
  EXPECT_EQ(Query("select length(symptom_detail), length(severity) from qd_anal_history"),
            std::vector<std::string>{"256|40"});
}

TEST_F(HistoryTest, InsertFailureIsLoggedNotifiedAndLeavesTheConnectionUsable) {
  Sql("alter table qd_anal_history add constraint no_rows check (file_type < 0)");
  EXPECT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryFailed);
  EXPECT_TRUE(st_.reconnect);
  std::string log = Log();
  EXPECT_NE(log.find("QDZ0100 2 Database error"), std::string::npos);
  EXPECT_NE(log.find("History insert"), std::string::npos);
  EXPECT_TRUE(Alerted("H History insert error / " + std::string(kStoreFile)));
  // The failed insert was rolled back: the next statement works.
  char text[64];
  EXPECT_EQ(GetMsgText(text, sizeof text), 1);
  EXPECT_EQ(Log().find("MsgText select"), std::string::npos);
}

// ---- message texts -----------------------------------------------------

TEST_F(HistoryTest, MsgTextWithWildcardKeys) {
  Sql("insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext) values "
      "(100, 'evt_report_test', '*', 'cage', '*', 'cage text'),"
      "(100, 'evt_report_test', 'FAILED', 'disk', '*', 'disk text'),"
      "(100, 'other_event', '*', '*', '*', 'other text'),"
      "(101, 'evt_report_test', '*', '*', '*', 'config text')");
  char text[64];
  for (const char* key1 : {"FAILED", "anything"}) {
    Keys(key1, "cage", "whatever");
    EXPECT_EQ(GetMsgText(text, sizeof text), 0);
    EXPECT_STREQ(text, "cage text");
  }
  Keys("FAILED", "disk");
  EXPECT_EQ(GetMsgText(text, sizeof text), 0);
  EXPECT_STREQ(text, "disk text");
  // Cut to the destination.
  EXPECT_EQ(GetMsgText(text, 5), 0);
  EXPECT_STREQ(text, "disk");
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(HistoryTest, MsgTextNotFound) {
  Sql("insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext) values "
      "(100, 'evt_report_test', 'OTHER', '*', '*', 'x'),"
      "(100, 'evt_report_test', 'FAILED', 'cage', 'x', null)");
  char text[64];
  for (const char* key3 : {"na", "x"}) {  // no row; a row whose text is null
    Alerts().clear();
    Keys("FAILED", "cage", key3);
    EXPECT_EQ(GetMsgText(text, sizeof text), 1);
    EXPECT_STREQ(text, "*MsgTextNotFound*");
    ASSERT_EQ(Alerts().size(), 1u);
    EXPECT_EQ(Alerts()[0], "H evt_report_test MsgText not found. / key1='FAILED', key2='cage', key3='" +
                               std::string(key3) + "'\nfile=" + kStoreFile);
  }
  EXPECT_NE(Log().find("QDA0033 A Message 0000002A: evt_report_test MsgText not found. " +
                       std::string(kStoreFile)),
            std::string::npos);
  EXPECT_EQ(GetMsgText(text, 4), 1);
  EXPECT_STREQ(text, "*Ms");
  EXPECT_FALSE(st_.reconnect);
}

TEST_F(HistoryTest, TwoMatchingMsgTextsAreADatabaseError) {
  Sql("insert into qd_anal_msgtext (file_type, eventname, key1, key2, key3, msgtext) values "
      "(100, 'evt_report_test', '*', 'cage', '*', 'one'),"
      "(100, 'evt_report_test', 'FAILED', '*', '*', 'two')");
  char text[64];
  EXPECT_EQ(GetMsgText(text, sizeof text), 1);
  EXPECT_STREQ(text, "*MsgTextNotFound*");
  EXPECT_TRUE(st_.reconnect);
  EXPECT_NE(Log().find("MsgText select"), std::string::npos);
  EXPECT_TRUE(Alerts().empty());
}

}  // namespace
