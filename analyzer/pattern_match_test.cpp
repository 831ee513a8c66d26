// Pattern groups against a text: the first matching entry of a group, the
// generic run under the collection rules, and the entries' own building.
#include "pattern_match.h"

#include <string>

#include "engine_test_fixture.h"

namespace {

class PatternTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    InstallTags({
        {"Alias", flag_redirect | flag_catdata, ";", "Target"},
        {"Cat", flag_catdata, "+"},
        {"Keep"},
        {"Rep", flag_repdata},
        {"Target"},
        {"Type"},
    });
    for (TAGENTRY* e = Engine().tags[0]; e->tagname[0]; ++e) e->data = "<no value>";
  }
};

TEST_F(PatternTest, FirstMatchingLineOfTheGroupIsAppliedToTheEntriesThemselves) {
  ASSERT_EQ(0, AddPattern(" generic", 1, 0, "never"));
  ASSERT_EQ(0, AddPattern("disk_fail", 1, 4, "disk ([0-9]+)( on cage ([0-9]+))?", {"Keep", "RV3", "Alias"}));
  ASSERT_EQ(0, AddPattern("disk_fail", 2, 5, "disk ([0-9]+)", {"Rep"}));
  ASSERT_EQ(0, AddPattern("other", 1, 6, "disk"));
  FinishPatterns();
  Tag("Alias").flags |= TAG_HAS_DATA;  // flags play no part here

  PatternEntry* hit = Parse_entry(0, "disk_fail", "the disk 17 on cage 3 failed");
  ASSERT_NE(nullptr, hit);
  EXPECT_EQ(1, hit->lineseq);
  EXPECT_EQ(4, hit->rule);
  EXPECT_EQ("17", Tag("Keep").data);
  EXPECT_EQ(" on cage 3", Tag("RV3").data) << "group 2 into the scratch entry, which templates read";
  EXPECT_EQ("3", Tag("Alias").data) << "the entry itself, not its redirect target";
  EXPECT_EQ("<no value>", Tag("Target").data);
  EXPECT_EQ("<no value>", Tag("Rep").data) << "lineseq 2 also matched but was not applied";
  EXPECT_STREQ("17", Engine().capture[0]);
  EXPECT_STREQ("<no value>", Engine().capture[3]);

  hit = Parse_entry(0, "disk_fail", "disk 9");
  ASSERT_NE(nullptr, hit);
  EXPECT_EQ("<no value>", Tag("RV3").data) << "a group that took no part";
  EXPECT_EQ("<no value>", Tag("Alias").data);
  EXPECT_EQ("", Log());
}

TEST_F(PatternTest, NoMatchOrNoGroupIsReportedAndLeavesTheBuffersAlone) {
  ASSERT_EQ(0, AddPattern("disk_fail", 1, 4, "disk ([0-9]+)", {"Keep"}));
  FinishPatterns();
  std::snprintf(Engine().capture[0], kCaptureSize, "before");
  EXPECT_EQ(nullptr, Parse_entry(0, "disk_fail", "cage 3"));
  EXPECT_EQ(nullptr, Parse_entry(0, "no_such", "disk 1"));
  EXPECT_EQ(nullptr, Parse_entry(1, "disk_fail", "disk 1")) << "slot without a table";
  EXPECT_STREQ("before", Engine().capture[0]);
  EXPECT_EQ(1, Count(Log(), "QDA9999 0 Pattern search failed for filetype=100, apply='disk_fail'\\n"
                            "File='/sp/store/e1'\\nData='cage 3'\\n"));
  EXPECT_EQ(3, Count(Alerts(), "\"abstract\":\"Pattern search failed\""));
}

TEST_F(PatternTest, LongCapturesAreCutToTheBuffer) {
  ASSERT_EQ(0, AddPattern("big", 1, 0, "<(.*)>", {"Keep"}));
  FinishPatterns();
  ASSERT_NE(nullptr, Parse_entry(0, "big", "<" + std::string(5000, 'x') + ">"));
  EXPECT_EQ(std::string(kCaptureSize - 1, 'x'), Tag("Keep").data);
}

TEST_F(PatternTest, GenericRunAppliesEveryMatchUnderTheCollectionRules) {
  ASSERT_EQ(0, AddPattern(" generic", 1, 0, "A=([a-z]+)( B=([a-z]+))?", {"Keep", "Cat"}));
  ASSERT_EQ(0, AddPattern(" generic", 2, 0, "C=([a-z]+)", {"Keep"}));
  ASSERT_EQ(0, AddPattern(" generic", 3, 0, "C=([a-z]+)", {"Rep"}));
  ASSERT_EQ(0, AddPattern(" generic", 4, 0, "A=([a-z]+)", {"Rep"}));
  ASSERT_EQ(0, AddPattern(" generic", 5, 0, "C=([a-z]+)", {"Cat"}));
  ASSERT_EQ(0, AddPattern(" generic", 6, 0, "C=([a-z]+)", {"Alias"}));
  ASSERT_EQ(0, AddPattern(" generic", 7, 0, "A=([a-z]+)", {"Alias"}));
  ASSERT_EQ(0, AddPattern(" generic", 8, 0, "nomatch ()", {"Type"}));
  ASSERT_EQ(0, AddPattern("zzz", 1, 0, "A=([a-z]+)", {"Type"}));
  FinishPatterns();

  RunGenericPatterns(0, "A=one C=two");
  EXPECT_EQ("one", Tag("Keep").data) << "the first value stays";
  EXPECT_EQ("one", Tag("Rep").data) << "replaced by the later match";
  EXPECT_EQ("+two", Tag("Cat").data) << "a group that took no part is empty here, then + and the text";
  EXPECT_EQ("two;one", Tag("Target").data) << "redirected, under Alias's catdata and separator";
  EXPECT_EQ("<no value>", Tag("Alias").data);
  EXPECT_EQ("<no value>", Tag("Type").data) << "only the leading generic run is taken";
  EXPECT_TRUE(HasData("Keep") && HasData("Cat") && HasData("Target"));
  EXPECT_EQ("", Log());
}

TEST_F(PatternTest, BuildingAnEntryReportsBadExpressionsAndEveryUnknownTag) {
  EXPECT_EQ(kPatternTagMissing, AddPattern("disk_fail", 1, 0, "(a)(b)(c)", {"Nope", nullptr, "Gone"}));
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Nope' is not in the tag table of file type 100"));
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Gone' is not in the tag table of file type 100"));
  EXPECT_EQ(kPatternBadRegex, AddPattern("disk_fail", 7, 0, "disk ([0-9]+", {"Keep"}));
  EXPECT_EQ(1, Count(Log(), "QDA0036 A Pattern does not compile: file type 100, 'disk_fail', line 7"));
  EXPECT_EQ(1, Count(Log(), "QDA9999 2 "));
  FinishPatterns();
}

}  // namespace
