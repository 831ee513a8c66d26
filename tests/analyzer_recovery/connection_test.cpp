// The analyzer and its database connection: a request whose own values the
// database refuses is rejected at once (the connection is fine), and a
// database that goes away for a moment is waited for, not given up on.
#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <signal.h>

#include "analyzer_run.h"

namespace {

class ConnectionRun : public AnalyzerRun {
 protected:
  // Runs `sql` on the server's "postgres" database (this test's own one may
  // refuse connections meanwhile).
  void Admin(const std::string& sql) {
    PGconn* conn = PQconnectdb("dbname=postgres");
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    PGresult* r = PQexec(conn, sql.c_str());
    EXPECT_TRUE(PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK)
        << sql << ": " << PQerrorMessage(conn);
    PQclear(r);
    PQfinish(conn);
  }
};

TEST_F(ConnectionRun, BytesThatAreNotUtf8InARequestRejectItWithoutAReconnection) {
  StartReady({"-t", "60"});
  // By object id: the catalogue has no such row.
  std::string by_id = Send(JoinSettings(JoinSettings(kRequestSp, kRequestProd),
                                        {"FDB_Objid=12\xff\xfe"}));
  ASSERT_TRUE(Ended(by_id, "Rejected")) << Log();
  EXPECT_EQ(Count("QDA0021"), 1) << Log();
  // By identification: no file type for a machine of that name.
  std::string by_name = Send(JoinSettings(
      kRequestSp, {"prod.vendor=Zar\xc3vek", "prod.prod=Velmar", "prod.id=1234567",
                   "FileType=event", "FileTime=2024/05/01 12:34:56.00", "FileSeq=7",
                   "FileName=/sp/prod/data/files/1234567/event/e7"}));
  ASSERT_TRUE(Ended(by_name, "Rejected")) << Log();
  EXPECT_EQ(Count("QDZ0047"), 1) << Log();
  EXPECT_EQ(Count("QDZ0100"), 0) << Log();
  EXPECT_EQ(Count("QDZ0102"), 1) << "connected once, never again\n" << Log();
  EXPECT_EQ(Statuses("TxnId = 'FAR'"), (std::vector<std::string>{"Reject", "Reject"}));
}

TEST_F(ConnectionRun, ADatabaseAwayForAMomentIsWaitedFor) {
  // The reconnect pause becomes 2 s, longer than the database stays away.
  setenv("QD_TIME_SCALE", "0.1", 1);
  StartReady({"-t", "60"});
  const std::string db = db_.name();
  Admin("alter database \"" + db + "\" allow_connections false");
  Admin("select pg_terminate_backend(pid) from pg_stat_activity where datname = '" + db + "'");
  // Receiving fails, and goes on failing while the database is away.
  EXPECT_TRUE(LogShows("QDA0007"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Admin("alter database \"" + db + "\" allow_connections true");
  ASSERT_TRUE(PollUntil([&] { return Count("QDZ0102") >= 2; }, kAnalyzerPatience)) << Log();
  // Still there, and at work.
  std::string id = Send(JoinSettings(JoinSettings(kRequestSp, kRequestProd),
                                     {"FDB_Objid=" + Catalogue(102)}));
  ASSERT_TRUE(Ended(id, "Rejected")) << Log();  // type 102 has no analysis
  EXPECT_EQ(Count("QDA0060"), 0) << Log();
  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100) << Log();
}

}  // namespace
