// qdNotify and the alert history of the central site: RAP recipients get a
// history file and row, and notifications of case management leave their
// service-request statuses.
#include <gtest/gtest.h>

#include "notifier_fixture.h"

class NotifierHistory : public NotifierRun {
 protected:
  void SetUp() override {
    NotifierRun::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    MakeRoot();
    WriteConf(false);
    AddUser(1, "anna", "anna@site.example");
    AddRule(1, "3");
  }
  // A RAP recipient: means 6 only makes it reachable.
  void AddRap(int rid) {
    AddUser(rid, "rap" + std::to_string(-rid), "");
    AddRule(rid, "6");
  }
  // A case-management notification with case flags `flags` for entity 4711.
  void NotifyCase(int flags, const std::string& how = "Deleted") {
    std::string id = Send({"SRnumber=" + std::to_string(flags), "EntityId=4711"}, 7);
    ASSERT_TRUE(Ended(id, how)) << Log();
  }
  std::vector<std::string> Statuses() const {
    return Rows("select sr_status from entity_event_sr_requests order by request_date, ctid");
  }
};

TEST_F(NotifierHistory, RapRecipientsAreRecordedAndCountAsDelivered) {
  AddRap(-1);
  AddRap(-2);
  StartReady();
  std::string id = Send({});
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  std::vector<std::string> rows = Rows(
      "select rap_resource_id || '|' || status || '|' || rap_filename from qd_rap_history "
      "order by rap_resource_id");
  ASSERT_EQ(rows.size(), 2u) << Log();
  std::string name = rows[0].substr(rows[0].rfind('|') + 1);
  EXPECT_EQ(rows[0], "-2|New|" + name);
  EXPECT_EQ(rows[1], "-1|New|" + name);
  EXPECT_EQ(name.rfind("/usr/local/qd/data/Prod/rap_history/P", 0), 0u) << name;
  EXPECT_NE(root_.read(name).find("Disk 7 failed.\nReplace it."), std::string::npos);
  EXPECT_EQ(Count("insert to RAP history DB succeeded"), 2);
  EXPECT_NE(Log().find(": 3 of 3 considered told; 3 succeeded, 0 failed, 0 impossible"),
            std::string::npos)
      << Log();
  EXPECT_EQ(Mails().size(), 1u) << "only anna is mailed";
}

TEST_F(NotifierHistory, CaseStatusesFollowTheRecipientsAndTheirRules) {
  AddRap(-2);
  AddRule(-2, "", "^\\(Major\\)Disk", "suppress", "'Y'");
  StartReady();
  // 0x02: status rows; the only RAP recipient suppresses the abstract, and
  // an ordinary user is not told without 0x01.
  NotifyCase(0x02);
  EXPECT_EQ(Statuses(), std::vector<std::string>{"Suppressed (Rule)"});
  EXPECT_TRUE(Mails().empty());
  EXPECT_EQ(Count("Suppressed by KELP (repeated event)"), 1);
  // 0x04 asks for no suppression rows.
  NotifyCase(0x02 | 0x04);
  EXPECT_EQ(Statuses().size(), 1u);
  // Without the rule the recipient is recorded with "Pending Obrin".
  ASSERT_EQ(Exec("delete from qd_notify where suppress = 'Y'"), "");
  NotifyCase(0x02 | 0x01);
  EXPECT_EQ(Statuses(), (std::vector<std::string>{"Suppressed (Rule)", "Pending Obrin"}));
  EXPECT_EQ(Rows("select status || '|' || EntityId from qd_rap_history"),
            std::vector<std::string>{"New|4711"});
  EXPECT_EQ(Mails().size(), 1u) << "0x01 tells anna";
  // No RAP recipient reached at all.
  ASSERT_EQ(Exec("delete from qd_notify where resource_id = -2"), "");
  NotifyCase(0x10);
  EXPECT_EQ(Statuses().back(), "Suppressed (Not Applicable)");
}

TEST_F(NotifierHistory, AQuiescentRepeatLeavesItsStatus) {
  ASSERT_EQ(Exec("update qd_prod_attr set repeat_suppression0 = 'Y', rs_limit0 = 1, "
                 "rs_window0 = 60"),
            "");
  AddRap(-1);
  StartReady();
  NotifyCase(0x02);  // told
  NotifyCase(0x02);  // told, first of the suppressed run
  NotifyCase(0x02);  // only recorded
  EXPECT_EQ(Statuses(), (std::vector<std::string>{"Pending Obrin", "Pending Obrin",
                                                  "Suppressed (Quiescent)"}));
  EXPECT_EQ(Rows("select count(*) from qd_rap_history"), std::vector<std::string>{"2"});
}

TEST_F(NotifierHistory, AFailedHistoryRowIsAFailedDeliveryAndTheRetryRecordsIt) {
  ASSERT_EQ(Exec("delete from qd_notify where resource_id = 1"), "");
  AddRap(-1);
  ASSERT_EQ(Exec("create function refuse() returns trigger language plpgsql as $$ begin "
                 "raise exception 'history refused'; end $$; "
                 "create trigger refuse before insert on qd_rap_history for each row "
                 "execute function refuse()"),
            "");
  StartReady({"-r", "1"});
  std::string id = Send({});
  ASSERT_TRUE(Ended(id, "Retry queued for")) << Log();
  EXPECT_NE(Log().find("Notification P1 (high): 1 of 1 considered told; 0 succeeded, 1 failed"),
            std::string::npos)
      << Log();
  EXPECT_NE(Alerts().find("\"abstract\":\"RAP history db error\""), std::string::npos);
  EXPECT_EQ(root_.read("/usr/local/qd/data/Prod/rap_history/P1"), "") << "its file is gone";

  ASSERT_EQ(Exec("drop trigger refuse on qd_rap_history"), "");
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  std::vector<std::string> rows = Rows("select rap_filename from qd_rap_history");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(root_.read(rows[0]).find("Disk 7 failed."), std::string::npos);
}
