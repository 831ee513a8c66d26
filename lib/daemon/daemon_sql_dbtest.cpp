// The framework's transaction calls on a real connection: with autocommit
// on, a statement outside DaemonSqlBegin is stored at once, statements
// after it wait for the commit, and a commit with nothing open is no
// error.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon_sql.h"
#include "test_db.h"

namespace {

class DaemonSqlRun : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    ASSERT_FALSE(db_.name().empty()) << db_.error();
    db_.exportAsDefault();
    ASSERT_EQ(db_.exec("insert into qd_txn_log (objid, status, txnattr, fmt, TxnId, AssocId, "
                       "TxnTime, encription, compression, char_set, hw_architecture, sp_vendor, "
                       "sp_product, sp_prod_id) values ('1', 'InProc', '00000000', '2', 'FAR', "
                       "'A1', now(), '0', '0', 'A', 'X', 'Zarvek', 'SP', 'SP0042')"),
              "");
    ASSERT_EQ(DaemonSqlConnect(db_.name().c_str(), nullptr), 0);
    connected_ = true;
  }
  void TearDown() override {
    if (connected_) DaemonSqlDisconnectAll();
  }
  // The status as another session sees it.
  std::string Seen() const {
    std::vector<std::string> rows = db_.query("select status from qd_txn_log where objid = '1'");
    return rows.size() == 1 ? rows[0] : "?";
  }

  TestDatabase db_;
  bool connected_ = false;
};

TEST_F(DaemonSqlRun, InAutocommitOnlyWhatBeginOpensWaitsForTheCommit) {
  ASSERT_EQ(DaemonSqlAutocommit(), 0);
  ASSERT_EQ(DaemonSqlUpdateStatus("Retry", "1"), 0);
  EXPECT_EQ(Seen(), "Retry");
  EXPECT_EQ(DaemonSqlCommit(), 0);  // nothing open

  bool began = false;
  ASSERT_EQ(DaemonSqlBegin(&began), 0);
  EXPECT_TRUE(began);
  ASSERT_EQ(DaemonSqlUpdateStatus("Done", "1"), 0);
  bool again = true;
  ASSERT_EQ(DaemonSqlBegin(&again), 0);
  EXPECT_FALSE(again) << "a second begin inside the transaction";
  EXPECT_EQ(Seen(), "Retry");
  ASSERT_EQ(DaemonSqlCommit(), 0);
  EXPECT_EQ(Seen(), "Done");

  // A failed statement inside the transaction: the commit ends it, stores
  // nothing of it, and the connection takes statements again.
  ASSERT_EQ(DaemonSqlBegin(&began), 0);
  ASSERT_EQ(DaemonSqlUpdateStatus("Reject", "1"), 0);
  EXPECT_LT(DaemonSqlUpdateStatus("no such status", "1"), 0);
  (void)DaemonSqlRollback();
  EXPECT_EQ(Seen(), "Done");
  ASSERT_EQ(DaemonSqlUpdateStatus("Reject", "1"), 0);
  EXPECT_EQ(Seen(), "Reject");
}

TEST_F(DaemonSqlRun, WithoutAutocommitStatementsWaitForTheCommitAsEver) {
  ASSERT_EQ(DaemonSqlUpdateStatus("Retry", "1"), 0);
  bool began = true;
  ASSERT_EQ(DaemonSqlBegin(&began), 0);
  EXPECT_FALSE(began) << "the statement opened the transaction already";
  EXPECT_EQ(Seen(), "InProc");
  ASSERT_EQ(DaemonSqlCommit(), 0);
  EXPECT_EQ(Seen(), "Retry");
  EXPECT_EQ(DaemonSqlCommit(), 0);
}

}  // namespace
