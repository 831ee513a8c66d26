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

std::vector<std::string> g_alerts;  // "U abstract / text"

void Capture(char urgency, const std::string& abstract, const std::string& text) {
  g_alerts.push_back(std::string(1, urgency) + " " + abstract + " / " + text);
}

class TemplateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngine();
    g_alerts.clear();
    Engine().seams.alert = Capture;
    std::strcpy(analyzer_.file.Cstore_filename, "/sp/f/evt.1");
    Engine().analyzer = &analyzer_;
    // Slot 0: a scratch entry, tags, a redirecting entry (its own data
    // counts), two entries of one name (the first counts), terminator.
    TAGENTRY* t = Engine().tags[0] = new TAGENTRY[8];
    const char* rows[][2] = {{"RV3", "scratch"}, {"CompName", "node1"}, {"CompId", " 0x1a "},
                             {"ShortDesc", "  Disk \t failed \n"}, {"Redirected", "own data"},
                             {"Dup", "first"}, {"Dup", "second"}};
    for (int i = 0; i < 7; ++i) {
      std::strcpy(t[i].tagname, rows[i][0]);
      t[i].data = rows[i][1];
    }
    t[4].flags = flag_redirect;
    t[4].redirect = &t[1];
    std::strcpy(Engine().capture[0], "95");
    std::strcpy(Engine().msgval[8], "A=1|B=2|C=3");
  }
  void TearDown() override {
    ResetEngine();
    Engine().analyzer = nullptr;
  }
  AnalyzerState analyzer_;
};

TEST_F(TemplateTest, Expansions) {
  struct {
    const char* templ;
    const char* result;
  } cases[] = {
      {"Load %V0.%% on %TCompName{Upper}.", "Load 95% on NODE1"},
      {"%V0.|%V1.|%M8{ValueOf:C}.|%TRV3.", "95||3|scratch"},
      {"%C0.%C1.%C2.%C9.", "|,??"},
      {"%V00.", "95"},                   // leading zeros
      {"%TRedirected.", "own data"},     // the entry, not its target
      {"%TDup.", "first"},
      {"100%", "100%"},
      {"%%%%", "%%"},
      {"50%% done.", "50% done."},
      {"", ""},
      {"[%TShortDesc{SquishBlanks,Trim,Upper}.]", "[DISK FAILED]"},
  };
  for (const auto& c : cases) EXPECT_EQ(UseTemplate(0, c.templ), c.result) << c.templ;
  EXPECT_EQ(UseTemplate(0, nullptr), "");
  EXPECT_EQ(UseTemplate(-1, "%V0."), "95");  // buffers do not depend on the slot
  EXPECT_TRUE(g_alerts.empty());
  // A value that is template text expands on a second pass only.
  std::strcpy(Engine().capture[1], "%TCompName{Upper}.");
  EXPECT_EQ(UseTemplate(0, UseTemplate(0, "node %V1.").c_str()), "node NODE1");
  // A buffer without terminator is read to its size, not beyond.
  std::memset(Engine().capture[2], 'x', kCaptureSize);
  EXPECT_EQ(UseTemplate(0, "%V2.").size(), static_cast<size_t>(kCaptureSize));
}

