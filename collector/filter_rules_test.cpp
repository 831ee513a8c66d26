// The rule file and the suppression table: parsing, the fallback to the
// common file, rule choice by type, code, level and text, and the window.
#include "filter_rules.h"

#include <cstring>

#include <gtest/gtest.h>

#include "dumps.h"
#include "spfilter.h"
#include "temp_root.h"

namespace {

TEST(FilterRules, LinesKeepBlankFieldsAndRefuseBrokenOnes) {
  FilterEntry r;
  ASSERT_TRUE(ParseFilterLine("c0003,2,5,90,0,comp_hw_cage,comp_sw_ld, , , ,2.3.1.0,fan,cli_get_cage;", r));
  EXPECT_STREQ("c0003", r.type);
  EXPECT_EQ(2, r.sev);
  EXPECT_EQ(90, r.action);
  EXPECT_STREQ("comp_sw_ld", r.comp[1]);
  EXPECT_STREQ(" ", r.comp[2]);
  EXPECT_STREQ("2.3.1.0", r.level);
  EXPECT_STREQ("cli_get_cage", r.command);
  EXPECT_FALSE(ParseFilterLine("evt_x,2,0,1,0, , , , , , , ;", r));            // 12 fields
  EXPECT_FALSE(ParseFilterLine("evt_x,two,0,1,0, , , , , , , , ;", r));        // not a number
  EXPECT_FALSE(ParseFilterLine("evt_x,2,0,1,0, , , , , ,,  , ;", r));          // empty level
  EXPECT_FALSE(ParseFilterLine(std::string(40, 't') + ",2,0,1,0, , , , , , , , ;", r));  // type too long
}

TEST(FilterRules, ArrayFileBeforeCommonAndNoneAtAll) {
  TempRoot root;
  FilterTable t;
  std::vector<std::string> notes;
  EXPECT_EQ(1, ReadFilterRules("1400123", t, notes));
  EXPECT_TRUE(t.rules.empty());
  ASSERT_EQ(2u, notes.size());
  root.write("/sp/prod/control/appconf/common.filt", "a\nb\nc\nevt_common,6,0,0,0, , , , , , , , ;\n");
  EXPECT_EQ(0, ReadFilterRules("1400123", t, notes));
  ASSERT_EQ(1u, t.rules.size());
  EXPECT_STREQ("evt_common", t.rules[0].type);
  std::string own = "a\nb\nc\n";
  for (int i = 0; i < 200; ++i) own += "evt_" + std::to_string(i) + ",6,0,0,0, , , , , , , , ;\n";
  root.write("/sp/prod/control/appconf/1400123.filt", own + "\nnot a rule\n");
  notes.clear();
  EXPECT_EQ(-1, ReadFilterRules("1400123", t, notes));
  EXPECT_EQ(199u, t.rules.size());
  EXPECT_EQ("spfilter pFE reached max entries", notes.back());
  EXPECT_EQ("/sp/prod/control/appconf/1400123.filt", t.path);
}

TEST(FilterRules, FirstRuleOfTypeOrCodeAtTheLevelWithItsTextWins) {
  FilterTable t;
  for (const char* line : {"evt_a,6,0,14,0, , , , , ,2.3.1.0, , ;", "evt_a,6,0,15,0, , , , , , ,fan, ;",
                           "evt_a,6,0,16,0, , , , , , , , ;", "50003,6,0,17,0, , , , , , , , ;"}) {
    FilterEntry r;
    ASSERT_TRUE(ParseFilterLine(line, r)) << line;
    t.rules.push_back(r);
  }
  auto action = [&](const char* type, const char* code, const char* text, const char* level) {
    const FilterEntry* r = ChooseRule(t, type, code, text, level);
    return r ? r->action : -1;
  };
  EXPECT_EQ(14, action("evt_a", "0", "x", "2.3.1.0"));
  EXPECT_EQ(14, action("evt_a", "0", "x", "2.2.9.9"));
  EXPECT_EQ(15, action("evt_a", "0", "a fan", "2.3.1.1"));  // past the level: next rule
  EXPECT_EQ(16, action("evt_a", "0", "x", "2.3.1.1"));
  EXPECT_EQ(17, action("evt_b", "50003", "x", "2.3.1.1"));
  EXPECT_EQ(-1, action("evt_b", "50004", "x", "2.3.1.1"));
}

TEST(FilterRules, SuppressionWindowAndTableLimit) {
  ProcTable t;
  bool full = false;
  EXPECT_EQ(1, check_proc(t, "cagecage2", 1000, 300, &full));
  EXPECT_EQ(0, update_proc_time(t, "cagecage2", 1000));
  EXPECT_EQ(0, check_proc(t, "cagecage2", 1300, 300, &full));
  EXPECT_EQ(1, check_proc(t, "cagecage2", 1301, 300, &full));
  EXPECT_EQ(1, update_proc_time(t, "unknown", 1000));
  // Keys longer than the table keeps are known by their start.
  const std::string longkey = "lddata" + std::string(50, 'x');
  EXPECT_EQ(1, check_proc(t, longkey, 1000, 300, &full));
  EXPECT_EQ(0, update_proc_time(t, longkey, 1000));
  EXPECT_EQ(0, check_proc(t, longkey, 1100, 300, &full));
  for (size_t i = t.entries.size(); i < kProcMaxKeys; ++i) {
    EXPECT_EQ(1, check_proc(t, "k" + std::to_string(i), 1000, 300, &full));
  }
  EXPECT_FALSE(full);
  EXPECT_EQ(0, check_proc(t, "cagecage2", 1200, 300, &full));  // known key: no restart
  EXPECT_EQ(1, check_proc(t, "one-more", 1400, 300, &full));
  EXPECT_TRUE(full);
  ASSERT_EQ(1u, t.entries.size());
  EXPECT_STREQ("one-more", t.entries[0].proc);
}

TEST(FilterRules, CommandLineValuesAndDumpExitCodes) {
  for (const char* ok : {"cage2", "0:1:2", "ld_vv1.0", "/var/log/x", "a@b"}) EXPECT_TRUE(CommandWord(ok)) << ok;
  for (const char* bad : {"", "two words", "x'y", "x\"y", "a;b", "$(id)", "a`b", "../x", "a\nb"}) {
    EXPECT_FALSE(CommandWord(bad)) << bad;
  }
  EXPECT_TRUE(QuotableText("a \"b\" $(c); `d` | e && f *"));
  EXPECT_FALSE(QuotableText("it's"));
  EXPECT_FALSE(QuotableText("line\nbreak"));
  EXPECT_TRUE(DumpExitText(0, "core").second);
  EXPECT_TRUE(DumpExitText(3, "core").second);
  EXPECT_TRUE(DumpExitText(244, "core").second);
  for (int code : {9, 100, 119, 120, 125, 127, 150, 245, 246, 254, 255}) EXPECT_FALSE(DumpExitText(code, "core").second);
  EXPECT_EQ("getcore, bad rc from spSendFTPreq", DumpExitText(150, "core").first);
  EXPECT_EQ("panicdump, error creating dump directory", DumpExitText(150, "panic").first);
}

}  // namespace
