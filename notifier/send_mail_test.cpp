// Mail delivery through the mailer's stand-in below a root made by
// scripts/mkroot: template lookup, header lines, folding, every mailer
// outcome, and the temporary files.
#include "send_mail.h"

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child_process.h"
#include "mail_fold.h"
#include "testdata/mail_root.h"

namespace {

const char kLookupDir[] = "/usr/local/qd/lookup";

class SendMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<MailRoot>();
    ASSERT_EQ(root_->error(), "");
    FillSample(nd_);
  }
  void TearDown() override { unsetenv("QD_TIME_SCALE"); }
  NotifierState& st() { return root_->state(); }
  int Send(const char* address, const char* kind = "mail") {
    return SendMail(st(), nd_, address, kind);
  }
  int Calls() const {
    std::string calls = root_->read("/var/log/qd/sim/sendmail.calls");
    int n = 0;
    for (char c : calls) n += c == '\n';
    return n;
  }
  bool Logged(const std::string& text) const {
    return root_->log().find(text) != std::string::npos;
  }

  std::unique_ptr<MailRoot> root_;
  NotifyData nd_;
};

TEST_F(SendMailTest, AMailLeavesWithItsHeadersAndAFoldedBody) {
  NotifySet(nd_.ORGTYPE, "VQX");
  NotifySet(nd_.TEXT, std::string(30, 'w') + " " + std::string(70, 'v'));
  ASSERT_EQ(Send("ops@example.com"), kDeliverySent) << root_->log();
  auto mails = root_->mails();
  ASSERT_EQ(mails.size(), 1u);
  const std::string& m = mails[0];
  EXPECT_EQ(m.rfind("From: RealtimeAlertProcess-sp0042@example.com\nTo: ops@example.com\n"
                    "Subject: Zarvek-1234567-V:Physical disk 7 failed\n\n"
                    "Notification P1042 (high urgency, class 2) from Varn SP0042\n",
                    0),
            0u)
      << m;
  // The long text line is folded after its blank.
  EXPECT_NE(m.find("\n" + std::string(30, 'w') + " \n" + std::string(70, 'v') + "\n"),
            std::string::npos)
      << m;
  std::string calls = root_->read("/var/log/qd/sim/sendmail.calls");
  EXPECT_NE(calls.find("/usr/sbin/sendmail\", \"-t\", \"-oi\"]"), std::string::npos) << calls;
  EXPECT_TRUE(Logged("QDN0033 1 P1042 to jdoe (high, prime shift): mail succeeded to ops@example.com"))
      << root_->log();
  EXPECT_TRUE(root_->tmpEntries().empty());
}

TEST_F(SendMailTest, TheTemplateIsLookedUpOrganisationBeforeLanguage) {
  for (const char* name : {"mail1CUS.tmplt", "mail1CMNAMERICAN.tmplt", "mail1.tmplt"}) {
    root_->write(std::string(kLookupDir) + "/" + name, std::string(name) + "\n");
  }
  std::string dir = kLookupDir;
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1", "CUS", "AMERICAN"), dir + "/mail1CUS.tmplt");
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1", "VQX", "AMERICAN"), dir + "/mail1CMNAMERICAN.tmplt");
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1", "VQX", "FRENCH"), dir + "/mail1.tmplt");
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1m", "CUS", "AMERICAN"), "");
  root_->write(dir + "/mail1CUSAMERICAN.tmplt", "full\n");
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1", "CUS", "AMERICAN"), dir + "/mail1CUSAMERICAN.tmplt");
  // Parts from the database never lead out of the directory.
  root_->write("/usr/local/qd/mail1.tmplt", "outside\n");
  root_->write(dir + "/x/mail1.tmplt", "below\n");
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1", "/../..", "AMERICAN"), dir + "/mail1CMNAMERICAN.tmplt");
  EXPECT_EQ(MailTemplatePath(dir, "mail", "1", "CUS", "/../x"), dir + "/mail1CUS.tmplt");

  st().settings.template_dir = dir;
  ASSERT_EQ(Send("ops@example.com"), kDeliverySent);
  ASSERT_EQ(root_->mails().size(), 1u);
  EXPECT_NE(root_->mails()[0].find("\n\nfull\n"), std::string::npos);
}

