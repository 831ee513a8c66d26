#include "assoc_id.h"

#include <cstring>
#include <gtest/gtest.h>

#include "qd_txn.h"

TEST(AssocId, FixedWidthHexOfSecondsAndMicroseconds) {
  char id[sizeof(QDTxn{}.hdr.AssocId)];
  struct timeval tv = {0x5F5E100, 42};
  ASSERT_EQ(qdMakeAssocId(tv, id, sizeof id), 0);
  EXPECT_STREQ(id, "Sec05F5E100uSec0000002A");
  EXPECT_EQ(strlen(id), 23u);

  char small[23];
  EXPECT_EQ(qdMakeAssocId(tv, small, sizeof small), -1);
  EXPECT_STREQ(small, "");

  ASSERT_EQ(qdNewAssocId(id, sizeof id), 0);
  EXPECT_EQ(strncmp(id, "Sec", 3), 0);
  EXPECT_EQ(strlen(id), 23u);
}
