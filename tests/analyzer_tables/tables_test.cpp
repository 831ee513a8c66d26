// GetTags, GetPatterns and the qd_edit translation against a throwaway
// database: table layout and order, lookups by name, every refusal with
// its message, and never a half-built table in the slot.
#include <memory>
#include <string>

#include "ecpg_connect.h"
#include "engine_test_fixture.h"
#include "event_parse.h"
#include "pattern_match.h"
#include "tag_translate.h"
#include "test_db.h"

namespace {

class TablesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    QD_REQUIRE_DB();
    db_.reset(new TestDatabase());
    ASSERT_NE("", db_->name()) << db_->error();
    db_->exportAsDefault();
  }
  void TearDown() override {
    QdEcpgDisconnectAll();
    db_.reset();
    EngineTest::TearDown();
  }

  // The embedded-SQL connection, opened once the test's data is in place.
  void Connect() {
    std::string error;
    ASSERT_EQ(0, QdEcpgConnect(nullptr, error)) << error;
  }
  void Sql(const std::string& sql) { ASSERT_EQ("", db_->exec(sql)) << sql; }

  // A tag row: name, separator (null when nullptr), redirect, flags as six
  // Y/N letters (nodata, repdata, catdata, redirect, makehex, droptag).
  void TagRow(long type, const char* name, const char* separator, const char* redirect,
              const char* flags) {
    std::string sep = separator ? "'" + std::string(separator) + "'" : "null";
    std::string red = redirect ? "'" + std::string(redirect) + "'" : "null";
    std::string sql = "insert into qd_tag_data values (" + std::to_string(type) + ", '" + name + "', " +
                      sep + ", " + red;
    for (int i = 0; i < 6; ++i) sql += std::string(", '") + flags[i] + "'";
    Sql(sql + ")");
  }
  void PatternRow(long type, const char* apply, int lineseq, int rule, const char* pattern,
                  const std::string& tags = "null, null, null") {
    Sql("insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0, tag1, tag2) "
        "values (" + std::to_string(type) + ", '" + apply + "', " + std::to_string(lineseq) + ", " +
        std::to_string(rule) + ", '" + pattern + "', " + tags + ")");
  }

  static int Entries(const TAGENTRY* table) {
    int n = 0;
    while (table[n].tagname[0]) ++n;
    return n;
  }

  std::unique_ptr<TestDatabase> db_;
};

// ---------------------------------------------------------------- tags

TEST_F(TablesTest, TagTableHoldsScratchEntriesRowsInByteOrderAndATerminator) {
  TagRow(9100, "alpha", ",", "Alpha", "NNYYNN");
  TagRow(9100, "Zeta", nullptr, "ignored", "YYNNYY");
  TagRow(9100, "Alpha", "", nullptr, "NNNNNN");
  TagRow(9101, "Other", nullptr, nullptr, "NNNNNN");
  Connect();

  TAGENTRY* table = nullptr;
  ASSERT_EQ(0, GetTags(&table, 9100, 0));
  ASSERT_EQ(Engine().tags[0], table);
  ASSERT_EQ(13, Entries(table)) << "RV0..RV9, three rows; the terminator makes 14";
  EXPECT_STREQ("RV0", table[0].tagname);
  EXPECT_STREQ("RV9", table[9].tagname);
  EXPECT_STREQ("Alpha", table[10].tagname);
  EXPECT_STREQ("Zeta", table[11].tagname);
  EXPECT_STREQ("alpha", table[12].tagname);

  EXPECT_EQ(flag_catdata | flag_redirect, table[12].flags);
  EXPECT_EQ(",", table[12].separator);
  EXPECT_EQ(&table[10], table[12].redirect);
  EXPECT_EQ(flag_nodata | flag_repdata | flag_makehex | flag_droptag, table[11].flags);
  EXPECT_EQ("", table[11].separator) << "null separator";
  EXPECT_STREQ("ignored", table[11].redirect_name);
  EXPECT_EQ(nullptr, table[11].redirect) << "no flag_redirect, nothing resolved";
  EXPECT_STREQ("<no redirect>", table[10].redirect_name);
  EXPECT_EQ(nullptr, FindTagEntry(0, "Other"));
  EXPECT_EQ(nullptr, FindTagEntry(0, "ALPHA"));
}

TEST_F(TablesTest, DuplicateNamesFindTheFirstAndSoDoRedirects) {
  TagRow(9100, "Dup", ";", nullptr, "NNNNNN");
  TagRow(9100, "Dup", ";", nullptr, "NNNNNN");
  TagRow(9100, "To", nullptr, "Dup", "NNNYNN");
  Connect();
  TAGENTRY* table = nullptr;
  ASSERT_EQ(0, GetTags(&table, 9100, 2));
  EXPECT_EQ(&table[10], FindTagEntry(2, "Dup"));
  EXPECT_EQ(&table[10], FindTagEntry(table, "Dup"));
  EXPECT_EQ(&table[10], FindTagEntry(2, "To")->redirect);
  EXPECT_EQ(nullptr, Engine().tags[0]);
}

