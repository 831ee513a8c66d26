// Symptom suppression: which rules of a recipient cover a notification,
// and what database failures do.
#include "symptom.h"

#include "notifier_db_fixture.h"

namespace {

const char kAbstract[] = "Physical disk 7 failed";

class SuppressTest : public NotifierDbTest {
 protected:
  void SetUp() override {
    NotifierDbTest::SetUp();
    if (!connected_) return;
    st().recipient.resource_id = 5;
    st().scope.product_id = 10;
    st().scope.site_id = 20;
    NotifySet(st().scope.product_group, "All.Zarvek.Velmar");
  }
  // A suppression rule of `user` with `scope` ("product_id = 10", ...).
  void Rule(int user, const std::string& scope, const std::string& symptom,
            const char* suppress = "'Y'", const char* end = "sysdate() + interval '1 day'") {
    std::string column = scope.substr(0, scope.find(' '));
    std::string value = scope.substr(scope.rfind(' ') + 1);
    Exec("insert into qd_notify (resource_id, " + column + ", date_start, date_end, suppress, "
         "symptom) values (" + std::to_string(user) + ", " + value +
         ", sysdate() - interval '1 day', " + end + ", " + suppress + ", " + symptom + ")");
  }
};

TEST_F(SuppressTest, ARuleOfTheRecipientMatchingTheAbstractSuppresses) {
  EXPECT_EQ(SuppressSymptom(st(), kAbstract), 0);
  Rule(6, "product_id = 10", "'disk'");                      // another user
  Rule(5, "product_id = 10", "null");                        // no symptom
  Rule(5, "product_id = 10", "'Disk'");                      // other case
  Rule(5, "product_id = 10", "'disk ('");                    // does not compile
  Rule(5, "product_id = 10", "'disk'", "'N'");               // not a suppression rule
  Rule(5, "product_id = 10", "'disk'", "'Y'", "sysdate() - interval '1 hour'");  // ended
  Rule(5, "product_id = 11", "'disk'");                      // another product
  EXPECT_EQ(SuppressSymptom(st(), kAbstract), 0);
  Rule(5, "site_id = 20", "'disk [0-9]+ failed$'");
  EXPECT_NE(SuppressSymptom(st(), kAbstract), 0);
  EXPECT_FALSE(st().reconnect);
}

TEST_F(SuppressTest, ProductGroupsAndExpandedGroupsAreInScope) {
  Rule(5, "group_id = 'All.Zarvek.Velmar'", "'^SUPPRESSED:'");
  EXPECT_EQ(SuppressSymptom(st(), kAbstract), 0);
  EXPECT_NE(SuppressSymptom(st(), "SUPPRESSED:Physical disk 7 failed"), 0);
  Exec("insert into qd_group_mem (group_name, member_site) values ('West''s', 20);"
       "insert into qd_group_mem (group_name, member_group) values ('Americas', 'West''s');");
  Rule(5, "group_id = 'Americas'", "'disk 7'");
  EXPECT_NE(SuppressSymptom(st(), kAbstract), 0);
}

TEST_F(SuppressTest, DatabaseFailuresSetTheReconnectFlag) {
  Rule(5, "product_id = 10", "'disk'");
  // The rules cannot be read: the notification goes through.
  Exec("alter table qd_notify rename to qd_notify_gone");
  EXPECT_EQ(SuppressSymptom(st(), kAbstract), 0);
  EXPECT_TRUE(st().reconnect);
  EXPECT_TRUE(Logged("QDZ0100 2 Database error")) << root_->log();
  EXPECT_TRUE(Logged("in ss cursor open"));
  Exec("alter table qd_notify_gone rename to qd_notify");
  st().reconnect = false;
  EXPECT_NE(SuppressSymptom(st(), kAbstract), 0);  // conn3 was rolled back
  EXPECT_FALSE(st().reconnect);

  // The groups cannot be expanded: the recipient counts as suppressed.
  Exec("alter table qd_group_mem rename to qd_group_mem_gone");
  Exec("delete from qd_notify");
  EXPECT_NE(SuppressSymptom(st(), kAbstract), 0);
  EXPECT_TRUE(st().reconnect);
  EXPECT_TRUE(Logged("QDN9999 2 Error opening initial cursor. ")) << root_->log();
}

}  // namespace