TEST_F(TemplateTest, FailuresAndTheirNotifications) {
  const std::string file = "File '/sp/f/evt.1'\nTemplate '";
  struct {
    const char* templ;
    std::vector<std::string> alerts;
  } cases[] = {
      {"a %TNoSuchTag. %TNoB.",
       {"H Template variable name error / Type 'T', String 'NoSuchTag', Modifier(s) ''\n" + file +
        "a %TNoSuchTag. %TNoB.'"}},
      {"%TShortDesc{Trim", {"H Template parse error / " + file + "%TShortDesc{Trim'"}},
      {"%V0. and %V1", {"H Template parse error / " + file + "%V0. and %V1'"}},
      {"%TCompId{Bogus}.",
       {"H Template mod routine error / Op 'Bogus' not found, Modifier(s) 'Bogus'\nFile '/sp/f/evt.1'",
        "H Template variable name error / Type 'T', String 'CompId', Modifier(s) 'Bogus'\n" + file +
            "%TCompId{Bogus}.'"}},
      // No name before the ".": type '?', modifiers "??", the rest as string.
      {"a %T. b", {"H Template variable name error / Type '?', String '%T. b', Modifier(s) '?" "?'\n" +
                   file + "a %T. b'"}},
      // The reference ends at the first ".", cutting the modifier list.
      {"%TCompName{ValueOf:a.b}.",
       {"H Template variable name error / Type 'T', String 'CompName{ValueOf:a', Modifier(s) ''\n" +
        file + "%TCompName{ValueOf:a.b}.'"}},
  };
  for (const auto& c : cases) {
    g_alerts.clear();
    EXPECT_EQ(UseTemplate(0, c.templ), kTemplateError) << c.templ;
    EXPECT_EQ(g_alerts, c.alerts) << c.templ;
  }
  for (const char* bad : {"%V10.", "%Vx.", "%M-1.", "%C99999999999999999999.", "%V{Trim}.", "%V 1.",
                          "%X0.", "%.x", "%T{Trim}.", "%Tcompname."}) {
    g_alerts.clear();
    EXPECT_EQ(UseTemplate(0, bad), kTemplateError) << bad;
    EXPECT_EQ(g_alerts.size(), 1u) << bad;
  }
  EXPECT_EQ(UseTemplate(1, "%TCompName."), kTemplateError);  // slot without a table
}

TEST_F(TemplateTest, NotificationGoesToTheAlertsFileWithoutAHook) {
  TempRoot root;
  Engine().seams.alert = nullptr;
  EXPECT_EQ(UseTemplate(0, "%TNoSuchTag."), kTemplateError);
  std::string alerts = root.read("/var/log/qd/alerts.log");
  EXPECT_NE(alerts.find("\"name\":\"qdAnalyze\",\"urgency\":\"H\",\"abstract\":\"Template variable name error\""),
            std::string::npos);
}

TEST_F(TemplateTest, Modifiers) {
  const std::string text = " \tA  b\t\tc \n";
  struct {
    const char* mods;
    std::string value;
    std::string result;
  } cases[] = {
      {"RemoveWhitespaceNL", text, "Abc"},
      {"RemoveWhitespace", text, "Abc\n"},
      {"SquishBlanks", text, "A b c \n"},  // a newline is no blank
      {"SquishBlanks", " \t ", " "},
      {"Upper", "node1-\xc3\xa9", "NODE1-\xc3\xa9"},  // ASCII letters only
      {"Lower", "NoDe1", "node1"},
      {"Trim", text, "A  b\t\tc"},
      {"Trim", "\r x \r", "\r x \r"},  // carriage returns stay
      {"TrimRight", text, " \tA  b\t\tc"},
      {"TrimLeft", text, "A  b\t\tc \n"},
      {"", text, text},
      {"ValueOf:B", "A=1|B=2|C=3", "2"},
      {"ValueOf:B", "B=7", "7"},
      {"ValueOf:B", "A=1", "<B=novalue>"},
      {"ValueOf:C", "A=1|C=", ""},
      {"ValueOf:B", "BB=5|AB=6", "<B=novalue>"},  // whole names only
      {"ValueOf:B", "BB=5|B=6", "6"},
      {"ValueOf:B,Trim,Lower", "A=1|B= X Y |C", "x y"},  // left to right
      {"Upper,ValueOf:b", "a=1|b=2", "<b=novalue>"},
  };
  for (const auto& c : cases) {
    std::string out = "<";
    EXPECT_TRUE(DoMod(c.mods, c.value, out)) << c.mods;
    EXPECT_EQ(out, "<" + c.result) << c.mods << " on '" << c.value << "'";
  }
  std::string out = "keep";
  EXPECT_TRUE(DoMod(nullptr, "v", out));
  EXPECT_EQ(out, "keepv");
  // Unknown items: each reported, the rest applied, nothing appended.
  EXPECT_FALSE(DoMod("Upper,upper,,Trim", "x", out));
  EXPECT_EQ(out, "keepv");
  ASSERT_EQ(g_alerts.size(), 2u);
  EXPECT_EQ(g_alerts[0].find("H Template mod routine error / Op 'upper' not found, Modifier(s) "
                             "'Upper,upper,,Trim'"), 0u);
  EXPECT_EQ(g_alerts[1].find("H Template mod routine error / Op '' not found"), 0u);
}

}  // namespace
