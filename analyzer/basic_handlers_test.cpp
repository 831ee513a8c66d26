// EH_pattern and EH_generic: the template chosen by the matching pattern's
// rule, template 0 for the generic handler, and the reports when a
// template is missing.
#include "basic_handlers.h"

#include <string>

#include "engine_test_fixture.h"

namespace {

class HandlerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    InstallTags({{"Type"}});
    Tag("Type").data = "disk_fail";
    ASSERT_EQ(0, AddPattern("disk_fail", 1, 2, "disk ([0-9]+)"));
    ASSERT_EQ(0, AddPattern("disk_fail", 2, 3, "cage ([0-9]+)"));
    ASSERT_EQ(0, AddPattern("disk_fail", 3, 12, "node ([0-9]+)"));
    FinishPatterns();
    EventData& row = Engine().evtdata;
    row.templ_present[0] = true;
    row.templ[0] = "Generic %TType.";
    row.templ_present[2] = true;
    row.templ[2] = "Disk %V0. failed";
    Engine().result.ASymptom = "before";
  }
};

TEST_F(HandlerTest, PatternRuleChoosesTheTemplate) {
  PatternEntry* entry = EH_pattern(0, "disk_fail", "disk 17 gone");
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(1, entry->lineseq);
  EXPECT_EQ("Disk 17 failed", Engine().result.ASymptom);
  EXPECT_EQ("", Alerts());
}

TEST_F(HandlerTest, MissingOrImpossibleTemplateIsReportedAndTheEntryStillReturned) {
  for (const char* text : {"cage 4", "node 1"}) {
    PatternEntry* entry = EH_pattern(0, "disk_fail", text);
    ASSERT_NE(nullptr, entry) << text;
    EXPECT_EQ("before", Engine().result.ASymptom);
  }
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"Template 3 not found for event 'disk_fail'\""));
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"Template 12 not found for event 'disk_fail'\""));
  EXPECT_EQ(2, Count(Alerts(), "Source file: /sp/store/e1"));
  EXPECT_EQ(1, Count(Log(), "QDA0039 A Template 3 not found for event 'disk_fail'"));
  EXPECT_EQ(1, Count(Log(), "QDA0039 A Template 12 not found for event 'disk_fail'"));
}

TEST_F(HandlerTest, NoMatchLeavesTheSymptom) {
  EXPECT_EQ(nullptr, EH_pattern(0, "disk_fail", "nothing here"));
  EXPECT_EQ("before", Engine().result.ASymptom);
  EXPECT_EQ(0, Count(Log(), "QDA0039"));
}

TEST_F(HandlerTest, GenericUsesTemplateZeroOrReportsItsAbsenceByType) {
  PatternEntry* entry = EH_generic(0, "some_event", "ignored");
  ASSERT_EQ(&Engine().dummy, entry);
  EXPECT_STREQ("some_event", entry->apply);
  EXPECT_EQ(0, entry->rule);
  EXPECT_EQ("Generic disk_fail", Engine().result.ASymptom);

  Engine().evtdata.templ_present[0] = false;
  Engine().result.ASymptom = "before";
  EXPECT_EQ(nullptr, EH_generic(0, "some_event", "ignored"));
  EXPECT_EQ("before", Engine().result.ASymptom);
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"Template 0 not found for event 'disk_fail'\""));
  EXPECT_EQ(1, Count(Log(), "QDA0039 A Template 0 not found for event 'disk_fail'"));
}

}  // namespace
