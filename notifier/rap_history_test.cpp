// The alert history's text rules: the catalogue reference of a source
// text, the message id of a full text, and which case flags ask for the
// "Suppressed (...)" status rows.
#include "rap_history.h"

#include <gtest/gtest.h>

#include "process_message.h"

namespace {

NotifyData Machine() {
  NotifyData nd{};
  NotifySet(nd.VENDOR, "Zarvek");
  NotifySet(nd.PRODUCT, "Velmar");
  NotifySet(nd.SERIAL, "1234567");
  return nd;
}

TEST(RapSourceRef, TenTokensOfThisMachineNameTheFile) {
  NotifyData nd = Machine();
  RapFileRef ref;
  ASSERT_EQ(RapSourceRef("Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 12:34:56",
                         nd, ref),
            kRapSourceRef);
  EXPECT_EQ(ref.file_name, "EVENT");
  EXPECT_EQ(ref.seq, "17");
  EXPECT_EQ(ref.date_time, "2024/05/01 12:34:56");
  // Runs of blanks and commas are one separator.
  EXPECT_EQ(RapSourceRef("Zarvek  Velmar,1234567 EVENT file,, seq 17, dated 2024/05/01 1:2:3",
                         nd, ref),
            kRapSourceRef);
  EXPECT_EQ(RapSourceRef("Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01", nd, ref),
            kRapSourceOther);
  EXPECT_EQ(RapSourceRef("Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 1:2:3 x",
                         nd, ref),
            kRapSourceOther);
  EXPECT_EQ(RapSourceRef("", nd, ref), kRapSourceOther);
  EXPECT_EQ(RapSourceRef("Zarvek Velmar 7654321 EVENT file, seq 17, dated 2024/05/01 1:2:3",
                         nd, ref),
            kRapSourceMismatch);
  EXPECT_EQ(RapSourceRef("Varn Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 1:2:3", nd,
                         ref),
            kRapSourceMismatch);
}

TEST(RapMessageId, TheTextAfterTheMarkUpToTheLineEnd) {
  std::string id;
  EXPECT_TRUE(RapMessageId("head\n Msg ID:  0x1a-2 \r\nnext Msg ID: other", id));
  EXPECT_EQ(id, "0x1a-2");
  EXPECT_TRUE(RapMessageId("x Msg ID: last", id));
  EXPECT_EQ(id, "last");
  EXPECT_FALSE(RapMessageId("Msg ID: no blank before the mark", id));
  EXPECT_FALSE(RapMessageId("x Msg ID:   \nrest", id));
  EXPECT_TRUE(RapMessageId("x Msg ID: " + std::string(100, 'a'), id));
  EXPECT_EQ(id, std::string(80, 'a'));
}

TEST(RapCaseFlags, StatusRowsWithoutTheSuppressingBits) {
  EXPECT_FALSE(RapCaseWantsSuppressedRows(0));
  EXPECT_FALSE(RapCaseWantsSuppressedRows(kCaseTellUsers));
  EXPECT_TRUE(RapCaseWantsSuppressedRows(kCaseStatusRows));
  EXPECT_TRUE(RapCaseWantsSuppressedRows(kCaseHandOver | kCaseTellUsers));
  EXPECT_FALSE(RapCaseWantsSuppressedRows(kCaseStatusRows | kCaseNoSuppressRows));
  EXPECT_FALSE(RapCaseWantsSuppressedRows(kCaseHandOver | kCaseNoRepeatCheck));
}

}  // namespace
