// The database message as the error convention logs it.
#include "sql_error.h"

#include <gtest/gtest.h>

TEST(SqlError, MessageIsCutTo149ThenStrippedAtTheEnd) {
  std::string blanks_at_cut = std::string(147, 'm') + "  \n" + "tail";
  EXPECT_EQ(QdCutSqlMessage(blanks_at_cut.c_str(), blanks_at_cut.size()), std::string(147, 'm'));
  std::string longer = std::string(149, 'x') + "y";
  EXPECT_EQ(QdCutSqlMessage(longer.c_str(), longer.size()), std::string(149, 'x'));
  EXPECT_EQ(QdCutSqlMessage("relation missing on line 12 \n\n", 100), "relation missing on line 12");
  // Never past the length given, nor past a NUL.
  EXPECT_EQ(QdCutSqlMessage("abcdef", 3), "abc");
  EXPECT_EQ(QdCutSqlMessage("ab\0cd", 5), "ab");
  EXPECT_EQ(QdCutSqlMessage(nullptr, 5), "");
}
