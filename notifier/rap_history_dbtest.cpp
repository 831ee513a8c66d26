// The alert history against a database: files and rows of RAP recipients,
// the file-database link, the hand-over to case management and the
// status rows that travel with the history row.
#include "rap_history.h"

#include <dirent.h>
#include <unistd.h>

#include "notifier_db_fixture.h"
#include "process_message.h"

namespace {

constexpr const char kHistDir[] = "/usr/local/qd/data/Prod/rap_history";

class RapHistoryTest : public NotifierDbTest {
 protected:
  void SetUp() override {
    NotifierDbTest::SetUp();
    if (!connected_) return;
    ASSERT_EQ(DaemonSqlConnect(db_->name().c_str(), "conn1"), 0);
    NotifierSettings& s = st().settings;
    s.history_dir = kHistDir;
    s.history_capture = true;
    st().scope.site_id = 5;
    NotifySet(st().scope.os_rel, "3.1.2");
    st().recipient.resource_id = -1;
    NotifySet(nd_.EntityId, "");
    NotifySet(nd_.TEXT, "Disk 7 failed.\n Msg ID:  0x00a1-77 \r\nmore text");
  }
  std::vector<std::string> Rows(const std::string& sql) const { return db_->query(sql); }
  std::string File(const std::string& id) const {
    return root_->read(std::string(kHistDir) + "/" + id);
  }
  std::vector<std::string> HistoryEntries() const {
    std::vector<std::string> out;
    if (DIR* d = opendir(root_->under(kHistDir).c_str())) {
      while (struct dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') out.push_back(e->d_name);
      }
      closedir(d);
    }
    return out;
  }
  bool FileExists(const std::string& id) const {
    return access(root_->under(std::string(kHistDir) + "/" + id).c_str(), F_OK) == 0;
  }
  int Write(long resource_id, int flags = 0) {
    st().recipient.resource_id = resource_id;
    st().reconnect = false;
    return WriteRAPHistory(st(), nd_, flags);
  }
  // Makes history inserts of recipient -2 fail.
  void RefuseRecipientTwo() {
    Exec("create function refuse_two() returns trigger language plpgsql as $$ begin "
         "if new.rap_resource_id = -2 then raise exception 'history refused'; end if; "
         "return new; end $$");
    Exec("create trigger refuse_two before insert on qd_rap_history for each row "
         "execute function refuse_two()");
  }
  // A catalogue row of the analysed event file seq 17 of the sample machine.
  void CatalogueFile() {
    Exec("insert into qd_fdb_attr values ('Zarvek', 'Velmar', 'EVENT', 4, 'N', 'N', 'A', 'L')");
    Exec("insert into qd_fdb_cat (objid, vendor, product, prod_id, file_date, file_type, "
         "file_seq, prod_filename, store_filename, encription, compression, char_set, "
         "hw_architecture) values ('9001', 'Zarvek', 'Velmar', '1234567', "
         "'2024-05-01 12:34:56', 4, '17', 'evt', '/fdb/evt', 'N', 'N', 'A', 'L')");
  }
};

TEST_F(RapHistoryTest, ARecipientGetsAWholeFileAndOneRow) {
  ASSERT_EQ(Write(-1), kDeliverySent) << root_->log();
  EXPECT_EQ(Rows("select rap_resource_id, vendor, product, prod_id, site_id, status, category, "
                 "urgency, abstract, rap_filename, coalesce(fdb_objid, 'null'), os_rel, msg_id, "
                 "coalesce(so_number, 'null'), coalesce(EntityId, 'null') from qd_rap_history"),
            std::vector<std::string>{
                "-1|Zarvek|Velmar|1234567|5|New|unassigned|high|Physical disk 7 failed|"
                "/usr/local/qd/data/Prod/rap_history/P1042|null|3.1.2|0x00a1-77|null|null"});
  std::string text = File("P1042");
  EXPECT_EQ(text.rfind("Notification P1042 (high) for Zarvek Velmar serial 1234567\n", 0), 0u)
      << text;
  EXPECT_TRUE(Logged("QDN0033 1 P1042 to jdoe (high, prime shift): insert to RAP history DB "
                     "succeeded"));
  EXPECT_FALSE(st().reconnect);
  // Without a message id in the text the column stays null.
  NotifySet(nd_.TEXT, "no id here");
  NotifySet(nd_.NOTID, "P1043");
  ASSERT_EQ(Write(-1), kDeliverySent);
  EXPECT_EQ(Rows("select count(*) from qd_rap_history where msg_id is null"),
            std::vector<std::string>{"1"});
}

TEST_F(RapHistoryTest, TwoRecipientsOfOneMessageShareOneFileThatALaterFailureKeeps) {
  // An installed VQX template comes before the plain mail text.
  root_->write("/usr/local/qd/data/Prod/templates/mail1VQX.tmplt", "History %NOTID. for %USERID.\n");
  ASSERT_EQ(Write(-1), kDeliverySent);
  EXPECT_EQ(File("P1042"), "History P1042 for jdoe\n");
  NotifySet(nd_.USERID, "rap2");
  ASSERT_EQ(Write(-2), kDeliverySent);
  EXPECT_EQ(Rows("select rap_resource_id || '|' || rap_filename from qd_rap_history "
                 "order by objid"),
            (std::vector<std::string>{"-1|/usr/local/qd/data/Prod/rap_history/P1042",
                                      "-2|/usr/local/qd/data/Prod/rap_history/P1042"}));
  EXPECT_EQ(File("P1042"), "History P1042 for rap2\n") << "the later text, whole";

  RefuseRecipientTwo();
  NotifySet(nd_.USERID, "rap3");
  EXPECT_EQ(Write(-2), kDeliveryFailed);
  EXPECT_TRUE(st().reconnect);
  EXPECT_TRUE(FileExists("P1042")) << "committed rows still name it";
  EXPECT_EQ(Rows("select count(*) from qd_rap_history"), std::vector<std::string>{"2"});
  EXPECT_EQ(HistoryEntries(), std::vector<std::string>{"P1042"}) << "no temporary file left";
}

TEST_F(RapHistoryTest, AFailedInsertAlertsAndRemovesOnlyItsOwnFile) {
  ASSERT_EQ(Write(-1), kDeliverySent);  // P1042 stays named by its row
  RefuseRecipientTwo();
  NotifySet(nd_.NOTID, "P1050");
  EXPECT_EQ(Write(-2), kDeliveryFailed);
  EXPECT_FALSE(FileExists("P1050"));
  EXPECT_TRUE(FileExists("P1042"));
  EXPECT_FALSE(FileExists("GenericBadFile"));
  EXPECT_TRUE(Logged("QDZ0100 2 Database error -400 in insert qd_rap_history: history refused")) << root_->log();
  EXPECT_TRUE(Logged("QDN0033 2 P1050 to jdoe (high, prime shift): insert to RAP history DB "
                     "failed"));
  std::string alerts = root_->read("/var/log/qd/alerts.log");
  EXPECT_NE(alerts.find("\"abstract\":\"RAP history db error\""), std::string::npos) << alerts;
  EXPECT_NE(alerts.find("Zarvek/Velmar/1234567 NotifyID=P1050\\nSee platform log for details."),
            std::string::npos)
      << alerts;
  // The connection is usable again for the next recipient.
  NotifySet(nd_.NOTID, "P1051");
  EXPECT_EQ(Write(-3), kDeliverySent) << root_->log();
}

TEST_F(RapHistoryTest, AMissingTemplateFailsWithoutRowOrFile) {
  root_->write(std::string(kHistDir) + "/GenericBadFile", "operator's placeholder\n");
  NotifySet(st().scope.modifier, "9");
  EXPECT_EQ(Write(-1), kDeliveryFailed);
  EXPECT_EQ(File("GenericBadFile"), "operator's placeholder\n");
  EXPECT_EQ(HistoryEntries(), std::vector<std::string>{"GenericBadFile"});
  EXPECT_TRUE(Logged("closing RAP history file")) << root_->log();
  EXPECT_EQ(Rows("select count(*) from qd_rap_history"), std::vector<std::string>{"0"});
  EXPECT_FALSE(FileExists("P1042"));
}

TEST_F(RapHistoryTest, TheSourceTextLinksTheCatalogueRowByDateAndTime) {
  CatalogueFile();
  NotifySet(nd_.SOURCE, "Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 12:34:56");
  ASSERT_EQ(Write(-1), kDeliverySent);
  // One second off is another file.
  NotifySet(nd_.SOURCE, "Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 12:34:57");
  ASSERT_EQ(Write(-2), kDeliverySent);
  // Nine tokens: no link, no message.
  NotifySet(nd_.SOURCE, "Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01");
  ASSERT_EQ(Write(-3), kDeliverySent);
  EXPECT_FALSE(Logged("QDZ9999"));
  // Another machine's file: no link, and the mismatch is logged.
  NotifySet(nd_.SOURCE, "Zarvek Velmar 7654321 EVENT file, seq 17, dated 2024/05/01 12:34:56");
  ASSERT_EQ(Write(-4), kDeliverySent);
  EXPECT_TRUE(Logged("QDZ9999 2 Zarvek/Velmar/1234567 mismatch for 'Zarvek Velmar 7654321 "
                     "EVENT file, seq 17, dated 2024/05/01 12:34:56'"))
      << root_->log();
  EXPECT_EQ(Rows("select rap_resource_id || '|' || coalesce(fdb_objid, 'null') "
                 "from qd_rap_history order by objid"),
            (std::vector<std::string>{"-1|9001", "-2|null", "-3|null", "-4|null"}));
}

TEST_F(RapHistoryTest, CaseManagementHandsOverOrKeepsTheCaseWithItsStatusRows) {
  CatalogueFile();
  NotifySet(nd_.SOURCE, "Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 12:34:56");
  NotifySet(nd_.EntityId, "4711");
  ASSERT_EQ(Write(-1, kCaseHandOver), kDeliverySent) << root_->log();
  ASSERT_EQ(Write(-2, kCaseHandOver), kDeliverySent);
  EXPECT_EQ(Rows("select rap_resource_id || '|' || status || '|' || EntityId "
                 "from qd_rap_history order by objid"),
            (std::vector<std::string>{"-1|Pending|4711", "-2|New|4711"}));
  EXPECT_EQ(Rows("select p.fdb_objid || '|' || p.entity_event_id || '|' || p.priority || '|' || "
                 "p.description from external_sr_pending p join qd_rap_history h "
                 "on h.objid = p.rap_id"),
            std::vector<std::string>{"9001|4711|2|" + std::string(nd_.TEXT)});
  EXPECT_EQ(Rows("select entity_event_id || '|' || sr_status from entity_event_sr_requests"),
            (std::vector<std::string>{"4711|Pending KELP", "4711|Pending Obrin"}));
  EXPECT_TRUE(Logged("Case management handled by KELP"));

  // A failed history row takes its status row and hand-over row with it.
  Exec("create function refuse_all() returns trigger language plpgsql as $$ begin "
       "raise exception 'history refused'; end $$");
  Exec("create trigger refuse_all before insert on qd_rap_history for each row "
       "execute function refuse_all()");
  NotifySet(nd_.NOTID, "P1060");
  NotifySet(nd_.URGENCY, "low");
  EXPECT_EQ(Write(-1, kCaseHandOver), kDeliveryFailed);
  EXPECT_EQ(Write(-2, kCaseStatusRows), kDeliveryFailed);
  EXPECT_EQ(Rows("select count(*) from entity_event_sr_requests"), std::vector<std::string>{"2"});
  EXPECT_EQ(Rows("select count(*) from external_sr_pending"), std::vector<std::string>{"1"});

  // Without 0x02 and 0x10 case management keeps the notification.
  Exec("drop trigger refuse_all on qd_rap_history");
  EXPECT_EQ(Write(-1, kCaseTellUsers), kDeliverySent);
  EXPECT_TRUE(Logged("insert to RAP history DB suppressed by KELP"));
  EXPECT_EQ(Rows("select count(*) from qd_rap_history"), std::vector<std::string>{"2"});
}

TEST_F(RapHistoryTest, StatusRowsOfTheirOwnAreCommittedAtOnce) {
  NotifySet(nd_.EntityId, "4712");
  EXPECT_EQ(UpdateSrStatus(st(), nd_, "Suppressed (Rule)", true), kSrStatusDone);
  EXPECT_EQ(Rows("select entity_event_id || '|' || sr_status from entity_event_sr_requests"),
            std::vector<std::string>{"4712|Suppressed (Rule)"});
  // An entity id that is not a number fails loudly and leaves conn1 usable.
  NotifySet(nd_.EntityId, "E-12");
  EXPECT_EQ(UpdateSrStatus(st(), nd_, "Suppressed (Rule)", true), kSrStatusFailed);
  EXPECT_TRUE(Logged("insert entity_event_sr_requests Suppressed (Rule)")) << root_->log();
  EXPECT_TRUE(st().reconnect);
  NotifySet(nd_.EntityId, "4713");
  EXPECT_EQ(UpdateSrStatus(st(), nd_, "Suppressed (Quiescent)", true), kSrStatusDone);
  EXPECT_EQ(Rows("select count(*) from entity_event_sr_requests"), std::vector<std::string>{"2"});
}

TEST_F(RapHistoryTest, OnTheSpNothingIsRecorded) {
  st().settings.history_capture = false;
  EXPECT_EQ(Write(-1), kDeliverySent);
  EXPECT_EQ(Rows("select count(*) from qd_rap_history"), std::vector<std::string>{"0"});
  EXPECT_FALSE(FileExists("P1042"));
}

}  // namespace
