#include "template_engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "anal_alert.h"
#include "analysis_engine.h"
#include "template_mods.h"
#include "temp_root.h"

namespace {

struct Alert {
  char urgency;
  std::string abstract;
  std::string text;
};

std::vector<Alert> g_alerts;

void Capture(char urgency, const std::string& abstract, const std::string& text) {
  g_alerts.push_back({urgency, abstract, text});
}

class TemplateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngine();
    g_alerts.clear();
    previous_ = SetAnalAlertHook(Capture);
    analyzer_.file = CurrentFile{};
    std::strcpy(analyzer_.file.Cstore_filename, "/sp/prod/data/files/1234/event/evt.1");
    Engine().analyzer = &analyzer_;

    // A slot-0 table: scratch entry RV3, a few tags, a redirecting entry,
    // then two entries of the same name (the first must win), terminator.
    TAGENTRY* table = new TAGENTRY[8];
    Set(table[0], "RV3", "scratch");
    Set(table[1], "CompName", "node1");
    Set(table[2], "CompId", " 0x1a ");
    Set(table[3], "ShortDesc", "  Disk \t failed \n");
    Set(table[4], "Redirected", "own data");
    table[4].flags = flag_redirect;
    table[4].redirect = &table[1];
    Set(table[5], "Dup", "first");
    Set(table[6], "Dup", "second");
    Engine().tags[0] = table;

    std::strcpy(Engine().capture[0], "95");
    std::strcpy(Engine().capture[9], "last capture");
    std::strcpy(Engine().msgval[0], "<no value>");
    std::strcpy(Engine().msgval[8], "A=1|B=2|C=3");
  }
  void TearDown() override {
    SetAnalAlertHook(previous_);
    ResetEngine();
    Engine().analyzer = nullptr;
  }

  static void Set(TAGENTRY& entry, const char* name, const char* data) {
    std::strcpy(entry.tagname, name);
    entry.data = data;
  }

  AnalyzerState analyzer_;
  AnalAlertFn previous_ = nullptr;
};

// ---- expansion ---------------------------------------------------------

TEST_F(TemplateTest, ExpandsEveryValueSource) {
  EXPECT_EQ(UseTemplate(0, "Load %V0.%% on %TCompName{Upper}."), "Load 95% on NODE1");
  EXPECT_EQ(UseTemplate(0, "%V9.|%M0.|%M8.|%TRV3."), "last capture|<no value>|A=1|B=2|C=3|scratch");
  EXPECT_EQ(UseTemplate(0, "%C0.%C1.%C2.%C9."), "|,??");
  EXPECT_EQ(UseTemplate(0, "%V07."), "");  // leading zeros read as 7; buffer empty
  EXPECT_TRUE(g_alerts.empty());
}

TEST_F(TemplateTest, TagValueIsTheEntryItselfAndTheFirstOfItsName) {
  EXPECT_EQ(UseTemplate(0, "%TRedirected."), "own data");
  EXPECT_EQ(UseTemplate(0, "%TDup."), "first");
}

TEST_F(TemplateTest, PercentSignsAndPlainText) {
  EXPECT_EQ(UseTemplate(0, "100%"), "100%");
  EXPECT_EQ(UseTemplate(0, "%%%%"), "%%");
  EXPECT_EQ(UseTemplate(0, "50%% done."), "50% done.");
  EXPECT_EQ(UseTemplate(0, "no references at all."), "no references at all.");
  EXPECT_EQ(UseTemplate(0, ""), "");
  EXPECT_EQ(UseTemplate(0, nullptr), "");
  EXPECT_TRUE(g_alerts.empty());
}

TEST_F(TemplateTest, ATemplateMayProduceTemplateText) {
  std::strcpy(Engine().capture[1], "%TCompName{Upper}.");
  std::string once = UseTemplate(0, "node %V1.");
  EXPECT_EQ(once, "node %TCompName{Upper}.");
  EXPECT_EQ(UseTemplate(0, once.c_str()), "node NODE1");
}

TEST_F(TemplateTest, CaptureBufferWithoutTerminatorIsReadToItsSize) {
  std::memset(Engine().capture[2], 'x', kCaptureSize);
  EXPECT_EQ(UseTemplate(0, "%V2.").size(), static_cast<size_t>(kCaptureSize));
}

// ---- failures ----------------------------------------------------------

