#include "handler_patterns.h"

#include <gtest/gtest.h>
#include <regex.h>

// Every extended-analysis pattern compiles, so no handler meets the
// "Patterns failed to compile at initialization" path on a sound build;
// and a few spot checks that the texts kept their escapes.
TEST(HandlerPatterns, AllFortyFourCompileAndKeepTheirEscapes) {
  const auto& texts = EventHandlerPatternTexts();
  ASSERT_EQ(texts.size(), 44u);
  for (size_t i = 0; i < texts.size(); ++i) {
    regex_t re;
    ASSERT_EQ(regcomp(&re, texts[i], REG_EXTENDED), 0) << "pattern " << i;
    regfree(&re);
  }
  regex_t re;
  regmatch_t m[11];
  ASSERT_EQ(regcomp(&re, texts[14], REG_EXTENDED), 0);
  EXPECT_EQ(regexec(&re, "Failure: media error on disk wwn 5000C500ABCD.", 11, m, 0), 0);
  EXPECT_NE(regexec(&re, "Failure: media error on disk wwn 5000C500ABCDx", 11, m, 0), 0);
  regfree(&re);
  ASSERT_EQ(regcomp(&re, texts[0], REG_EXTENDED), 0);
  EXPECT_EQ(regexec(&re, "x\n  Zarvekdata LESB counts\n", 11, m, 0), 0);
  regfree(&re);
}
