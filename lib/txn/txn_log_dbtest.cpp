// qdLogTxn against a throwaway database: the row of each format column by
// column, and that a record that is invalid or meets a database error
// leaves no row, no object id and no used sequence number behind.
#include "txn_log.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "ecpg_connect.h"
#include "test_db.h"
#include "txn_test_records.h"

using txntest::Put;
using txntest::Record;
using txntest::Stamp;
using Lines = std::vector<std::string>;

namespace {

const char kHeaderCols[] =
    "status, txnattr, fmt, txnid, associd, txntime, encription, compression, char_set, "
    "hw_architecture, vendor, product, prod_id, sp_vendor, sp_product, sp_prod_id";
const char kHeaderRow[] =
    "InProc|800002AB|%d|FAR|Sec5F5E1000uSec0000002A|2014-10-09 23:38:00|0|0|A|X|Zarvek|Velmar|"
    "1234567|Qentra|SP|SP0042";
const char kNotifyCols[] =
    "data_source, counter, urgency, notclass, event, eventtimefirst, eventtime, abstract, text, "
    "model, notifyunique, srnumber, entityid";

class TxnLogDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
    db_->exportAsDefault();
    std::string error;
    ASSERT_EQ(QdEcpgConnect(nullptr, error), 0) << error;
    connected_ = true;
  }
  void TearDown() override {
    if (connected_) QdEcpgDisconnectAll();
  }

  // Logs `t` into objid_, which holds junk before, as a caller's may.
  int Log(const QDTxn& t) {
    std::strcpy(objid_, "junk");
    return qdLogTxn(&t, objid_, &under_.log);
  }
  std::string Value(const std::string& sql) {
    Lines rows = db_->query(sql);
    return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " rows>";
  }
  // Columns `cols` of the row just logged.
  std::string Row(const std::string& cols) {
    return Value("select " + cols + " from qd_txn_log where objid = '" + objid_ + "'");
  }
  std::string HeaderRow(int fmt) {
    char row[256];
    std::snprintf(row, sizeof row, kHeaderRow, fmt);
    return row;
  }
  std::string Sequence() { return Value("select last_value || ' ' || is_called from qd_txn_log_seq"); }

  // Logs `t`, which must fail with `result` and leave no row and no object
  // id; returns the messages the call logged.
  Lines Refused(const QDTxn& t, int result) {
    size_t before = under_.lines().size();
    EXPECT_EQ(Log(t), result);
    EXPECT_STREQ(objid_, "");
    EXPECT_EQ(Value("select count(*) from qd_txn_log"), "0");
    Lines lines = under_.lines();
    return Lines(lines.begin() + static_cast<long>(before), lines.end());
  }

  txntest::LogUnderTest under_;
  std::unique_ptr<TestDatabase> db_;
  bool connected_ = false;
  char objid_[kTxnObjidSize];
};

}  // namespace

TEST_F(TxnLogDbTest, FileAndStopFormatsStoreHeaderAndBodyColumns) {
  ASSERT_EQ(Log(Record(1)), kTxnLogged);
  EXPECT_EQ(objid_, Value("select last_value from qd_txn_log_seq"));
  EXPECT_EQ(Row(kHeaderCols), HeaderRow(1));
  EXPECT_EQ(Row("filetype, filetime, fileseq, filesize_full, filesize_comp, filename, comments, "
                "fdb_objid is null, event is null"),
            "100|2014-10-09 23:30:05|7|2048|512|/sp/prod/data/files/1234567/event/evt.7|  arrived|t|t");

  QDTxn f4 = Record(4);
  std::memset(&f4.hdr.prod, 0, sizeof f4.hdr.prod);  // a product wholly absent is fine
  ASSERT_EQ(Log(f4), kTxnLogged);
  EXPECT_EQ(Row("fmt, vendor, product, prod_id, filetype, filename, filehash, multihash, multiseq, "
                "multitotal, comments"),
            "4||||100|/sp/prod/data/files/1234567/event/evt.7|0123456789abcdef0123456789abcdef|"
            "fedcba9876543210fedcba9876543210|1|2|  part one");

  ASSERT_EQ(Log(Record(255)), kTxnLogged);
  EXPECT_EQ(Row("fmt, status, comments, filetype is null"), "255|InProc|  operator stop|t");
  EXPECT_EQ(Value("select count(*) from qd_txn_log"), "3");
}

TEST_F(TxnLogDbTest, FormatTwoStoresNoFileTimeWithoutAValidStamp) {
  ASSERT_EQ(Log(Record(2)), kTxnLogged);
  EXPECT_EQ(Row("fmt, fdb_objid, filetype, filetime is null, fileseq, filename, comments"),
            "2|42||t|||");

  QDTxn named = Record(2);
  std::memset(named.f2.FDB_Objid, 0, sizeof named.f2.FDB_Objid);
  Put(named.f2.FileType, "100");
  named.f2.FileTime = Stamp("2014/10/09 23:30:05.00");
  Put(named.f2.FileSeq, "7");
  Put(named.f2.FileName, " evt.7 ");
  Put(named.f2.comments, "  again");
  ASSERT_EQ(Log(named), kTxnLogged);
  EXPECT_EQ(Row("fdb_objid, filetype, filetime, fileseq, filename, comments"),
            "|100|2014-10-09 23:30:05|7|evt.7|  again");
}