TEST_F(SendMailTest, SubjectsAreCutAndPagesCarryNoAbstract) {
  NotifySet(nd_.ABSTRACT, std::string(80, 'A'));
  EXPECT_EQ(MailSubject(nd_, "mail"), "Subject: Zarvek-1234567-V:" + std::string(52, 'A'));
  EXPECT_EQ(MailSubject(nd_, "mail").size(), kSubjectMax);
  EXPECT_EQ(MailSubject(nd_, "page"), "Subject: Zarvek-1234567-V");
  NotifySet(nd_.ABSTRACT, "short");
  EXPECT_EQ(MailSubject(nd_, "mail"), "Subject: Zarvek-1234567-V:short");
  ASSERT_EQ(Send("pager@example.com", "page"), kDeliverySent);
  ASSERT_EQ(root_->mails().size(), 1u);
  EXPECT_NE(root_->mails()[0].find("Subject: Zarvek-1234567-V\n\nH P1042 Mar07 05:01 north\nshort\n"),
            std::string::npos)
      << root_->mails()[0];
}

TEST_F(SendMailTest, HeaderValuesNeverStartAHeaderLine) {
  NotifySet(nd_.ABSTRACT, "disk\nBcc: x@example.com");
  st().settings.additional_to = "team@example.com\r\nCc: y@example.com";
  ASSERT_EQ(Send("ops@example.com"), kDeliverySent);
  auto mails = root_->mails();
  ASSERT_EQ(mails.size(), 1u);
  const std::string& m = mails[0];
  std::string head = m.substr(0, m.find("\n\n") + 1);
  EXPECT_EQ(head.find("\nBcc:"), std::string::npos) << head;
  EXPECT_EQ(head.find("\nCc:"), std::string::npos) << head;
  EXPECT_NE(head.find("Subject: Zarvek-1234567-V:disk Bcc: x@example.com\n"), std::string::npos);
  EXPECT_NE(head.find("To: team@example.com  Cc: y@example.com\n"), std::string::npos);

  // An address holding a line end is no address at all.
  EXPECT_EQ(Send("ops@example.com\nBcc: x@example.com"), kDeliveryImpossible);
  EXPECT_EQ(Send("<no email2>"), kDeliveryImpossible);
  EXPECT_EQ(Calls(), 1);
  EXPECT_TRUE(Logged("mail failed - address holds control characters"));
  EXPECT_TRUE(Logged("QDN0033 2 P1042 to jdoe (high, prime shift): mail failed - <no email2>"));
}

TEST_F(SendMailTest, IdsFromTheDatabaseNeverFormAPathNorReachAShell) {
  NotifySet(nd_.USERID, "../../../pwned; touch /tmp/pwned-$(id -u) `reboot`|x");
  NotifySet(nd_.NOTID, "../..");
  ASSERT_EQ(Send("ops@example.com"), kDeliverySent) << root_->log();
  ASSERT_EQ(root_->mails().size(), 1u);
  struct stat sb;
  EXPECT_NE(stat(root_->under("/pwned").c_str(), &sb), 0);
  EXPECT_NE(stat(root_->under("/tmp/pwned-0").c_str(), &sb), 0);
  EXPECT_NE(stat(("/tmp/pwned-" + std::to_string(getuid())).c_str(), &sb), 0);
  EXPECT_TRUE(root_->tmpEntries().empty());
  EXPECT_EQ(MailFileWord(nd_.USERID), ".._.._.._pwned__touch__tmp_pwned-__id_-u___reboot__x");
  EXPECT_EQ(MailFileWord(""), "none");
}

TEST_F(SendMailTest, EveryMailerFailureIsAFailedDelivery) {
  struct Case {
    const char* conf;
    const char* logged;
  } cases[] = {
      {"exit = 75\n", "QDN0040 2 Mailer ended with status 75: "},
      {"output = 550 no such user\n", "QDN0041 2 Mailer output (sendmail): 550 no such user"},
      {"delay = 60\n", "QDN0044 2 Mailer still running after 120 seconds, stopped: "},
  };
  setenv("QD_TIME_SCALE", "0.005", 1);  // the 120 s limit becomes 0.6 s
  for (const Case& c : cases) {
    root_->write("/etc/qd/sim/sendmail.conf", c.conf);
    EXPECT_EQ(Send("ops@example.com"), kDeliveryFailed) << c.conf;
    EXPECT_TRUE(Logged(c.logged)) << c.conf << root_->log();
    EXPECT_TRUE(root_->tmpEntries().empty()) << c.conf;
  }
  EXPECT_TRUE(Logged("-t -oi < "));
  EXPECT_TRUE(Logged("QDN0033 2 P1042 to jdoe (high, prime shift): mail failed to ops@example.com"));
  // A mailer that cannot start at all.
  unlink(root_->under("/usr/sbin/sendmail").c_str());
  EXPECT_EQ(Send("ops@example.com"), kDeliveryFailed);
  EXPECT_TRUE(Logged("QDN0040 2 Mailer ended with status -1: "));
  EXPECT_TRUE(root_->tmpEntries().empty());
}

