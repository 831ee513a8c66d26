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

#include "analyzer_run.h"
#include "work_messages.h"

namespace {

const std::vector<std::string>& kSp = kRequestSp;
const std::vector<std::string>& kProd = kRequestProd;

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  return JoinSettings(std::move(a), b);
}

// A request naming a file by identification.
std::vector<std::string> ByIdentification(const std::string& filetype) {
  return Join(kSp, {"FileType=" + filetype, "FileTime=2024/05/01 12:34:56", "FileSeq=7",
                    "FileName=/sp/prod/data/files/1234567/event/ev7"});
}

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

  // A type of another product of the maker is analyzed by the rest: the
  // configuration analysis, whose checker finds no file there.
  std::string config = Send(Join(kSp, {"FDB_Objid=" + Catalogue(100101)}));
  ASSERT_TRUE(Ended(config, "Deleted")) << Log();
  EXPECT_TRUE(LogShows("ended with rc=2, log follows."));
  EXPECT_EQ(Count("type 100 not built"), 0);
  EXPECT_EQ(Statuses("txnid = 'FAR'"), (std::vector<std::string>{"Reject", "Done"}));

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