TEST_F(TemplateTest, UnknownTagFailsWithOneVariableNotification) {
  EXPECT_EQ(UseTemplate(0, "before %TNoSuchTag. after"), kTemplateError);
  ASSERT_EQ(g_alerts.size(), 1u);
  EXPECT_EQ(g_alerts[0].urgency, 'H');
  EXPECT_EQ(g_alerts[0].abstract, "Template variable name error");
  EXPECT_EQ(g_alerts[0].text,
            "Type 'T', String 'NoSuchTag', Modifier(s) ''\n"
            "File '/sp/prod/data/files/1234/event/evt.1'\n"
            "Template 'before %TNoSuchTag. after'");
}

TEST_F(TemplateTest, BadBufferNumbersFail) {
  for (const char* bad : {"%V10.", "%Vx.", "%M-1.", "%C99999999999999999999.", "%V{Trim}.",
                          "%V 1."}) {
    g_alerts.clear();
    EXPECT_EQ(UseTemplate(0, bad), kTemplateError) << bad;
    EXPECT_EQ(g_alerts.size(), 1u) << bad;
  }
}

TEST_F(TemplateTest, UnknownTypeLetterAndMissingNameFail) {
  EXPECT_EQ(UseTemplate(0, "%X0."), kTemplateError);
  EXPECT_NE(g_alerts.back().text.find("Type 'X', String '0'"), std::string::npos);
  // No name between the type and the ".": type '?', modifiers "??", the rest.
  EXPECT_EQ(UseTemplate(0, "a %T. b"), kTemplateError);
  EXPECT_EQ(g_alerts.back().text.find("Type '?', String '%T. b', Modifier(s) '?" "?'"), 0u);
  EXPECT_EQ(UseTemplate(0, "%.x"), kTemplateError);
  // An empty name is never a tag, although the terminator's name is empty.
  EXPECT_EQ(UseTemplate(0, "%T{Trim}."), kTemplateError);
}

TEST_F(TemplateTest, ReferenceWithoutTerminatingDotIsAParseError) {
  EXPECT_EQ(UseTemplate(0, "%TShortDesc{Trim"), kTemplateError);
  ASSERT_EQ(g_alerts.size(), 1u);
  EXPECT_EQ(g_alerts[0].abstract, "Template parse error");
  EXPECT_EQ(g_alerts[0].text,
            "File '/sp/prod/data/files/1234/event/evt.1'\nTemplate '%TShortDesc{Trim'");
  // A good reference before the broken one does not save the template.
  g_alerts.clear();
  EXPECT_EQ(UseTemplate(0, "%V0. and %V1"), kTemplateError);
  EXPECT_EQ(g_alerts.size(), 1u);
}

TEST_F(TemplateTest, UnterminatedModifierListFails) {
  // The reference ends at the first "." so the "}" is never reached.
  EXPECT_EQ(UseTemplate(0, "%TCompName{ValueOf:a.b}."), kTemplateError);
  EXPECT_EQ(g_alerts.back().abstract, "Template variable name error");
  EXPECT_NE(g_alerts.back().text.find("String 'CompName{ValueOf:a'"), std::string::npos);
}

TEST_F(TemplateTest, UnknownModifierGivesModThenVariableNotification) {
  EXPECT_EQ(UseTemplate(0, "%TCompId{Bogus}."), kTemplateError);
  ASSERT_EQ(g_alerts.size(), 2u);
  EXPECT_EQ(g_alerts[0].abstract, "Template mod routine error");
  EXPECT_EQ(g_alerts[0].text,
            "Op 'Bogus' not found, Modifier(s) 'Bogus'\nFile '/sp/prod/data/files/1234/event/evt.1'");
  EXPECT_EQ(g_alerts[1].abstract, "Template variable name error");
  EXPECT_NE(g_alerts[1].text.find("Type 'T', String 'CompId', Modifier(s) 'Bogus'"),
            std::string::npos);
}

TEST_F(TemplateTest, ExpansionStopsAtTheFirstFailure) {
  EXPECT_EQ(UseTemplate(0, "%TNoA. %TNoB. %TNoC."), kTemplateError);
  EXPECT_EQ(g_alerts.size(), 1u);
}

TEST_F(TemplateTest, SlotWithoutTableKnowsNoTags) {
  EXPECT_EQ(UseTemplate(1, "%TCompName."), kTemplateError);
  EXPECT_EQ(UseTemplate(kSlotCount, "%TCompName."), kTemplateError);
  EXPECT_EQ(UseTemplate(-1, "%V0."), "95");  // buffers do not depend on the slot
}

