// GetTags, GetPatterns and the qd_edit translation against a throwaway
// database: layout and order, lookups by name, every refusal with its
// message, and never a half-built table in the slot. File types 91xx keep
// clear of the installation data.
#include <memory>
#include <string>

#include "ecpg_connect.h"
#include "engine_test_fixture.h"
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
  // Opened once the test's rows are in, so no statement of ours holds locks.
  void Connect() {
    std::string error;
    ASSERT_EQ(0, QdEcpgConnect(nullptr, error)) << error;
  }
  void Sql(const std::string& sql) { ASSERT_EQ("", db_->exec(sql)) << sql; }
  // Values: "type, 'name', separator, redirect" and six Y/N letters.
  void TagRow(const std::string& values, const char* f) {
    Sql("insert into qd_tag_data values (" + values + ", '" + f[0] + "', '" + f[1] + "', '" + f[2] +
        "', '" + f[3] + "', '" + f[4] + "', '" + f[5] + "')");
  }
  // Values: "type, 'apply', lineseq, rule, 'pattern', tag0, tag1, tag2".
  void PatternRow(const std::string& values) {
    Sql("insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0, tag1, tag2) "
        "values (" + values + ")");
  }

  std::unique_ptr<TestDatabase> db_;
};

TEST_F(TablesTest, TagTableHoldsScratchEntriesRowsInByteOrderAndATerminator) {
  TagRow("9100, 'alpha', ',', 'Alpha'", "NNYYNN");
  TagRow("9100, 'Zeta', null, 'ignored'", "YYNNYY");
  TagRow("9100, 'Alpha', '', null", "NNNNNN");
  TagRow("9101, 'Other', null, null", "NNNNNN");
  TagRow("9104, 'Dup', ';', null", "NNNNNN");
  TagRow("9104, 'Dup', ';', null", "NNNNNN");
  TagRow("9104, 'To', null, 'Dup'", "NNNYNN");
  Connect();
  TAGENTRY* table = nullptr;
  ASSERT_EQ(0, GetTags(&table, 9100, 0));
  ASSERT_EQ(Engine().tags[0], table);
  const char* const names[] = {"RV0", "RV1", "RV2", "RV3", "RV4", "RV5", "RV6",
                               "RV7", "RV8", "RV9", "Alpha", "Zeta", "alpha", ""};
  for (int i = 0; i < 14; ++i) EXPECT_STREQ(names[i], table[i].tagname) << i;

  EXPECT_EQ(flag_catdata | flag_redirect, table[12].flags);
  EXPECT_EQ(",", table[12].separator);
  EXPECT_EQ(&table[10], table[12].redirect);
  EXPECT_EQ(flag_nodata | flag_repdata | flag_makehex | flag_droptag, table[11].flags);
  EXPECT_EQ(nullptr, table[11].redirect) << "no flag_redirect, nothing resolved";
  EXPECT_EQ(nullptr, FindTagEntry(0, "Other"));

  TAGENTRY* dups = nullptr;
  ASSERT_EQ(0, GetTags(&dups, 9104, 2));
  EXPECT_EQ(&dups[10], FindTagEntry(2, "Dup")) << "the first of duplicate names";
  EXPECT_EQ(&dups[10], FindTagEntry(2, "To")->redirect);
  EXPECT_EQ(table, Engine().tags[0]);
}

TEST_F(TablesTest, RefusedTagLoadsLeaveTheSlotEmptyAndALostConnectionAsksForAReconnect) {
  TagRow("9102, 'From', null, 'Nowhere'", "NNNYNN");
  TagRow("9103, 'Fine', null, null", "NNNNNN");
  Connect();
  TAGENTRY* table = nullptr;
  ASSERT_EQ(0, GetTags(&table, 9103, 0));
  EXPECT_EQ(-1, GetTags(&table, 9101, 0));
  EXPECT_EQ(nullptr, table);
  EXPECT_EQ(nullptr, Engine().tags[0]) << "the earlier table is gone too";
  EXPECT_EQ(1, Count(Log(), "QDA0032 A No tag data for file type 9101"));
  EXPECT_EQ(-1, GetTags(&table, 9102, 0));
  EXPECT_EQ(nullptr, Engine().tags[0]);
  EXPECT_EQ(1, Count(Log(), "QDA0037 A Redirect 'Nowhere' of tag 'From' names no tag of file type 9102"));
  EXPECT_FALSE(st_.reconnect);

  QdEcpgDisconnectAll();  // its read locks would hold up the rename
  Sql("alter table qd_tag_data rename to qd_tag_data_gone");
  Connect();
  EXPECT_EQ(-1, GetTags(&table, 9103, 0));
  EXPECT_EQ(1, Count(Log(), "QDZ0100 2 Database error"));
  EXPECT_EQ(1, Count(Log(), " in select tag count for file_type 9103: "));
  EXPECT_FALSE(st_.reconnect) << "a missing table is no lost connection";
  // A lost one is.
  Sql("select pg_terminate_backend(pid) from pg_stat_activity where datname = current_database() "
      "and pid <> pg_backend_pid()");
  EXPECT_EQ(-1, GetTags(&table, 9103, 0));
  EXPECT_TRUE(st_.reconnect);
}

