// qdNotify telling people: who is told of which kind of notification, by
// which means, what a mail says, and how the counts decide the message's
// end. Mails are read from the mailer stand-in's spool.
#include <gtest/gtest.h>

#include "notifier_fixture.h"

class NotifierDelivery : public NotifierRun {
 protected:
  void SetUp() override {
    NotifierRun::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    MakeRoot();
    WriteConf(false);
  }
  // Sends and waits for the message's end `how`.
  void Notify(const std::vector<std::string>& settings, const std::string& how = "Deleted",
              int fmt = 6) {
    std::string id = Send(settings, fmt);
    ASSERT_TRUE(Ended(id, how)) << Log();
  }
  // Addresses of the mails kept, in order.
  std::vector<std::string> Recipients() const {
    std::vector<std::string> out;
    for (const std::string& mail : Mails()) {
      size_t at = mail.find("\nTo: ");
      if (at == std::string::npos) continue;
      out.push_back(mail.substr(at + 5, mail.find('\n', at + 5) - at - 5));
    }
    return out;
  }
};

// ---- routing by kind and symptom filter ------------------------------------

TEST_F(NotifierDelivery, PnrSnrAndGnrReachTheirUsers) {
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  AddUser(2, "bert", "bert@site.example");
  AddRule(2, "3", "Disk [0-9]+ failed");
  AddUser(3, "carl", "carl@site.example");
  AddRule(3, "3", "Fan");
  StartReady();

  Notify({});
  EXPECT_EQ(Recipients(), (std::vector<std::string>{"anna@site.example", "bert@site.example"}));
  Notify({"TxnId=SNR"});
  EXPECT_EQ(Recipients().size(), 3u);
  EXPECT_EQ(Recipients().back(), "bert@site.example") << "SNR: only a matching symptom filter";
  Notify({"TxnId=GNR"}, "Deleted", 3);
  EXPECT_EQ(Recipients().size(), 4u);
  EXPECT_EQ(Recipients().back(), "anna@site.example") << "GNR: only users without a filter";
  EXPECT_EQ(Count("No symptom match"), 2) << "carl, for PNR and SNR";

  // What a person reads: subject with serial, model suffix and abstract,
  // the template's fields filled.
  std::string mail = MailsTo("anna@site.example").front();
  EXPECT_NE(mail.find("Subject: Zarvek-1234567-V:(Major)Disk 7 failed\n"), std::string::npos)
      << mail;
  EXPECT_NE(mail.find("Disk 7 failed.\nReplace it."), std::string::npos) << mail;
  EXPECT_NE(mail.find("Zarvek Velmar V400, serial 1234567"), std::string::npos) << mail;
}

TEST_F(NotifierDelivery, MeansDecideAndAreCountedApart) {
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  AddUser(2, "dora", "dora@site.example");
  // Mail only for low urgency: a high event finds no means.
  ASSERT_EQ(Exec("insert into qd_notify (resource_id, group_id, date_start, date_end, "
                 "means3_l_p, means3_l_o) values (2, 'All.Zarvek.Velmar', '2000-01-01', "
                 "'2100-01-01', 'Y', 'Y')"),
            "");
  AddUser(3, "emil", "emil@site.example");  // email2 missing
  AddRule(3, "4");
  StartReady();
  // One mail sent, one impossible: the message is refused.
  Notify({}, "Rejected");
  EXPECT_EQ(Recipients(), std::vector<std::string>{"anna@site.example"});
  EXPECT_NE(Log().find("dora (high, "), std::string::npos);
  EXPECT_EQ(Count("No means"), 1);
  EXPECT_NE(Log().find("mail failed - <no email2>"), std::string::npos) << Log();
  EXPECT_NE(Log().find("2 of 3 considered told; 1 succeeded, 0 failed, 1 impossible"),
            std::string::npos)
      << Log();
  // In maintenance mode the event is low: dora's means apply.
  Notify({"TxnAttr1=128"}, "Rejected");
  EXPECT_EQ(MailsTo("dora@site.example").size(), 1u);
  std::string mail = MailsTo("dora@site.example").front();
  EXPECT_NE(mail.find("Notification urgency reset to Low due to SP Maintenance Mode."),
            std::string::npos)
      << mail;
}

