// The file-attribute query against a throwaway database, and the reader's
// decision taken from it.

#include "fdb_attr.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ecpg_connect.h"
#include "fdb_read.h"
#include "test_db.h"

namespace {

class FdbAttrDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestDatabase::Available()) return;
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
    ASSERT_EQ(db_->exec("insert into qd_fdb_attr values ('Zarvek', 'Velmar', 'FDBTEST', 100123, '0', '2', '*', 'X')"),
              "");
    // The library works on the process's default connection, as a daemon's.
    std::string error;
    ASSERT_EQ(QdEcpgConnect(db_->name().c_str(), error), 0) << error;
    connected_ = true;
  }
  void TearDown() override {
    if (connected_) QdEcpgDisconnectAll();
  }

  std::unique_ptr<TestDatabase> db_;
  bool connected_ = false;
};

TEST_F(FdbAttrDbTest, ReadsTheRowOfTheTypeOrSaysThereIsNone) {
  QD_REQUIRE_DB();
  FdbAttr attr{};
  char msg[256];
  ASSERT_EQ(FdbQueryAttr(100123, &attr, msg, sizeof msg), kFdbAttrFound) << msg;
  EXPECT_EQ(attr.encription, '0');
  EXPECT_EQ(attr.compression, '2');
  EXPECT_EQ(attr.char_set, '*');
  EXPECT_EQ(attr.hw_architecture, 'X');

  EXPECT_EQ(FdbQueryAttr(999999, &attr, msg, sizeof msg), kFdbAttrNone);
  EXPECT_EQ(attr.char_set, ' ');

  // The reader's decision follows the stored row.
  std::string err;
  FDBFileParm ebcdic{100123, '0', '0', 'E', 'X', '0', '0', 'A', 'X'};
  EXPECT_EQ(NeedConversion(ebcdic, err), FDB_AS_STORED);
  EXPECT_EQ(err, "File attr indicates conversion unnecessary");
  FDBFileParm arch{100123, '0', '0', 'A', 'Q', '0', '0', 'A', 'X'};
  EXPECT_EQ(NeedConversion(arch, err), FDB_CONVERTED);
  EXPECT_EQ(err, "File needs conversion");
}

TEST_F(FdbAttrDbTest, FailedStatementGivesTheDatabaseMessage) {
  QD_REQUIRE_DB();
  ASSERT_EQ(db_->exec("alter table qd_fdb_attr rename to qd_fdb_attr_gone"), "");
  std::string err;
  FDBFileParm arch{100123, '0', '0', 'A', 'Q', '0', '0', 'A', 'X'};
  EXPECT_EQ(NeedConversion(arch, err), FDB_FAILED);
  const std::string head = "DB error reading file attribute DB for file_type 100123. Msg=";
  ASSERT_EQ(err.rfind(head, 0), 0u) << err;
  std::string msg = err.substr(head.size());
  EXPECT_NE(msg.find("qd_fdb_attr"), std::string::npos) << msg;
  EXPECT_LE(msg.size(), 149u);
  EXPECT_NE(msg.back(), '\n');
}

}  // namespace