TEST_F(TablesTest, TranslationMatchesUpperCasedFieldAndValue) {
  Sql("insert into qd_edit values (9100, 'COMPTYPE', 'COMP_HW_DISK', 'Disk', null, null), "
      "(9100, 'COMPTYPE', 'COMP_EMPTY', null, null, null)");
  Connect();
  char data1[kTranslateMax + 1];
  bool is_null = true;
  ASSERT_EQ(0, SelectTagTranslation(9100, "CompType", "comp_hw_disk", data1, sizeof data1, &is_null));
  EXPECT_STREQ("Disk", data1);
  EXPECT_FALSE(is_null);
  ASSERT_EQ(0, SelectTagTranslation(9100, "CompType", "comp_empty", data1, sizeof data1, &is_null));
  EXPECT_TRUE(is_null);
}

// ------------------------------------------------------------ patterns

class PatternTablesTest : public TablesTest {
 protected:
  void Load(const std::vector<std::string>& rows) {
    TagRow("9100, 'Sev', null, null", "NNNNNN");
    TagRow("9100, 'Type', null, null", "NNNNNN");
    for (const std::string& row : rows) PatternRow(row);
    Connect();
    TAGENTRY* tags = nullptr;
    ASSERT_EQ(0, GetTags(&tags, 9100, 0));
  }
};

TEST_F(PatternTablesTest, EntriesInApplyAndLineseqOrderWithTargetsInTheSlotsTags) {
  Load({"9100, 'disk_fail', 2, 7, 'disk ([0-9]+)', 'Sev', null, null",
        "9100, 'disk_fail', 1, 4, 'disk ([0-9]+)( x)?', 'RV3', null, 'Type'",
        "9100, 'alpha', 1, 0, 'a', null, null, null",
        "9100, ' generic', 1, 0, 'Sev: (.*)', 'Sev', null, null",
        "9101, 'other', 1, 0, '(', null, null, null"});
  PatternEntry* table = nullptr;
  ASSERT_EQ(0, GetPatterns(&table, 9100, 0));
  ASSERT_EQ(Engine().patterns[0], table);
  const char* const applies[] = {" generic", "alpha", "disk_fail", "disk_fail", ""};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(applies[i], table[i].apply) << i;
  EXPECT_EQ(1, table[2].lineseq);
  EXPECT_EQ(4, table[2].rule);
  EXPECT_EQ(FindTagEntry(0, "RV3"), table[2].tag[0]);
  EXPECT_EQ(nullptr, table[2].tag[1]);
  EXPECT_EQ(FindTagEntry(0, "Type"), table[2].tag[2]);
}

TEST_F(PatternTablesTest, UnknownTagsAreAllNamedBadExpressionsStopTheLoad) {
  Load({"9106, 'a', 1, 0, '(x)', 'Nope1', null, null", "9106, 'a', 2, 0, '(x)', 'Sev', null, null",
        "9106, 'b', 1, 0, '(x)', null, 'Nope2', null",
        "9107, 'a', 1, 0, 'fine', null, null, null", "9107, 'a', 2, 0, '(unclosed', null, null, null",
        "9107, 'b', 1, 0, '(x)', 'Nope3', null, null"});
  PatternEntry* table = nullptr;
  EXPECT_EQ(-1, GetPatterns(&table, 9106, 0));
  EXPECT_EQ(nullptr, Engine().patterns[0]);
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Nope1' is not in the tag table of file type 9106"));
  EXPECT_EQ(1, Count(Log(), "QDA0038 A Tag 'Nope2' is not in the tag table of file type 9106"));

  EXPECT_EQ(-1, GetPatterns(&table, 9107, 0));
  EXPECT_EQ(nullptr, Engine().patterns[0]);
  EXPECT_EQ(1, Count(Log(), "QDA0036 A Pattern does not compile: file type 9107, 'a', line 2"));
  EXPECT_EQ(1, Count(Log(), "QDA9999 2 "));
  EXPECT_EQ(0, Count(Log(), "'Nope3'")) << "loading stopped at the bad expression";

  EXPECT_EQ(-1, GetPatterns(&table, 9105, 0));
  EXPECT_EQ(1, Count(Log(), "QDA0032 A No search patterns for file type 9105"));
}

}  // namespace
