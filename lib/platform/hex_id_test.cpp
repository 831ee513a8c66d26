#include "hex_id.h"

#include <gtest/gtest.h>

namespace {

TEST(HexId, EightUpperCaseDigitsWhateverTheSign) {
  EXPECT_EQ(HexId(0), "00000000");
  EXPECT_EQ(HexId(0x2a), "0000002A");
  EXPECT_EQ(HexId(0x7fffffff), "7FFFFFFF");
  EXPECT_EQ(HexId(-1), "FFFFFFFF");
  EXPECT_EQ(HexId(INT32_MIN), "80000000");
}

}  // namespace
