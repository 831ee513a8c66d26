// qdAnalyze in the foreground against a private database and work-message
// service: requests go in through the service, outcomes are read from the
// platform log, the transaction log and the exit status.
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon_run.h"
#include "temp_root.h"
#include "test_db.h"
#include "txn_build.h"
#include "work_messages.h"

namespace {

// Fields every request carries: the SP that sent it and the product.
const std::vector<std::string> kSp = {"sp.vendor=Zarvek", "sp.prod=SPx", "sp.id=SP0042"};
const std::vector<std::string> kProd = {"prod.vendor=Zarvek", "prod.prod=Velmar",
                                        "prod.id=1234567"};
// How long a test waits for something the daemon should do at once.
constexpr double kPatience = 30;

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A request naming a file by identification.
std::vector<std::string> ByIdentification(const std::string& filetype) {
  return Join(kSp, {"FileType=" + filetype, "FileTime=2024/05/01 12:34:56", "FileSeq=7",
                    "FileName=/sp/prod/data/files/1234567/event/ev7"});
}

class AnalyzerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    ASSERT_FALSE(db_.name().empty()) << db_.error();
    db_.exportAsDefault();
    setenv("QD_TIME_SCALE", "0.01", 1);
    WriteConf(db_.name(), "qd");
  }

  void WriteConf(const std::string& orasid, const std::string& oraid) {
    std::string text = "[Global]\nSYSTEM_LEVEL = Prod\nWM_CONNINFO = dbname=" + db_.name() +
                       "\n[Prod]\n";
    if (!orasid.empty()) text += "ORASID = " + orasid + "\n";
    if (!oraid.empty()) text += "ORAID = " + oraid + "\n";
    root_.write("/etc/qd/gdda.conf", text);
  }

  void Start(std::vector<std::string> args) {
    const char* build = std::getenv("QD_BUILD_DIR");
    ASSERT_NE(build, nullptr) << "QD_BUILD_DIR is not set";
    args.insert(args.begin(), "-d");
    ASSERT_TRUE(daemon_.Start(std::string(build) + "/bin/qdAnalyze", args, StderrPath()));
  }

  // Starts with `args` and waits until the daemon is connected and
  // registered.
  void StartReady(const std::vector<std::string>& args) {
    Start(args);
    ASSERT_TRUE(LogShows("QDZ0102")) << Log();
  }

  std::string StderrPath() const { return root_.under("/daemon.stderr"); }
  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }
  std::string Stderr() const { return root_.read("/daemon.stderr"); }

  bool LogShows(const std::string& text, double seconds = kPatience) const {
    return PollUntil([&] { return Log().find(text) != std::string::npos; }, seconds);
  }

  int Count(const std::string& text) const {
    std::string log = Log();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  // Sends a record of format `fmt` built from `settings` to QDAN as AIQ,
  // `size` bytes of it (the format's size when negative). Returns the
  // message id as the log shows it.
  std::string Send(const std::vector<std::string>& settings, int fmt = 2, long size = -1) {
    QDTxn txn;
    std::string error;
    EXPECT_EQ(TxnBuild(fmt, settings, txn, error), 0) << error;
    std::vector<char> data(size >= 0 ? size : TxnFormatSize(fmt), '\0');
    std::copy_n(reinterpret_cast<const char*>(&txn), std::min(data.size(), sizeof txn),
                data.begin());
    CWorkMessages wm(true);
    int msgid = 0;
    int rc = wm.SendByName("QDDB", "QDAN", "AIQ", data.data(), data.size(), msgid);
    EXPECT_TRUE(rc == 0 || rc == WM_QUEUED) << rc << " " << wm.szErrorMsg;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%.8X", static_cast<unsigned>(msgid));
    return hex;
  }

  // Waits for the message's end ("Deleted", "Rejected") in the log.
  bool Ended(const std::string& msgid, const std::string& how) const {
    return LogShows(how + " message " + msgid);
  }

  // Adds a catalogue row of file type `type`; returns its object id.
  std::string Catalogue(int type) {
    std::vector<std::string> rows = db_.query(
        "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
        "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
        "values ('Zarvek', 'Velmar', '1234567', '2024-05-01 12:34:56', " +
        std::to_string(type) + ", '9', 'CONFIG', '/sp/prod/data/files/1234567/cfg9', "
        "'0', '0', 'A', 'X') returning objid");
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? "" : rows[0];
  }

  std::vector<std::string> Statuses(const std::string& where) const {
    return db_.query("select status from qd_txn_log where " + where + " order by objid::int");
  }

  // Waits for the daemon's end; its wait status.
  int Exit() {
    int status = -1;
    EXPECT_TRUE(daemon_.Wait(kPatience, status)) << "daemon still running\n" << Log();
    return status;
  }

  static int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

  TempRoot root_;
  TestDatabase db_;
  DaemonRun daemon_;
};

