#include "str_format.h"

#include <gtest/gtest.h>

TEST(QdFormat, FormatsTextsOfAnyLength) {
  EXPECT_EQ(QdFormat("%s/%ld", "a", 42L), "a/42");
  EXPECT_EQ(QdFormat("%s", ""), "");
  std::string big(5000, 'x');
  EXPECT_EQ(QdFormat("<%s>", big.c_str()), "<" + big + ">");
}