TEST_F(SendMailTest, AMissingTemplateRaisesTheBackDoorAlert) {
  st().settings.template_dir = kLookupDir;
  NotifySet(nd_.LANGUAGE, "FRENCH");
  EXPECT_EQ(Send("ops@example.com"), kDeliveryFailed);
  EXPECT_EQ(Calls(), 0);
  EXPECT_TRUE(Logged("QDN0042 A No mail template for user jdoe: File '/usr/local/qd/lookup/mail', "
                     "mod=1, org=CUS, lang=FRENCH"))
      << root_->log();
  std::string alerts = root_->read("/var/log/qd/alerts.log");
  EXPECT_NE(alerts.find("\"kind\":\"backdoor\",\"name\":\"qdNotify\",\"urgency\":\"H\","
                        "\"abstract\":\"Unable to find template\""),
            std::string::npos)
      << alerts;
  EXPECT_TRUE(root_->tmpEntries().empty());

  // A template that cannot be expanded sends nothing either.
  root_->write(std::string(kLookupDir) + "/mail1.tmplt", std::string(4096, 'x') + "\n");
  EXPECT_EQ(Send("ops@example.com"), kDeliveryFailed);
  EXPECT_EQ(Calls(), 0);
  EXPECT_TRUE(Logged("File error reading template file"));
  EXPECT_TRUE(root_->tmpEntries().empty());
}

// The stand-in itself: what the mail tests above rely on.
TEST_F(SendMailTest, TheStandInInsistsOnMinusTAndKeepsTheMailWhole) {
  root_->write("/in.mail", "To: a@example.com\n\nline\n.\nafter the dot\n");
  ChildSpec cmd;
  cmd.argv = {root_->under("/usr/sbin/sendmail"), "-oi"};
  cmd.stdinPath = root_->under("/in.mail");
  cmd.stdoutPath = root_->under("/out");
  cmd.stderrPath = "=stdout";
  int status = 0;
  char err[256];
  ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_EQ(WEXITSTATUS(status), 64);
  EXPECT_EQ(root_->read("/out"), "sendmail: -t is required\n");
  EXPECT_TRUE(root_->mails().empty());

  cmd.argv = {root_->under("/usr/sbin/sendmail"), "-t", "-oi"};
  ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_EQ(status, 0);
  cmd.argv = {root_->under("/usr/sbin/sendmail"), "-t"};  // a lone dot ends the mail
  ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
  auto mails = root_->mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0], "To: a@example.com\n\nline\n.\nafter the dot\n");
  EXPECT_EQ(mails[1], "To: a@example.com\n\nline\n");
  EXPECT_EQ(Calls(), 3);
}

TEST(MailFold, LinesWiderThanEightyColumnsBreakAtTheirLastBlank) {
  std::string a(50, 'a'), b(40, 'b'), c(90, 'c');
  EXPECT_EQ(FoldMailBody(a + " " + b + "\nshort\n"), a + " \n" + b + "\nshort\n");
  EXPECT_EQ(FoldMailBody(c), std::string(80, 'c') + "\n" + std::string(10, 'c'));
  EXPECT_EQ(FoldMailBody(std::string(80, 'x') + "\n"), std::string(80, 'x') + "\n");
  // A tab counts to the next multiple of eight.
  EXPECT_EQ(FoldMailBody("\t" + std::string(75, 'y')), "\t\n" + std::string(75, 'y'));
  EXPECT_EQ(FoldMailBody("z\t" + std::string(75, 'y')), "z\t\n" + std::string(75, 'y'));
  EXPECT_EQ(FoldMailBody(""), "");
}

}  // namespace