TEST_F(AnalyzerRun, RefusalsAndTheStopTransaction) {
  StartReady({"-t", "60"});

  std::string shorter = Send(Join(kSp, {"FDB_Objid=1"}), 2, 1745);
  ASSERT_TRUE(Ended(shorter, "Rejected")) << Log();
  EXPECT_EQ(Count("QDZ0040 2"), 1);
  EXPECT_EQ(db_.query("select count(*) from qd_txn_log"), std::vector<std::string>{"0"});

  std::string pnr = Send(Join(kSp, {"TxnId=PNR", "FDB_Objid=424242"}), 2, 1746);
  ASSERT_TRUE(Ended(pnr, "Rejected")) << Log();
  EXPECT_TRUE(LogShows("QDZ0042 2 Unexpected transaction 'PNR'"));
  EXPECT_EQ(Statuses("txnid = 'PNR'"), std::vector<std::string>{"Reject"});

  std::string unknown = Send(Join(kSp, {"FDB_Objid=424242"}));
  ASSERT_TRUE(Ended(unknown, "Rejected")) << Log();
  EXPECT_TRUE(LogShows("QDA0021 A Message " + unknown + ": object id '424242'"));
  EXPECT_EQ(Statuses("fdb_objid = '424242' and txnid = 'FAR'"), std::vector<std::string>{"Reject"});

  std::string odd = Send(Join(kSp, {"FDB_Objid=" + Catalogue(102)}));
  ASSERT_TRUE(Ended(odd, "Rejected")) << Log();
  EXPECT_TRUE(LogShows("QDA0022 A Message " + odd + ": file type 102 of Zarvek Velmar file 'CONFIG'"));

  // A stop record is complete at its own size, shorter than a request.
  std::string stop = Send(Join(kSp, {"TxnId=STP"}), 255);
  EXPECT_EQ(ExitCode(Exit()), 100) << Log();
  EXPECT_EQ(Count("Deleted message " + stop), 1);
  EXPECT_EQ(Count("QDZ0005 A"), 1);
  EXPECT_EQ(Statuses("fmt = '255'"), std::vector<std::string>{"Done"});
  EXPECT_NE(Stderr().find("Stopping due to STOP transaction."), std::string::npos);
}

TEST_F(AnalyzerRun, DispatchByIdentificationAndByCatalogue) {
  db_.exec("insert into qd_fdb_attr values ('Zarvek', 'SPx', 'EVENT', 102, '0', '0', 'A', 'X')");
  StartReady({"-t", "60"});

  // prod empty: the SP's identification; "event" looked up as "EVENT".
  std::string ident = Send(ByIdentification("event"));
  ASSERT_TRUE(Ended(ident, "Rejected")) << Log();
  EXPECT_TRUE(LogShows("QDA0030 A Message " + ident +
                       ": analyzing Zarvek SPx SP0042 file 'EVENT' of 2024/05/01 12:34:56 seq 7"))
      << Log();
  EXPECT_TRUE(LogShows("file type 102 of Zarvek SPx file 'EVENT'"));

  // A type of another product of the maker is analyzed by the rest.
  std::string config = Send(Join(kSp, {"FDB_Objid=" + Catalogue(100101)}));
  ASSERT_TRUE(Ended(config, "Rejected")) << Log();
  EXPECT_TRUE(LogShows("QDA9999 2 analysis of type 101 not built yet"));
  EXPECT_EQ(Count("type 100 not built"), 0);
  EXPECT_EQ(Statuses("txnid = 'FAR'"), (std::vector<std::string>{"Reject", "Reject"}));

  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100);
}

TEST_F(AnalyzerRun, FailingRequestRetriedOncePerCycleThenRejected) {
  // The type lookup fails as a database error every time.
  ASSERT_EQ(db_.exec("alter table qd_fdb_attr rename to qd_fdb_attr_away"), "");
  StartReady({"-t", "60", "-r", "1", "-l", "2"});
  std::string id = Send(Join(kProd, ByIdentification("event")));
  ASSERT_TRUE(LogShows("QDA0012 A Message " + id)) << Log();
  ASSERT_TRUE(Ended(id, "Rejected"));
  int retries = Count("Retry queued for message " + id);
  EXPECT_GE(retries, 3) << Log();
  // Every retry after the first ended the retry cycle that took the message.
  EXPECT_GE(Count("QDA0008 A"), retries - 1);
  EXPECT_GE(Count("QDZ0100 2 Database error -400 in file_type select"), retries);
  // The status lands despite the failed statement before it.
  EXPECT_EQ(db_.query("select count(*) from qd_txn_log where status <> 'Retry'"),
            std::vector<std::string>{"0"});

  // Once the lookup works again, requests go through as usual.
  ASSERT_EQ(db_.exec("alter table qd_fdb_attr_away rename to qd_fdb_attr"), "");
  std::string next = Send(Join(kProd, ByIdentification("event")));
  ASSERT_TRUE(Ended(next, "Rejected")) << Log();
  EXPECT_TRUE(LogShows("QDZ0047 2 No entry for vendor/prod/file_name 'Zarvek/Velmar/EVENT'"));
  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100);
}

