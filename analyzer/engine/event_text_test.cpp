// The analyzer's small text routines.
#include "event_text.h"

#include <cstring>
#include <string>

#include "engine_test_fixture.h"

namespace {

class EventTextTest : public EngineTest {};

TEST_F(EventTextTest, ReleaseAtLeastTakesOnlyFourPartLevels) {
  EXPECT_FALSE(ReleaseAtLeast(0, 0, 0)) << "no table";
  InstallTags({{"ReleaseLevel"}});
  EXPECT_FALSE(ReleaseAtLeast(0, 0, 0)) << "no value of this event";
  const struct { const char* level; bool want; } cases[] = {
      {"2.3.1.45", true}, {"2.3.0.99", false}, {"2.4.0.0", true}, {"2.2.9.9", false},
      {"3.0.0.0", true}, {"2.3.1", false}, {"2.3.1.45.6", false}};
  for (const auto& c : cases) {
    Tag("ReleaseLevel").data = c.level;
    Tag("ReleaseLevel").flags = TAG_HAS_DATA;
    EXPECT_EQ(c.want, ReleaseAtLeast(2, 3, 1)) << c.level;
  }
}

TEST_F(EventTextTest, ConvertTimeBuildsTheStampAndNeverOverflowsIt) {
  const struct { const char* in; const char* want; } cases[] = {
      {"Tue Mar 15 10:20:30 2005", "a2005/03/15 10:20:30.00"},
      {"Tue mar 15 10:20:30 2005", "a2005/13/15 10:20:30.00"},
      {"", "a/13/00 .00"},
      {"Tue Mar 15 10:20:30:40:50:60 2005", "a2005/03/15 10:20:30:40"},
      {"Tue Mar 99999999999 10:20:30 123456789", "a123456789/03/214748364"}};
  for (const auto& c : cases) {
    Time_Stamp& stamp = Engine().result.AEventTimeFirst;
    std::memset(&stamp, 'Z', sizeof stamp);
    ConvertTime(c.in);
    EXPECT_EQ(c.want, std::string(&stamp.fmt, strnlen(&stamp.fmt, sizeof stamp))) << c.in;
  }
}

TEST(EventText, SquishBlanksAndRemoveChars) {
  const char* const cases[][2] = {{"  a \t b  ", "a b"}, {"", ""}, {" \t ", " "}, {"a\nb  c", "a\nb c"}};
  for (const auto& c : cases) {
    std::string s = c[0];
    squish_blanks(s);
    EXPECT_EQ(c[1], s) << "'" << c[0] << "'";
  }
  std::string s = " a\tb\nc d ";
  RemoveChars(s, " \t\n");
  EXPECT_EQ("abcd", s);
}

}  // namespace