TEST_F(TablesTest, RefusedTagLoadsLeaveTheSlotEmpty) {
  TagRow(9102, "From", nullptr, "Nowhere", "NNNYNN");
  TagRow(9103, "Fine", nullptr, nullptr, "NNNNNN");
  Connect();
  TAGENTRY* table = nullptr;
  ASSERT_EQ(0, GetTags(&table, 9103, 0));

  table = reinterpret_cast<TAGENTRY*>(1);
  EXPECT_EQ(-1, GetTags(&table, 9101, 0));
  EXPECT_EQ(nullptr, table);
  EXPECT_EQ(nullptr, Engine().tags[0]) << "the earlier table is gone, not kept half-valid";
  EXPECT_EQ(1, Count(Log(), "QDA0032 A No tag data for file type 9101"));

  EXPECT_EQ(-1, GetTags(&table, 9102, 0));
  EXPECT_EQ(nullptr, Engine().tags[0]);
  EXPECT_EQ(1, Count(Log(), "QDA0037 A Redirect 'Nowhere' of tag 'From' names no tag of file type 9102"));
  EXPECT_FALSE(st_.reconnect);

  EXPECT_EQ(-1, GetTags(&table, 9103, kSlotCount));
}

TEST_F(TablesTest, DatabaseErrorIsLoggedAndAsksForAReconnect) {
  Sql("alter table qd_tag_data rename to qd_tag_data_gone");
  Sql("alter table qd_anal_pattern rename to qd_anal_pattern_gone");
  Connect();
  TAGENTRY* tags = nullptr;
  EXPECT_EQ(-1, GetTags(&tags, 9100, 0));
  EXPECT_EQ(1, Count(Log(), "QDZ0100 2 Database error"));
  EXPECT_EQ(1, Count(Log(), " in select tag count for file_type 9100: "));
  EXPECT_TRUE(st_.reconnect);
  EXPECT_EQ(nullptr, Engine().tags[0]);

  QdEcpgDisconnectAll();
  Connect();
  PatternEntry* patterns = nullptr;
  EXPECT_EQ(-1, GetPatterns(&patterns, 9100, 0));
  EXPECT_EQ(1, Count(Log(), " in select pattern count for file_type 9100: "));
  EXPECT_EQ(nullptr, Engine().patterns[0]);
}

// ------------------------------------------------------------ patterns

class PatternTablesTest : public TablesTest {
 protected:
  void SetUp() override {
    TablesTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    TagRow(9100, "Sev", nullptr, nullptr, "NNNNNN");
    TagRow(9100, "Type", nullptr, nullptr, "NNNNNN");
  }
  void Load() {
    Connect();
    TAGENTRY* tags = nullptr;
    ASSERT_EQ(0, GetTags(&tags, 9100, 0));
  }
};

TEST_F(PatternTablesTest, EntriesInApplyAndLineseqOrderWithTargetsInTheSlotsTags) {
  PatternRow(9100, "disk_fail", 2, 7, "disk ([0-9]+)", "'Sev', null, null");
  PatternRow(9100, "disk_fail", 1, 4, "disk ([0-9]+)( x)?", "'RV3', null, 'Type'");
  PatternRow(9100, "alpha", 1, 0, "a");
  PatternRow(9100, " generic", 1, 0, "Sev: (.*)", "'Sev', null, null");
  PatternRow(9101, "other", 1, 0, "(");
  Load();

  PatternEntry* table = nullptr;
  ASSERT_EQ(0, GetPatterns(&table, 9100, 0));
  ASSERT_EQ(Engine().patterns[0], table);
  EXPECT_STREQ(" generic", table[0].apply);
  EXPECT_STREQ("alpha", table[1].apply);
  EXPECT_STREQ("disk_fail", table[2].apply);
  EXPECT_EQ(1, table[2].lineseq);
  EXPECT_EQ(4, table[2].rule);
  EXPECT_EQ(2, table[3].lineseq);
  EXPECT_STREQ("", table[4].apply);
  EXPECT_EQ(FindTagEntry(0, "RV3"), table[2].tag[0]);
  EXPECT_EQ(nullptr, table[2].tag[1]);
  EXPECT_EQ(FindTagEntry(0, "Type"), table[2].tag[2]);

  PatternEntry* hit = Parse_entry(0, "disk_fail", "disk 5");
  ASSERT_EQ(&table[2], hit) << "lineseq 1 before 2, both match";
  EXPECT_EQ("5", Tag("RV3").data);
  EXPECT_EQ("<no value>", Tag("Type").data) << "group 3 did not take part";
}