TEST_F(AnalyzerRun, WithoutRetryCyclesAFailedRequestWaitsAndInactivityStops) {
  ASSERT_EQ(db_.exec("alter table qd_fdb_attr rename to qd_fdb_attr_away"), "");
  StartReady({"-C", "-t", "3", "-r", "1"});
  std::string id = Send(Join(kProd, ByIdentification("event")));
  EXPECT_EQ(ExitCode(Exit()), 3) << Log();
  EXPECT_EQ(Count("Retry queued for message " + id), 1);
  EXPECT_EQ(Count("QDA0001"), 0);
  EXPECT_TRUE(LogShows("QDA0061 A Stopping after 0 minutes without work"));
  EXPECT_EQ(Count("QDZ0003 A"), 1);
}

TEST_F(AnalyzerRun, ZeroInactivityBecomesOneSecond) {
  Start({"-t", "0"});
  EXPECT_EQ(ExitCode(Exit()), 3) << Log();
  EXPECT_EQ(Count("QDZ0002 A Max inactivity=1 (sec)"), 1);
  EXPECT_EQ(Count("QDA0061 A"), 1);
}

TEST_F(AnalyzerRun, ThreePassesWithoutDatabaseRecycle) {
  WriteConf("qd_no_such_database", "qd");
  Start({"-t", "60"});
  EXPECT_EQ(ExitCode(Exit()), 3) << Log();
  EXPECT_EQ(Count("QDZ0100 2 Database error"), 4) << Log();  // start-up and three passes
  EXPECT_GE(Count("in Connect:"), 4);
  EXPECT_EQ(Count("QDA0060 A Stopping after errors in 3 successive cycles"), 1);
  std::string alerts = root_.read("/var/log/qd/alerts.log");
  EXPECT_NE(alerts.find("\"abstract\":\"qdAnalyze recycling due to excessive errors\""),
            std::string::npos) << alerts;
  EXPECT_NE(alerts.find("Errors encountered in 3 successive cycles."), std::string::npos);
}

TEST_F(AnalyzerRun, HangUpReinitialisesAndTerminateStops) {
  StartReady({"-r", "-5", "-l", "0", "-t", "60"});
  EXPECT_EQ(Count("QDZ0002 A Retry interval=1 (sec)"), 1);
  EXPECT_EQ(Count("QDZ0002 A Retry limit=1 (sec)"), 1);
  daemon_.Signal(SIGHUP);
  ASSERT_TRUE(LogShows("QDZ0006 A Re-initialisation succeeded")) << Log();
  EXPECT_EQ(Count("QDZ0006 A Re-initialisation starting"), 1);
  // Still registered and working after it.
  std::string id = Send(Join(kSp, {"FDB_Objid=777"}));
  ASSERT_TRUE(Ended(id, "Rejected")) << Log();
  EXPECT_EQ(Count("QDZ0006"), 2);  // one hang-up, one re-initialisation

  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100);
  EXPECT_EQ(Count("QDZ0004 A"), 1);
  EXPECT_NE(Stderr().find("Stopping due to operator request."), std::string::npos);
}

TEST_F(AnalyzerRun, SegmentationFaultCleansUpAndEndsByTheSignal) {
  StartReady({"-t", "60"});
  daemon_.Signal(SIGSEGV);
  int status = Exit();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  EXPECT_NE(Stderr().find("received signal 11"), std::string::npos) << Stderr();
  CWorkMessages wm(true);
  std::vector<WmProcessInfo> processes;
  std::vector<WmMsgNameInfo> messages;
  ASSERT_EQ(wm.ListRegistry(processes, messages), 0);
  for (const WmProcessInfo& p : processes) {
    if (p.name == "QDAN") {
      EXPECT_EQ(p.receivers, 0);
    }
  }
}

TEST_F(AnalyzerRun, StartUpReportsEveryConfigurationErrorAtOnce) {
  WriteConf("", "");
  Start({"-p", "NOSUCH"});
  EXPECT_EQ(ExitCode(Exit()), 1);
  EXPECT_EQ(Count("QDZ9999 2 DB node (-o) option not specified."), 1) << Log();
  EXPECT_EQ(Count("QDZ9999 2 DB id (-i) option not specified."), 1);
  EXPECT_EQ(Count("QDZ0032 2 Process name 'NOSUCH'"), 1);
  EXPECT_EQ(Count("QDZ0001"), 0);
}

TEST_F(AnalyzerRun, UnknownOptionFailsBeforeAnyServiceObject) {
  Start({"-x", "-C"});
  EXPECT_EQ(ExitCode(Exit()), 1);
  EXPECT_NE(Stderr().find("Unknown/invalid option 'x'"), std::string::npos) << Stderr();
  EXPECT_EQ(Log(), "");
}

}  // namespace
