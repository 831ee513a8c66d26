// Group expansion against a throwaway database: levels, loops, the
// 50-name limit, names that need quoting, and a failing statement.
#include "group_bom.h"

#include <vector>

#include "lookup_fixture.h"

namespace {

class GroupBomTest : public LookupDbTest {
 protected:
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (int i = 0; i < kQdGroupMax; ++i) out.push_back(list_.names[i]);
    return out;
  }
  int Found() const {
    int n = 0;
    while (n < kQdGroupMax && std::string(list_.names[n]) != kQdNoGroup) ++n;
    return n;
  }
  QdGroupList list_;
  std::string msg_;
};

TEST_F(GroupBomTest, ObjectsInNoGroupLeaveEveryEntryUnused) {
  EXPECT_EQ(qdGrpBOM(7, 8, list_.ptrs, msg_), kBomNoGroup);
  EXPECT_EQ(msg_, "");
  for (const auto& n : Names()) EXPECT_EQ(n, kQdNoGroup);
  EXPECT_EQ(qdOrgGrpBOM("Nobody Ltd", list_.ptrs, msg_), kBomNoGroup);
  EXPECT_EQ(qdUGrpBOM(99, list_.ptrs, msg_), kBomNoGroup);
}

TEST_F(GroupBomTest, LevelsFollowEachOtherEachInNameOrder) {
  Exec("insert into qd_group_mem (group_name, member_product) values ('Zeta', 7), ('Alpha', 7);"
       "insert into qd_group_mem (group_name, member_site) values ('Mid', 8);"
       "insert into qd_group_mem (group_name, member_group) values ('Top', 'Zeta'), ('Beta', 'Alpha');");
  ASSERT_EQ(qdGrpBOM(7, 8, list_.ptrs, msg_), kBomDone) << msg_;
  EXPECT_EQ(msg_, "");
  std::vector<std::string> want = {"Alpha", "Mid", "Zeta", "Beta", "Top"};
  want.resize(kQdGroupMax, kQdNoGroup);
  EXPECT_EQ(Names(), want);
}

TEST_F(GroupBomTest, AGroupReachedTwiceIsListedTwiceWithANote) {
  Exec("insert into qd_group_mem (group_name, member_product) values ('G1', 7), ('G3', 7);"
       "insert into qd_group_mem (group_name, member_group) values ('G3', 'G1');");
  ASSERT_EQ(qdGrpBOM(7, -1, list_.ptrs, msg_), kBomDone);
  EXPECT_EQ(msg_, "Group loop found for G3");
  EXPECT_EQ(Found(), 3);
  EXPECT_STREQ(list_.names[2], "G3");
}

TEST_F(GroupBomTest, ACycleEndsInOverflow) {
  Exec("insert into qd_group_mem (group_name, member_product) values ('G1', 7);"
       "insert into qd_group_mem (group_name, member_group) values ('G2', 'G1'), ('G1', 'G2');");
  EXPECT_EQ(qdGrpBOM(7, -1, list_.ptrs, msg_), kBomError);
  EXPECT_EQ(msg_, "Result array overflow.");
  EXPECT_EQ(Found(), kQdGroupMax);
  // Every cursor was closed and the connection is usable again.
  EXPECT_EQ(qdGrpBOM(7, -1, list_.ptrs, msg_), kBomError);
  EXPECT_EQ(qdUGrpBOM(1, list_.ptrs, msg_), kBomNoGroup);
}

TEST_F(GroupBomTest, FiftyNamesFitAndTheFiftyFirstIsRefusedUnwritten) {
  Exec("insert into qd_usergroup_mem (group_name, member_user) "
       "select 'U' || lpad(i::text, 2, '0'), 5 from generate_series(1, 50) i;");
  ASSERT_EQ(qdUGrpBOM(5, list_.ptrs, msg_), kBomDone) << msg_;
  EXPECT_STREQ(list_.names[0], "U01");
  EXPECT_STREQ(list_.names[49], "U50");

  // The 51st on the first level...
  Exec("insert into qd_usergroup_mem (group_name, member_user) values ('U51', 5);");
  EXPECT_EQ(qdUGrpBOM(5, list_.ptrs, msg_), kBomError);
  EXPECT_EQ(msg_, "Result array overflow.");
  EXPECT_STREQ(list_.names[49], "U50");

  // ...and on a further one.
  Exec("delete from qd_usergroup_mem where group_name = 'U51';"
       "insert into qd_usergroup_mem (group_name, member_group) values ('Above', 'U01');");
  EXPECT_EQ(qdUGrpBOM(5, list_.ptrs, msg_), kBomError);
  EXPECT_EQ(msg_, "Result array overflow.");
}

TEST_F(GroupBomTest, NamesWithQuotesAndSeparatorsAreBoundNotPasted) {
  const char* org = "O'Brien \"Storage\"; delete from qd_orggroup_mem; --";
  Exec("insert into qd_orggroup_mem (group_name, member_organization) values "
       "('it''s', 'O''Brien \"Storage\"; delete from qd_orggroup_mem; --');"
       "insert into qd_orggroup_mem (group_name, member_group) values ('a,b) or (1=1', 'it''s');");
  ASSERT_EQ(qdOrgGrpBOM(org, list_.ptrs, msg_), kBomDone) << msg_;
  std::vector<std::string> want = {"it's", "a,b) or (1=1"};
  want.resize(kQdGroupMax, kQdNoGroup);
  EXPECT_EQ(Names(), want);
  EXPECT_EQ(db_->query("select count(*) from qd_orggroup_mem"), std::vector<std::string>{"2"});
}

TEST_F(GroupBomTest, AFailingStatementIsReportedAndRolledBack) {
  Exec("alter table qd_group_mem rename to qd_group_mem_gone");
  EXPECT_EQ(qdGrpBOM(7, 8, list_.ptrs, msg_), kBomError);
  EXPECT_EQ(msg_.rfind("Error opening initial cursor. ", 0), 0u) << msg_;
  EXPECT_NE(msg_.find("qd_group_mem"), std::string::npos) << msg_;
  // The failed transaction was rolled back: the next statement runs.
  EXPECT_EQ(qdUGrpBOM(3, list_.ptrs, msg_), kBomNoGroup) << msg_;
}

}  // namespace
