#include "notifier_fixture.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>

#include "test_files.h"
#include "work_messages.h"

void NotifierRun::SetUp() {
  ProgramRun::SetUp();
  if (HasFatalFailure() || IsSkipped()) return;
  // "now" in a request is the sender's wall clock, read as the alert
  // zone's (UTC in the dictionary below).
  setenv("TZ", "UTC", 1);
  tzset();
  WriteConf(false);
}

void NotifierRun::TearDown() {
  if (daemon_.pid() > 0) daemon_.Signal(SIGTERM);
  int status = 0;
  (void)daemon_.Wait(kNotifierPatience, status);
  if (controller_.pid() > 0) controller_.Signal(SIGTERM);
  (void)controller_.Wait(kNotifierPatience, status);
  ProgramRun::TearDown();
}

void NotifierRun::WriteConf(bool on_sp, const std::vector<std::string>& extra) {
  std::vector<std::string> global = {std::string("RUNNINGONSP = ") + (on_sp ? "Y" : "N"),
                                     "SP_ID = SP0042", "ROOT = /usr/local/qd/data",
                                     "TEMPLATE_DIRECTORY = templates",
                                     "RAP_HIST_DIR = rap_history", "RAP_TIMEZONE_NAME = UTC"};
  ProgramRun::WriteConf(db_.name(), "qd", JoinSettings(global, extra));
}

void NotifierRun::StartReady(std::vector<std::string> args) {
  args.insert(args.begin(), "-d");
  ProgramRun::StartReady("qdNotify", args);
}

void NotifierRun::StartController() {
  ASSERT_TRUE(controller_.Start(BuildPath("sim-bin/commctl"), {"serve"},
                                root_.under("/commctl.stderr")));
  CWorkMessages wm(true);
  int spcm = wm.GetUID("SPCM");
  ASSERT_GT(spcm, 0) << wm.szErrorMsg;
  // Serving once its input is registered: a message to it is then submitted.
  ASSERT_TRUE(PollUntil(
      [&] {
        std::vector<WmProcessInfo> procs;
        std::vector<WmMsgNameInfo> msgs;
        if (wm.ListRegistry(procs, msgs) != 0) return false;
        for (const WmProcessInfo& p : procs) {
          if (p.name == "SPCM" && !p.inputs.empty()) return true;
        }
        return false;
      },
      kNotifierPatience))
      << root_.read("/commctl.stderr");
}

void NotifierRun::MakeRoot() {
  const char* source = std::getenv("QD_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "QD_SOURCE_DIR is not set";
  DaemonRun mkroot;
  ASSERT_TRUE(mkroot.Start(std::string(source) + "/scripts/mkroot", {root_.path()},
                           root_.under("/mkroot.stderr")));
  int status = -1;
  ASSERT_TRUE(mkroot.Wait(kNotifierPatience, status));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << root_.read("/mkroot.stderr");
}

void NotifierRun::MailerFailingFor(const std::string& failing) {
  std::string real = root_.under("/usr/sbin/sendmail.real");
  std::string front = root_.under("/usr/sbin/sendmail");
  if (::access(real.c_str(), X_OK) != 0) {
    ASSERT_EQ(std::rename(front.c_str(), real.c_str()), 0);
  }
  // A test's own mailer: keeps the mail in a file, fails it or hands it on.
  root_.write("/usr/sbin/sendmail",
              "#!/bin/sh\nmail=$(mktemp)\ncat >\"$mail\"\n"
              "if grep -q '^To: .*" + failing + "' \"$mail\"; then rm -f \"$mail\"; exit 1; fi\n"
              "\"" + real + "\" \"$@\" <\"$mail\"\nrc=$?\nrm -f \"$mail\"\nexit $rc\n");
  ASSERT_EQ(::chmod(front.c_str(), 0755), 0);
}

std::vector<std::string> NotifierRun::Mails() const {
  std::vector<std::string> names;
  if (DIR* dir = opendir(root_.under("/var/spool/sim-mail").c_str())) {
    while (struct dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".mail") == 0) names.push_back(name);
    }
    closedir(dir);
  }
  // "<seconds>.<pid>.<n>.mail": oldest first.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::strtoll(a.c_str(), nullptr, 10) != std::strtoll(b.c_str(), nullptr, 10)
               ? std::strtoll(a.c_str(), nullptr, 10) < std::strtoll(b.c_str(), nullptr, 10)
               : a < b;
  });
  std::vector<std::string> mails;
  for (const std::string& name : names) mails.push_back(root_.read("/var/spool/sim-mail/" + name));
  return mails;
}

std::vector<std::string> NotifierRun::MailsTo(const std::string& address) const {
  std::vector<std::string> out;
  for (const std::string& mail : Mails()) {
    if (mail.find("\nTo: " + address + "\n") != std::string::npos) out.push_back(mail);
  }
  return out;
}

namespace {

std::string Literal(const std::string& text) {
  if (text.empty()) return "null";
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

}  // namespace

void NotifierRun::AddUser(int rid, const std::string& user, const std::string& email1,
                          const std::string& company, const std::string& email2) {
  ASSERT_EQ(Exec("insert into qd_user (resource_id, user_id, email1, email2, company) values (" +
                 std::to_string(rid) + ", " + Literal(user) + ", " + Literal(email1) + ", " +
                 Literal(email2) + ", " + Literal(company) + ")"),
            "");
}

void NotifierRun::AddRule(int rid, const std::string& means, const std::string& symptom,
                          const std::string& extra_columns, const std::string& extra_values) {
  std::string cols, vals;
  for (char m : means) {
    for (const char* set : {"h_p", "h_o", "l_p", "l_o"}) {
      cols += std::string(", means") + m + "_" + set;
      vals += ", 'Y'";
    }
  }
  if (!extra_columns.empty()) {
    cols += ", " + extra_columns;
    vals += ", " + extra_values;
  }
  ASSERT_EQ(Exec("insert into qd_notify (resource_id, group_id, date_start, date_end, symptom" +
                 cols + ") values (" + std::to_string(rid) +
                 ", 'All.Zarvek.Velmar', '2000-01-01', '2100-01-01', " + Literal(symptom) +
                 vals + ")"),
            "");
}

std::string NotifierRun::Send(const std::vector<std::string>& settings, int fmt, long size,
                              const std::function<void(QDTxn&)>& patch) {
  std::vector<std::string> all = {
      "sp.vendor=Zarvek", "sp.prod=SP", "sp.id=SP0042", "prod.vendor=Zarvek",
      "prod.prod=Velmar", "prod.id=1234567"};
  if (fmt == 3 || (fmt >= 5 && fmt <= 7)) {
    std::vector<std::string> body = {
        "TxnId=PNR", "urgency=H", "notclass=0", "event=disk 7 failed",
        "source=Zarvek Velmar 1234567 EVENT file, seq 9, dated 2026/12/01 10:00:00",
        "EventTimeFirst=now", "EventTimeLast=now", "EventLocation=L",
        "abstract=(Major)Disk 7 failed", "counter=1", "text=Disk 7 failed.\nReplace it."};
    all.insert(all.end(), body.begin(), body.end());
    if (fmt >= 5) all.push_back("model=V400");
    if (fmt >= 6) all.push_back("NotifyUnique=disk 7 failed");
  }
  all.insert(all.end(), settings.begin(), settings.end());
  return SendRecord("QDNOT", "NIQ", all, fmt, size, patch);
}