TEST_F(TemplateTest, NotificationGoesToTheAlertsFileWithoutAHook) {
  TempRoot root;
  SetAnalAlertHook(nullptr);
  EXPECT_EQ(UseTemplate(0, "%TNoSuchTag."), kTemplateError);
  std::string alerts = root.read("/var/log/qd/alerts.log");
  EXPECT_NE(alerts.find("\"abstract\":\"Template variable name error\""), std::string::npos);
  EXPECT_NE(alerts.find("\"name\":\"qdAnalyze\""), std::string::npos);
}

// ---- modifiers ---------------------------------------------------------

std::string Mod(const char* mods, const std::string& value) {
  std::string out = "<";
  EXPECT_TRUE(DoMod(mods, value, out)) << mods;
  return out.substr(1);
}

TEST_F(TemplateTest, EachModifier) {
  const std::string text = " \tA  b\t\tc \n";
  EXPECT_EQ(Mod("RemoveWhitespaceNL", text), "Abc");
  EXPECT_EQ(Mod("RemoveWhitespace", text), "Abc\n");
  EXPECT_EQ(Mod("SquishBlanks", text), "A b c \n");  // a newline is not a blank
  EXPECT_EQ(Mod("SquishBlanks", " \t "), " ");
  EXPECT_EQ(Mod("SquishBlanks", ""), "");
  EXPECT_EQ(Mod("Upper", "node1-\xc3\xa9"), "NODE1-\xc3\xa9");  // ASCII letters only
  EXPECT_EQ(Mod("Lower", "NoDe1"), "node1");
  EXPECT_EQ(Mod("Trim", text), "A  b\t\tc");
  EXPECT_EQ(Mod("TrimRight", text), " \tA  b\t\tc");
  EXPECT_EQ(Mod("TrimLeft", text), "A  b\t\tc \n");
  EXPECT_EQ(Mod("Trim", "\r x \r"), "\r x \r");  // carriage returns stay
  EXPECT_EQ(Mod("", text), text);
  EXPECT_EQ(Mod(nullptr, text), text);
}

TEST_F(TemplateTest, ValueOfPicksANamedField) {
  EXPECT_EQ(Mod("ValueOf:B", "A=1|B=2|C=3"), "2");
  EXPECT_EQ(Mod("ValueOf:B", "B=7"), "7");
  EXPECT_EQ(Mod("ValueOf:B", "A=1"), "<B=novalue>");
  EXPECT_EQ(Mod("ValueOf:A", "A=1|B=2"), "1");
  EXPECT_EQ(Mod("ValueOf:C", "A=1|B=2|C="), "");
  // Only a whole field name counts: "BB=" is not "B=", at the start or after "|".
  EXPECT_EQ(Mod("ValueOf:B", "BB=5|AB=6"), "<B=novalue>");
  EXPECT_EQ(Mod("ValueOf:B", "BB=5|B=6"), "6");
  EXPECT_EQ(Mod("ValueOf:B", ""), "<B=novalue>");
}

TEST_F(TemplateTest, ModifiersApplyLeftToRight) {
  EXPECT_EQ(Mod("Trim,Upper", "  node1 "), "NODE1");
  EXPECT_EQ(Mod("ValueOf:B,Trim,Lower", "A=1|B= X Y |C"), "x y");
  EXPECT_EQ(Mod("Upper,ValueOf:b", "a=1|b=2"), "<b=novalue>");
  EXPECT_EQ(UseTemplate(0, "[%TShortDesc{SquishBlanks,Trim,Upper}.]"), "[DISK FAILED]");
  EXPECT_EQ(UseTemplate(0, "%M8{ValueOf:C}."), "3");
}

TEST_F(TemplateTest, UnknownModifierAppendsNothingButReportsEachBadItem) {
  std::string out = "keep";
  EXPECT_FALSE(DoMod("Upper,upper,,Trim", std::string("x"), out));
  EXPECT_EQ(out, "keep");
  ASSERT_EQ(g_alerts.size(), 2u);  // "upper" (case matters) and the empty item
  EXPECT_EQ(g_alerts[0].text.find("Op 'upper' not found, Modifier(s) 'Upper,upper,,Trim'"), 0u);
  EXPECT_EQ(g_alerts[1].text.find("Op '' not found"), 0u);
}

}  // namespace