TEST_F(NotifierDelivery, FailedMailsRetryOrRejectByWhatElseSucceeded) {
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  AddUser(2, "fred", "fred@fails.example");
  AddRule(2, "3");
  MailerFailingFor("fails.example");
  StartReady();
  Notify({}, "Rejected");
  EXPECT_NE(Log().find("1 succeeded, 1 failed, 0 impossible"), std::string::npos) << Log();
  ASSERT_EQ(Exec("delete from qd_notify where resource_id = 1"), "");
  Notify({}, "Retry queued for");
  EXPECT_NE(Log().find("0 succeeded, 1 failed, 0 impossible"), std::string::npos) << Log();
}

// ---- customer rules ----------------------------------------------------------

TEST_F(NotifierDelivery, CustomerRules) {
  ASSERT_EQ(Exec("insert into qd_orggroup_mem (group_name, member_organization) values "
                 "('Customers', 'Acme')"),
            "");
  ASSERT_EQ(Exec("update qd_prod_attr set cust_alert_only = 'Y' where product = 'Velmar'"), "");
  AddUser(1, "cust", "cust@acme.example", "Acme");
  AddRule(1, "3");
  AddUser(2, "serv", "serv@zarvek.example");
  AddRule(2, "3");
  StartReady();
  Notify({});
  EXPECT_EQ(Recipients(), std::vector<std::string>{"serv@zarvek.example"});
  EXPECT_EQ(Count("suppressed. Non-alert for a customer id"), 1);
  Notify({"TxnAttr3=1"});  // an alert reaches the customer too
  EXPECT_EQ(MailsTo("cust@acme.example").size(), 1u);
  // Class 4 is for customers only.
  Notify({"notclass=4", "TxnAttr3=1"});
  EXPECT_EQ(MailsTo("cust@acme.example").size(), 2u);
  EXPECT_EQ(MailsTo("serv@zarvek.example").size(), 2u);
  EXPECT_EQ(Count("suppressed. Customer only notification for a non-customer id"), 1);
  // The organisation type picks the template: the customer's speaks to
  // the customer, the service people's is the common one.
  EXPECT_NE(MailsTo("cust@acme.example").front().find("Your Zarvek Velmar V400 with serial"),
            std::string::npos)
      << MailsTo("cust@acme.example").front();
  EXPECT_NE(MailsTo("serv@zarvek.example").front().find("Product:   Zarvek Velmar V400"),
            std::string::npos)
      << MailsTo("serv@zarvek.example").front();
}

// ---- repeat suppression and grouping as people see them ---------------------

TEST_F(NotifierDelivery, FourthRepeatIsToldSuppressedFifthIsNot) {
  ASSERT_EQ(Exec("update qd_prod_attr set repeat_suppression0 = 'Y', rs_limit0 = 3, "
                 "rs_window0 = 60"),
            "");
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  StartReady();
  for (int i = 0; i < 5; ++i) Notify({});
  std::vector<std::string> mails = Mails();
  ASSERT_EQ(mails.size(), 4u);
  EXPECT_NE(mails[3].find("Subject: Zarvek-1234567-V:SUPPRESSED:(Major)Disk 7 failed"),
            std::string::npos)
      << mails[3];
  EXPECT_NE(mails[3].find("more than 3 events of this type in the last 60"), std::string::npos)
      << mails[3];
  EXPECT_EQ(mails[2].find("SUPPRESSED"), std::string::npos);
}

TEST_F(NotifierDelivery, GroupedClassIsToldOnlyToMatchingFilters) {
  ASSERT_EQ(Exec("update qd_prod_attr set notification_grouping1 = 'Y'"), "");
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  AddUser(2, "bert", "bert@site.example");
  AddRule(2, "3", "Disk");
  StartReady();
  Notify({"urgency=L", "notclass=1"});
  EXPECT_EQ(Recipients(), std::vector<std::string>{"bert@site.example"});
  EXPECT_EQ(Rows("select count(*) from qd_grouped_not"), std::vector<std::string>{"1"});
}

// ---- retries -----------------------------------------------------------------

