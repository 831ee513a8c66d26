#include "notify_fill.h"

#include <gtest/gtest.h>

// Mail subjects carry a model suffix only for the maker's arrays.
TEST(ModelSuffix, OnlyForTheMakersArrays) {
  EXPECT_EQ(ModelSuffix("Zarvek", "Velmar", "V400"), "-V");
  EXPECT_EQ(ModelSuffix("Varn", "Velmar", "8200"), "-8");
  EXPECT_EQ(ModelSuffix("Zarvek", "Velmar", "Unknown"), "-?");
  EXPECT_EQ(ModelSuffix("Zarvek", "SP", "V400"), "");
  EXPECT_EQ(ModelSuffix("Zarvek", "QD", "V400"), "");
  EXPECT_EQ(ModelSuffix("Zarvek", "VMC", "V400"), "");
  EXPECT_EQ(ModelSuffix("Other", "Velmar", "V400"), "");
}