TEST_F(PatternTablesTest, EveryUnknownTagIsNamedAndTheLoadFails) {
  PatternRow(9100, "a", 1, 0, "(x)", "'Nope1', null, null");
  PatternRow(9100, "a", 2, 0, "(x)", "'Sev', null, null");
  PatternRow(9100, "b", 1, 0, "(x)", "null, 'Nope2', null");
  Load();
  PatternEntry* table = reinterpret_cast<PatternEntry*>(1);
  EXPECT_EQ(-1, GetPatterns(&table, 9100, 0));
  EXPECT_EQ(nullptr, table);
  EXPECT_EQ(nullptr, Engine().patterns[0]);
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Nope1' is not in the tag table of file type 9100"));
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Nope2' is not in the tag table of file type 9100"));
  EXPECT_EQ(2, Count(Log(), "QDA0038"));
}

TEST_F(PatternTablesTest, BadExpressionStopsTheLoadWithTheCompilersWords) {
  PatternRow(9100, "a", 1, 0, "fine");
  PatternRow(9100, "a", 2, 0, "(unclosed");
  PatternRow(9100, "b", 1, 0, "(x)", "'Nope', null, null");
  Load();
  PatternEntry* table = nullptr;
  EXPECT_EQ(-1, GetPatterns(&table, 9100, 0));
  EXPECT_EQ(nullptr, Engine().patterns[0]);
  EXPECT_EQ(1, Count(Log(), "QDA0036 A Pattern does not compile: file type 9100, 'a', line 2"));
  EXPECT_EQ(1, Count(Log(), "QDA9999 2 "));
  EXPECT_EQ(0, Count(Log(), "QDA0038")) << "loading stopped at the bad expression";
}

TEST_F(PatternTablesTest, NoRowsOrNoTagTable) {
  Load();
  PatternEntry* table = nullptr;
  EXPECT_EQ(-1, GetPatterns(&table, 9100, 0));
  EXPECT_EQ(1, Count(Log(), "QDA0032 A No search patterns for file type 9100"));

  PatternRow(9105, "a", 1, 0, "(x)", "'Sev', null, null");
  EXPECT_EQ(-1, GetPatterns(&table, 9105, 1)) << "slot 1 has no tag table to resolve in";
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Sev' is not in the tag table of file type 9105"));
}

// --------------------------------------------------------- translation

TEST_F(TablesTest, TranslationMatchesUpperCasedFieldAndValue) {
  Sql("insert into qd_edit values (9100, 'COMPTYPE', 'COMP_HW_DISK', 'Disk', null, null), "
      "(9100, 'COMPTYPE', 'COMP_EMPTY', null, null, null), (9101, 'COMPTYPE', 'COMP_SW_PORT', 'Port', null, null)");
  Connect();
  char data1[kTranslateMax + 1];
  bool is_null = true;
  ASSERT_EQ(0, SelectTagTranslation(9100, "CompType", "comp_hw_disk", data1, sizeof data1, &is_null));
  EXPECT_STREQ("Disk", data1);
  EXPECT_FALSE(is_null);
  ASSERT_EQ(0, SelectTagTranslation(9100, "CompType", "comp_empty", data1, sizeof data1, &is_null));
  EXPECT_TRUE(is_null);
  EXPECT_EQ(100, SelectTagTranslation(9100, "CompType", "comp_sw_port", data1, sizeof data1, &is_null));

  // The event parse's exits use this lookup unless told otherwise.
  an_.file.Cfile_type = 9100;
  TagRow(9100, "CompId", ",", nullptr, "NNYNYN");
  TagRow(9100, "CompType", ",", nullptr, "NNYNNN");
  TagRow(9100, "Event", nullptr, nullptr, "NNNNNN");
  TAGENTRY* table = nullptr;
  ASSERT_EQ(0, GetTags(&table, 9100, 0));
  FindTagEntry(0, "CompType")->end_exit = Exit_captureRawComponent;
  FindTagEntry(0, "CompId")->end_exit = Exit_translateCID;
  std::string xml;
  ASSERT_EQ(0, CutEventXml("t\nXML FORMAT:\n<Event><CompType>comp_hw_disk</CompType>"
                           "<CompId>pd1234</CompId><CompType>comp_sw_port</CompType></Event>", xml));
  EventXmlParser parser;
  ASSERT_EQ(0, PrepareEventXml(xml, parser));
  ResetEventParse(0);
  ASSERT_EQ(0, ParseEventXml(parser));
  EXPECT_EQ("Disk,comp_sw_port", Tag("CompType").data);
  EXPECT_EQ("pd00000000000004D2", Tag("CompId").data);
  EXPECT_EQ(1, Count(Alerts(), "SN1234 'CompType' 'comp_sw_port' not found"));
}

}  // namespace
