#include "str_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(QdFormat, FormatsTextsOfAnyLength) {
  EXPECT_EQ(QdFormat("%s/%ld", "a", 42L), "a/42");
  EXPECT_EQ(QdFormat("%s=%d (0x%.8X)", "code", 42, 42u), "code=42 (0x0000002A)");
  EXPECT_EQ(QdFormat("%s", ""), "");
  std::string big(5000, 'x');
  EXPECT_EQ(QdFormat("<%s>", big.c_str()), "<" + big + ">");
}

std::string Twice(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Twice(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string first = QdFormatV(format, args);
  std::string second = QdFormatV(format, args);
  va_end(args);
  return first + "|" + second;
}

// A caller may format the same arguments more than once.
TEST(QdFormat, TheArgumentListCanBeUsedAgain) { EXPECT_EQ(Twice("%d-%s", 7, "x"), "7-x|7-x"); }

}  // namespace
