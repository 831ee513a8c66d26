// Pattern groups against a text: the first matching line of a group, the
// generic run under the collection rules.
#include "pattern_match.h"

#include <string>

#include "engine_test_fixture.h"

namespace {

class PatternMatchTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    InstallTags({{"Alias", flag_redirect | flag_catdata, ";", "Target"}, {"Cat", flag_catdata, "+"},
                 {"Keep"}, {"Rep", flag_repdata}, {"Target"}, {"Type"}});
  }
};

TEST_F(PatternMatchTest, FirstMatchingLineOfTheGroupFillsTheEntriesThemselves) {
  InstallPatterns({{" generic", 1, 0, "disk", {"Type"}},
                   {"disk_fail", 1, 4, "disk ([0-9]+)( on cage ([0-9]+))?", {"Keep", "RV3", "Alias"}},
                   {"disk_fail", 2, 5, "disk ([0-9]+)", {"Rep"}},
                   {"other", 1, 6, "disk", {"Type"}}});
  PatternEntry* hit = Parse_entry(0, "disk_fail", "the disk 17 on cage 3 failed");
  ASSERT_NE(nullptr, hit);
  EXPECT_EQ(4, hit->rule);
  EXPECT_EQ("17", Tag("Keep").data);
  EXPECT_EQ(" on cage 3", Tag("RV3").data) << "a scratch entry as target";
  EXPECT_EQ("3", Tag("Alias").data) << "the entry itself, not its redirect target";
  EXPECT_EQ("<no value>", Tag("Target").data);
  EXPECT_EQ("<no value>", Tag("Rep").data) << "lineseq 2 also matches but is not applied";
  EXPECT_EQ("<no value>", Tag("Type").data);

  ASSERT_EQ(hit, Parse_entry(0, "disk_fail", "disk 9"));
  EXPECT_EQ("<no value>", Tag("RV3").data) << "a group that took no part";
  EXPECT_STREQ("<no value>", Engine().capture[3]);
  EXPECT_EQ("", Log() + Alerts());
}

TEST_F(PatternMatchTest, NoMatchingLineIsReportedAndLeavesTheBuffersAlone) {
  InstallPatterns({{"disk_fail", 1, 4, "disk ([0-9]+)", {"Keep"}}});
  std::snprintf(Engine().capture[0], kCaptureSize, "before");
  EXPECT_EQ(nullptr, Parse_entry(0, "disk_fail", "cage 3"));
  EXPECT_EQ(nullptr, Parse_entry(1, "disk_fail", "disk 1")) << "slot without a table";
  EXPECT_STREQ("before", Engine().capture[0]);
  EXPECT_EQ(1, Count(Log(), "QDA9999 0 Pattern search failed for filetype=100, apply='disk_fail'\\n"
                            "File='/sp/store/e1'\\nData='cage 3'\\n"));
  EXPECT_EQ(2, Count(Alerts(), "\"abstract\":\"Pattern search failed\""));
}

TEST_F(PatternMatchTest, CapturesLongerThanTheBufferAreCut) {
  InstallPatterns({{"big", 1, 0, "<(.*)>", {"Keep"}}});
  ASSERT_NE(nullptr, Parse_entry(0, "big", "<" + std::string(5000, 'x') + ">"));
  EXPECT_EQ(std::string(kCaptureSize - 1, 'x'), Tag("Keep").data);
}

TEST_F(PatternMatchTest, GenericRunAppliesEveryMatchUnderTheCollectionRules) {
  InstallPatterns({{" generic", 1, 0, "A=([a-z]+)( B=([a-z]+))?", {"Keep", "Cat"}},
                   {" generic", 2, 0, "C=([a-z]+)", {"Keep", "Rep", "Alias"}},
                   {" generic", 3, 0, "A=([a-z]+)", {"Rep", "Cat", "Alias"}},
                   {" generic", 4, 0, "C=([a-z]+)", {"Cat"}},
                   {" generic", 5, 0, "A=([a-z]+)", {"Alias"}},
                   {" generic", 6, 0, "nomatch ()", {"Type"}},
                   {"zzz", 1, 0, "A=([a-z]+)", {"Type"}}});
  RunGenericPatterns(0, "A=one C=two");
  EXPECT_EQ("one", Tag("Keep").data) << "the first value stays";
  EXPECT_EQ("one", Tag("Rep").data) << "replaced; its first value was line 2's empty group 2";
  EXPECT_EQ("++two", Tag("Cat").data) << "groups that took no part give empty texts, not <no value>";
  EXPECT_EQ(";;one", Tag("Target").data) << "redirected under Alias's catdata";
  EXPECT_EQ("<no value>", Tag("Alias").data);
  EXPECT_EQ("<no value>", Tag("Type").data) << "only the leading generic run";
  EXPECT_TRUE(HasData("Keep") && HasData("Rep") && HasData("Target"));
}

}  // namespace
