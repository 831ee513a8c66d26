#include "txn_layout.h"

#include <gtest/gtest.h>

#include <cstring>

#include "qd_txn.h"

namespace {

const int kFormats[] = {1, 2, 3, 4, 5, 6, 7, 255};

// Records have no gaps: behind the format byte the fields of a format,
// in order, cover every byte up to its size, so a field left out of the
// tables or given a wrong width shows as a hole or an overlap.
TEST(TxnLayout, FieldsOfEachFormatCoverItsRecordWithoutGaps) {
  for (int fmt : kFormats) {
    SCOPED_TRACE(fmt);
    std::vector<TxnField> fields = TxnFields(fmt);
    ASSERT_FALSE(fields.empty());
    size_t next = 1;
    for (const TxnField& f : fields) {
      EXPECT_EQ(next, f.offset) << f.name;
      next = f.offset + f.width;
    }
    EXPECT_EQ(TxnFormatSize(fmt), next);
  }
}

TEST(TxnLayout, SizesAreThoseOfTheRecords) {
  EXPECT_EQ(sizeof(qd_Transaction_Format_2), TxnFormatSize(2));
  EXPECT_EQ(sizeof(qd_Transaction_Format_255), TxnFormatSize(255));
  EXPECT_EQ(0u, TxnFormatSize(0));
  EXPECT_EQ(0u, TxnFormatSize(8));
  EXPECT_TRUE(TxnFields(8).empty());
}

// The notification formats share their leading fields; each holds only
// those that end inside it.
TEST(TxnLayout, FieldsAreFoundOnlyInTheFormatsThatHoldThem) {
  EXPECT_EQ(nullptr, FindTxnField(3, "model"));
  ASSERT_NE(nullptr, FindTxnField(5, "model"));
  EXPECT_EQ(offsetof(qd_Transaction_Format_5, model), FindTxnField(5, "model")->offset);
  EXPECT_EQ(nullptr, FindTxnField(5, "NotifyUnique"));
  EXPECT_NE(nullptr, FindTxnField(6, "NotifyUnique"));
  EXPECT_EQ(nullptr, FindTxnField(6, "SRnumber"));
  EXPECT_NE(nullptr, FindTxnField(7, "EntityId"));
  EXPECT_EQ(nullptr, FindTxnField(2, "urgency"));

  const TxnField* sp = FindTxnField(2, "sp.id");
  ASSERT_NE(nullptr, sp);
  EXPECT_EQ(offsetof(qd_Transaction_Header, sp) + offsetof(MachineIdentifier, id), sp->offset);
  EXPECT_EQ(TxnFieldKind::kFlags, FindTxnField(1, "TxnAttr3")->kind);
  EXPECT_EQ(TxnFieldKind::kNumber, FindTxnField(7, "notclass")->kind);
  EXPECT_EQ(nullptr, FindTxnField(2, "fmt"));
  EXPECT_EQ(nullptr, FindTxnField(9, "TxnId"));
}

}  // namespace
