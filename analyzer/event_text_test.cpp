// The analyzer's small text routines.
#include "event_text.h"

#include <string>

#include "engine_test_fixture.h"

namespace {

std::string StampText(const Time_Stamp& stamp) {
  return std::string(&stamp.fmt, strnlen(&stamp.fmt, sizeof stamp));
}

class ReleaseTest : public EngineTest {
 protected:
  bool AtLeast(const char* level, int major, int minor, int patch) {
    TAGENTRY& entry = Tag("ReleaseLevel");
    entry.data = level ? level : "<no value>";
    entry.flags = level ? TAG_HAS_DATA : 0;
    return ReleaseAtLeast(major, minor, patch);
  }
};

TEST_F(ReleaseTest, OnlyFourPartLevelsCountAndCompareFieldByField) {
  InstallTags({{"ReleaseLevel"}});
  EXPECT_TRUE(AtLeast("2.3.1.45", 2, 3, 1));
  EXPECT_TRUE(AtLeast("2.3.1.0", 2, 3, 1));
  EXPECT_FALSE(AtLeast("2.3.0.99", 2, 3, 1));
  EXPECT_TRUE(AtLeast("2.4.0.0", 2, 3, 1));
  EXPECT_FALSE(AtLeast("2.2.9.9", 2, 3, 1));
  EXPECT_TRUE(AtLeast("3.0.0.1", 2, 3, 1));
  EXPECT_FALSE(AtLeast("1.9.9.9", 2, 3, 1));
  EXPECT_TRUE(AtLeast("2.2.2.1", 2, 2, 2));

  EXPECT_FALSE(AtLeast("2.3.1", 2, 3, 1)) << "three parts satisfy nothing";
  EXPECT_FALSE(AtLeast("9.9.9", 0, 0, 0));
  EXPECT_FALSE(AtLeast("2.3.1.45.6", 2, 3, 1));
  EXPECT_FALSE(AtLeast(nullptr, 0, 0, 0)) << "no value of this event";
}

TEST_F(ReleaseTest, NoTableOrNoTagIsNoRelease) {
  EXPECT_FALSE(ReleaseAtLeast(0, 0, 0));
  InstallTags({{"Sev"}});
  EXPECT_FALSE(ReleaseAtLeast(0, 0, 0));
}

TEST(ConvertTime, BuildsTheStampFromTheDateText) {
  Time_Stamp stamp;
  const struct { const char* in; const char* want; } cases[] = {
      {"Tue Mar 15 10:20:30 2005", "a2005/03/15 10:20:30.00"},
      {"  Sun\tDec  1 00:00:01 1999 ", "a1999/12/01 00:00:01.00"},
      {"Tue mar 15 10:20:30 2005", "a2005/13/15 10:20:30.00"},  // month names are exact
      {"Tue Mar 15", "a/03/15 .00"},
      {"", "a/13/00 .00"},
      // Oversized parts cannot overflow the stamp: cut at 23 characters.
      {"Tue Mar 15 10:20:30:40:50:60 2005", "a2005/03/15 10:20:30:40"},
      {"Tue Mar 99999999999 10:20:30 123456789", "a123456789/03/214748364"},
  };
  for (const auto& c : cases) {
    std::memset(&stamp, 'Z', sizeof stamp);
    ConvertTime(c.in, stamp);
    EXPECT_EQ(c.want, StampText(stamp)) << c.in;
    EXPECT_EQ('\0', stamp.dlm7);
  }
}

TEST_F(EngineTest, ConvertTimeWritesTheEventTime) {
  ConvertTime("Tue Mar 15 10:20:30 2005");
  EXPECT_EQ("a2005/03/15 10:20:30.00", StampText(Engine().result.AEventTimeFirst));
}

TEST(SquishBlanks, JoinsWordsWithSingleBlanks) {
  const char* const cases[][2] = {{"  a \t b  ", "a b"}, {"", ""},   {" \t ", " "},
                                  {"one", "one"},        {"a\tb", "a b"}, {"a\nb  c", "a\nb c"}};
  for (const auto& c : cases) {
    std::string s = c[0];
    squish_blanks(s);
    EXPECT_EQ(c[1], s) << "'" << c[0] << "'";
  }
}

TEST(RemoveChars, DropsEveryCharacterOfTheSet) {
  std::string s = " a\tb\nc d ";
  RemoveChars(s, " \t\n");
  EXPECT_EQ("abcd", s);
  s = "a b";
  RemoveChars(s, "");
  EXPECT_EQ("a b", s);
  RemoveChars(s, nullptr);
  EXPECT_EQ("a b", s);
}

}  // namespace