TEST_F(TxnLogDbTest, NotificationFormatsStoreEveryColumnOfTheirFormat) {
  const std::string base =
      "enclosure 2|3|H|12|disk_fail|2014-10-09 23:00:00|2014-10-09 23:38:00|Disk failed|"
      "   Disk 2.14 failed.|";
  const struct {
    int fmt;
    std::string extra;
  } cases[] = {{3, "|||"},
               {5, "Velmar 8400|||"},
               {6, "Velmar 8400|disk_fail;2.14||"},
               {7, "Velmar 8400|disk_fail;2.14|SR123|E77"}};
  for (const auto& c : cases) {
    ASSERT_EQ(Log(Record(static_cast<uint8_t>(c.fmt))), kTxnLogged) << c.fmt;
    EXPECT_EQ(Row(kHeaderCols), HeaderRow(c.fmt));
    EXPECT_EQ(Row(kNotifyCols), base + c.extra) << c.fmt;
  }

  // Text the database cannot take as UTF-8 is stored readable, not refused.
  QDTxn latin = Record(3);
  Put(latin.f3.source, "cage 2 at 41\xB0" "C");
  ASSERT_EQ(Log(latin), kTxnLogged);
  EXPECT_EQ(Row("data_source"), "cage 2 at 41?C");
}

TEST_F(TxnLogDbTest, InvalidRecordsReportEveryBadFieldAndUseNoObjectId) {
  std::string sequence = Sequence();

  QDTxn unknown = Record(9);
  EXPECT_EQ(Refused(unknown, kTxnInvalid), (Lines{"QDZ0041 A transaction format | 9"}));

  QDTxn header = Record(1);
  std::memset(header.hdr.TxnId, 0, sizeof header.hdr.TxnId);
  header.hdr.TxnTime = Stamp("2014/10/09 23:38:00.00");
  header.hdr.TxnTime.dlm1 = '-';
  EXPECT_EQ(Refused(header, kTxnInvalid), (Lines{"QDZ0044 A TxnId", "QDZ0045 A TxnTime"}));

  QDTxn file = Record(1);
  Put(file.f1.FileType, " \n ");
  file.f1.FileTime = Stamp("2014/13/09 23:38:00.00");
  Put(file.f1.FileName, "");
  EXPECT_EQ(Refused(file, kTxnInvalid),
            (Lines{"QDZ0044 A f1.FileType", "QDZ0045 A FileTime", "QDZ0044 A f1.FileName"}));

  QDTxn unique = Record(6);
  Put(unique.f6.NotifyUnique, "  ");
  EXPECT_EQ(Refused(unique, kTxnInvalid), (Lines{"QDZ0044 A f6.NotifyUnique"}));

  QDTxn nofile = Record(2);
  std::memset(nofile.f2.FDB_Objid, 0, sizeof nofile.f2.FDB_Objid);
  Put(nofile.f2.FileType, "100");
  Put(nofile.f2.FileSeq, "7");
  Put(nofile.f2.FileName, "evt.7");
  EXPECT_EQ(Refused(nofile, kTxnInvalid),
            (Lines{"QDZ0049 A FDB_Objid | FileType,FileTime,FileSeq,FileName"}));

  EXPECT_EQ(Sequence(), sequence) << "an invalid record reached the sequence";
}

TEST_F(TxnLogDbTest, LaterColumnsThatCannotBeStoredTakeTheWholeRowBack) {
  ASSERT_EQ(db_->exec("alter table qd_txn_log add constraint test_model check (model <> 'bad model'), "
                      "add constraint test_unique check (NotifyUnique <> 'bad key')"),
            "");
  QDTxn f5 = Record(5), f6 = Record(6), f7 = Record(7);
  Put(f5.f5.model, "bad model");
  Put(f6.f6.NotifyUnique, "bad key");
  Put(f7.f7.model, "bad model");
  const struct {
    const QDTxn* txn;
    const char* action;
  } cases[] = {{&f5, "update model"}, {&f6, "update NotifyUnique"}, {&f7, "update for do_fmt7"}};
  for (const auto& c : cases) {
    Lines lines = Refused(*c.txn, kTxnDbError);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(std::string("QDZ0100 2 -400 | ") + c.action + " | ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("violates check constraint"), std::string::npos) << lines[0];
  }
  // Each failure ended its transaction: the connection works on.
  EXPECT_EQ(Log(Record(6)), kTxnLogged);
}

TEST_F(TxnLogDbTest, DatabaseErrorsGiveTwoAndLeaveNothing) {
  ASSERT_EQ(db_->exec("alter table qd_txn_log add constraint test_kind check (TxnId <> 'BAD')"), "");
  QDTxn bad = Record(1);
  Put(bad.hdr.TxnId, "BAD");
  Lines lines = Refused(bad, kTxnDbError);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("QDZ0100 2 -400 | insert do_fmt1 | new row for relation", 0), 0u) << lines[0];
  EXPECT_LE(lines[0].size() - lines[0].rfind(" | ") - 3, 149u);
  ASSERT_EQ(Log(Record(1)), kTxnLogged) << "the failed insert was not rolled back";

  ASSERT_EQ(db_->exec("delete from qd_txn_log; drop sequence qd_txn_log_seq"), "");
  lines = Refused(Record(255), kTxnDbError);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("QDZ0100 2 -400 | select qd_txn_log_seq.nextval | ", 0), 0u) << lines[0];

  // No connection at all.
  QdEcpgDisconnectAll();
  connected_ = false;
  std::strcpy(objid_, "junk");
  EXPECT_EQ(qdLogTxn(&bad, objid_, &under_.log), kTxnDbError);
  EXPECT_STREQ(objid_, "");
  EXPECT_EQ(under_.lines().back().rfind("QDZ0100 2 -220 | select qd_txn_log_seq.nextval | ", 0), 0u)
      << under_.lines().back();
}
