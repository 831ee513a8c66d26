#include "notifier_fixture.h"

#include <sys/wait.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>

#include "txn_build.h"
#include "work_messages.h"

namespace {

std::string BuildDir() {
  const char* build = std::getenv("QD_BUILD_DIR");
  return build ? build : "";
}

}  // namespace

void NotifierRun::SetUp() {
  QD_REQUIRE_DB();
  ASSERT_FALSE(db_.name().empty()) << db_.error();
  ASSERT_FALSE(BuildDir().empty()) << "QD_BUILD_DIR is not set";
  db_.exportAsDefault();
  setenv("QD_TIME_SCALE", "0.01", 1);
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
}

void NotifierRun::WriteConf(bool on_sp, const std::vector<std::string>& extra) {
  std::string text = "[Global]\nSYSTEM_LEVEL = Prod\nWM_CONNINFO = dbname=" + db_.name() +
                     "\nRUNNINGONSP = " + (on_sp ? "Y" : "N") +
                     "\nSP_ID = SP0042\nROOT = /usr/local/qd/data\n"
                     "TEMPLATE_DIRECTORY = templates\nRAP_HIST_DIR = rap_history\n"
                     "RAP_TIMEZONE_NAME = UTC\n";
  for (const std::string& line : extra) text += line + "\n";
  text += "[Prod]\nORASID = " + db_.name() + "\nORAID = qd\n";
  root_.write("/etc/qd/gdda.conf", text);
}

void NotifierRun::StartReady(std::vector<std::string> args) {
  args.insert(args.begin(), "-d");
  ASSERT_TRUE(daemon_.Start(BuildDir() + "/bin/qdNotify", args, root_.under("/notifier.stderr")));
  ASSERT_TRUE(LogShows("QDZ0102")) << Log() << root_.read("/notifier.stderr");
}

void NotifierRun::StartController() {
  ASSERT_TRUE(controller_.Start(BuildDir() + "/sim-bin/commctl", {"serve"},
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
  QDTxn txn;
  std::string error;
  EXPECT_EQ(TxnBuild(fmt, all, txn, error), 0) << error;
  if (patch) patch(txn);
  std::vector<char> data(size >= 0 ? size : TxnFormatSize(fmt), '\0');
  std::copy_n(reinterpret_cast<const char*>(&txn), std::min(data.size(), sizeof txn),
              data.begin());
  CWorkMessages wm(true);
  int msgid = 0;
  int rc = wm.SendByName("QDAN", "QDNOT", "NIQ", data.data(), data.size(), msgid);
  EXPECT_TRUE(rc == 0 || rc == WM_QUEUED) << rc << " " << wm.szErrorMsg;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%.8X", static_cast<unsigned>(msgid));
  return hex;
}

bool NotifierRun::Ended(const std::string& msgid, const std::string& how) const {
  return LogShows(how + " message " + msgid);
}

bool NotifierRun::LogShows(const std::string& text, double seconds) const {
  return PollUntil([&] { return Log().find(text) != std::string::npos; }, seconds);
}

int NotifierRun::Count(const std::string& text) const {
  std::string log = Log();
  int n = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

int NotifierRun::ExitCode() {
  int status = -1;
  if (!daemon_.Wait(kNotifierPatience, status)) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
