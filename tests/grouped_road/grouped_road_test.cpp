// Three low-urgency events of one array on the whole road: qdAnalyze
// analyses them and asks for notification, qdNotify parks them for
// grouping (nobody is told yet), qdGrpNot summarises them once they are
// due, and qdNotify mails the summary to the users without a symptom
// filter. The parked rows are back-dated instead of waiting.
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "analyzer_run.h"
#include "event_corpus.h"
#include "notifier_fixture.h"

namespace {

class GroupedRoad : public NotifierRun {
 protected:
  void SetUp() override {
    // The daemons' sessions and the back-dating read times in one zone.
    setenv("PGTZ", "UTC", 1);
    NotifierRun::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    MakeRoot();
    WriteConf(false);
    // Every class of the array grouped, due 30 minutes after its last
    // event or 4 hours after its first.
    std::string set;
    for (int c = 0; c < 6; ++c) {
      std::string n = std::to_string(c);
      set += std::string(c ? ", " : "") + "notification_grouping" + n + " = 'Y', ng_delay" + n +
             " = 30, ng_max_delay" + n + " = 240";
    }
    ASSERT_EQ(Exec("update qd_prod_attr set " + set +
                   " where vendor = 'Zarvek' and product = 'VELMAR'"),
              "");
    AddUser(1, "anna", "anna@site.example");
    AddUser(2, "bert", "bert@site.example");
    for (const char* rule : {"(1, null)", "(2, 'Fan')"}) {
      ASSERT_EQ(Exec("insert into qd_notify (resource_id, group_id, date_start, date_end, "
                     "symptom, means3_h_p, means3_h_o, means3_l_p, means3_l_o) select r, "
                     "'All.Zarvek.VELMAR', '2000-01-01', '2100-01-01', s, 'Y', 'Y', 'Y', 'Y' "
                     "from (values " + std::string(rule) + ") v (r, s)"),
                "");
    }
  }
  void TearDown() override {
    for (DaemonRun* d : {&analyzer_, &grouper_}) {
      if (d->pid() > 0) d->Signal(SIGTERM);
      int status = 0;
      (void)d->Wait(kNotifierPatience, status);
    }
    NotifierRun::TearDown();
  }
  void StartDaemon(DaemonRun& d, const std::string& program,
                   const std::vector<std::string>& args) {
    const char* build = std::getenv("QD_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    ASSERT_TRUE(d.Start(std::string(build) + "/bin/" + program, args,
                        root_.under("/" + program + ".stderr")));
  }
  // Writes event file `name`, catalogues it and asks the analyzer for it.
  std::string Analyze(const std::string& name, const std::string& text) {
    root_.write(kEventDir + name, text);
    std::vector<std::string> ids = db_.query(
        "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
        "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
        "values ('Zarvek', 'VELMAR', '1400123', '2005-04-15 10:00:00', 100, '" + name +
        "', 'EVENT', '" + kEventDir + name + "', '0', '0', 'A', 'X') returning objid");
    EXPECT_EQ(ids.size(), 1u);
    return SendRecord("QDAN", "AIQ",
                      JoinSettings(JoinSettings(kRequestSp, kEventProd),
                                   {"FDB_Objid=" + (ids.empty() ? "" : ids[0])}));
  }
  std::string Parked() const {
    std::vector<std::string> n = Rows("select count(*) from qd_grouped_not");
    return n.empty() ? "?" : n[0];
  }
  static std::string TaskFailed() {
    std::vector<CorpusEvent> events;
    std::string error;
    EXPECT_TRUE(LoadCorpus(&events, &error)) << error;
    for (const CorpusEvent& ev : events) {
      if (ev.name == "evt_task_fail") return ev.text;
    }
    ADD_FAILURE() << "no evt_task_fail in the corpus";
    return "";
  }

  DaemonRun analyzer_;
  DaemonRun grouper_;
};

TEST_F(GroupedRoad, ThreeLowEventsOfOneArrayBecomeOneGroupedMail) {
  std::string task = TaskFailed();
  ASSERT_FALSE(task.empty());
  StartDaemon(analyzer_, "qdAnalyze", {"-d"});
  StartReady();
  for (const char* seq : {"t1", "t2", "t3"}) (void)Analyze(seq, task);
  ASSERT_TRUE(PollUntil([&] { return Parked() == "3"; }, kNotifierPatience)) << Log();
  ASSERT_TRUE(PollUntil([&] { return Count("QDN0034 A ") == 3; }, kNotifierPatience))
      << "each parked event went on as SNR: bert's filter does not match, anna has none\n" << Log();
  EXPECT_TRUE(Mails().empty());

  // Quiet for two hours: due.
  ASSERT_EQ(Exec("update qd_grouped_not set timestamp = timestamp - interval '2 hours'"), "");
  StartDaemon(grouper_, "qdGrpNot", {"-d", "-s", "5"});
  ASSERT_TRUE(PollUntil([&] { return Parked() == "0" && Mails().size() == 1; },
                        kNotifierPatience))
      << Log();
  ASSERT_TRUE(PollUntil([&] { return Count("QDN0035 A ") == 1; }, kNotifierPatience)) << Log();

  std::vector<std::string> mails = Mails();
  ASSERT_EQ(mails.size(), 1u) << "nothing else is mailed";
  const std::string& mail = mails[0];
  EXPECT_NE(mail.find("\nTo: anna@site.example\n"), std::string::npos) << mail;
  EXPECT_NE(mail.find("Summary "), std::string::npos) << "the grouped template\n" << mail;
  EXPECT_NE(mail.find("Zarvek VELMAR Unknown, serial 1400123"), std::string::npos) << mail;
  EXPECT_NE(mail.find("\n    3 (major)TASK12345|tune_vv1 task_failed Task failed(evt_task_fail)\n"),
            std::string::npos)
      << "one line for the three\n" << mail;
  EXPECT_EQ(Count("QDN0035 A "), 1) << Log();
  EXPECT_NE(Log().find("1 of 2 considered told; 1 succeeded, 0 failed"), std::string::npos) << Log();

  for (DaemonRun* d : {&grouper_, &analyzer_, &daemon_}) {
    d->Signal(SIGTERM);
    int status = -1;
    ASSERT_TRUE(d->Wait(kNotifierPatience, status));
    EXPECT_EQ(ExitCode(status), 100);
  }
}

}  // namespace
