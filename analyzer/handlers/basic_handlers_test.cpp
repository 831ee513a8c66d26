// EH_pattern and EH_generic: the template the matching rule names,
// template 0, and the reports when a template is missing.
#include "basic_handlers.h"

#include <string>

#include "engine_test_fixture.h"

namespace {

class BasicHandlerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    InstallTags({{"Type"}});
    Tag("Type").data = "disk_fail";
    InstallPatterns({{"disk_fail", 1, 2, "disk ([0-9]+)", {}},
                     {"disk_fail", 2, 3, "cage ([0-9]+)", {}},
                     {"disk_fail", 3, 12, "node ([0-9]+)", {}}});
    EventData& row = Engine().evtdata;
    row.templ_present[0] = row.templ_present[2] = true;
    row.templ[0] = "Generic %TType.";
    row.templ[2] = "Disk %V0. failed";
    Engine().result.ASymptom = "before";
  }
};

TEST_F(BasicHandlerTest, TheRuleOrTemplateZeroChoosesTheSymptomOrAbsenceIsReported) {
  ASSERT_NE(nullptr, EH_pattern(0, "disk_fail", "disk 17 gone"));
  EXPECT_EQ("Disk 17 failed", Engine().result.ASymptom);
  PatternEntry* entry = EH_generic(0, "some_event", "ignored");
  ASSERT_EQ(&Engine().dummy, entry);
  EXPECT_STREQ("some_event", entry->apply);
  EXPECT_EQ("Generic disk_fail", Engine().result.ASymptom);

  Engine().result.ASymptom = "before";
  Engine().evtdata.templ_present[0] = false;
  for (const char* text : {"cage 4", "node 1"}) EXPECT_NE(nullptr, EH_pattern(0, "disk_fail", text)) << text;
  EXPECT_EQ(nullptr, EH_pattern(0, "disk_fail", "nothing here"));
  EXPECT_EQ(nullptr, EH_generic(0, "some_event", "ignored"));
  EXPECT_EQ("before", Engine().result.ASymptom);
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"Template 3 not found for event 'disk_fail'\",\"text\":\"Source file: /sp/store/e1\""));
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"Template 12 not found for event 'disk_fail'\""));
  EXPECT_EQ(1, Count(Log(), "QDA0039 A Template 0 not found for event 'disk_fail'")) << "named by Type";
  EXPECT_EQ(3, Count(Log(), "QDA0039"));
}

}  // namespace