TEST_F(NotifierDelivery, RetryIsNotedAndCountsOnce) {
  ASSERT_EQ(Exec("update qd_prod_attr set repeat_suppression0 = 'Y', rs_limit0 = 1, "
                 "rs_window0 = 60, notification_grouping0 = 'Y'"),
            "");
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3", "Disk");
  MailerFailingFor("site.example");
  StartReady({"-r", "1"});
  std::string id = Send({"urgency=L"});
  ASSERT_TRUE(Ended(id, "Retry queued for")) << Log();
  MailerFailingFor("nobody.example");
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  // One history row, told: the retry did not count itself as a repeat,
  // and the notification was parked once.
  EXPECT_EQ(Rows("select notified from qd_notify_history"), std::vector<std::string>{"Y"});
  EXPECT_EQ(Rows("select count(*) from qd_grouped_not"), std::vector<std::string>{"1"});
  std::vector<std::string> mails = Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].find("This is a retry of a notification request originally sent "),
            std::string::npos)
      << mails[0];
  EXPECT_NE(mails[0].find("(HQX time)."), std::string::npos) << mails[0];
}

// ---- local alert forwarding on the SP ----------------------------------------

TEST_F(NotifierDelivery, LocalAlertForwardingFollowsTheTransferState) {
  WriteConf(true, {"RAP_FORWARDING = Y", "RAP_FORWARDING_EMAIL = hq@zarvek.example",
                   "SPFTP_SERVERDIR = /sp/ftp"});
  StartController();
  StartReady();
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  // No transfer state read yet: forwarded, users not told on the SP.
  Notify({});
  EXPECT_EQ(Recipients(), std::vector<std::string>{"hq@zarvek.example"});
  EXPECT_EQ(Count("QDN0020"), 1);
  // The controller says transfer is on: nothing forwarded.
  DaemonRun bys;
  ASSERT_TRUE(bys.Start(std::getenv("QD_BUILD_DIR") + std::string("/sim-bin/commctl"),
                        {"bys", "both"}, root_.under("/commctl.stderr")));
  int status = -1;
  ASSERT_TRUE(bys.Wait(kNotifierPatience, status));
  Notify({});
  EXPECT_EQ(Recipients().size(), 1u);
  EXPECT_NE(Log().find("COMM_BYS=both"), std::string::npos) << Log();
  // An "SNR" is never forwarded.
  ASSERT_TRUE(bys.Start(std::getenv("QD_BUILD_DIR") + std::string("/sim-bin/commctl"),
                        {"bys", "OFF"}, root_.under("/commctl.stderr")));
  ASSERT_TRUE(bys.Wait(kNotifierPatience, status));
  Notify({"TxnId=SNR"});
  EXPECT_EQ(Recipients().size(), 1u);
  Notify({});
  ASSERT_EQ(Recipients().size(), 2u);
  std::string fwd = MailsTo("hq@zarvek.example").back();
  EXPECT_NE(fwd.find("Subject: Zarvek-1234567-V:(Major)Disk 7 failed"), std::string::npos) << fwd;
}

// ---- suppression rules ---------------------------------------------------------

TEST_F(NotifierDelivery, SuppressionRuleSilencesOnlyItsUser) {
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  AddRule(1, "", "^\\(Major\\)Disk", "suppress", "'Y'");
  AddUser(2, "bert", "bert@site.example");
  AddRule(2, "3");
  AddRule(2, "", "^Fan", "suppress", "'Y'");
  StartReady();
  Notify({});
  EXPECT_EQ(Recipients(), std::vector<std::string>{"bert@site.example"});
  EXPECT_EQ(Count("Suppressed by symptom"), 1) << Log();
  EXPECT_EQ(Count("QDZ0100"), 0) << Log();
}

// A language from the database that could form a path never reaches a
// template file name: the mail is built from the common template.
TEST_F(NotifierDelivery, LanguageThatFormsAPathIsNotUsedForTheTemplate) {
  AddUser(1, "anna", "anna@site.example");
  AddRule(1, "3");
  ASSERT_EQ(Exec("update qd_user set language = '../../../../etc/AMERICAN' where resource_id = 1"),
            "");
  StartReady();
  Notify({});
  ASSERT_EQ(Recipients(), std::vector<std::string>{"anna@site.example"});
  EXPECT_NE(Mails()[0].find("Product:   Zarvek Velmar V400"), std::string::npos) << Mails()[0];
}
