// Lines and summaries of one serial's groups.
#include "summary.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

template <size_t N>
void Copy(char (&field)[N], const std::string& text) {
  ASSERT_LT(text.size(), N);
  std::memcpy(field, text.c_str(), text.size() + 1);
}

ParkedGroup Group(long count, const std::string& abstract, const std::string& first,
                  const std::string& last, bool forwarded = false) {
  ParkedGroup g;
  std::memset(&g, 0, sizeof g);
  Copy(g.abstract, abstract);
  Copy(g.first, first);
  Copy(g.last, last);
  g.forwarded[0] = forwarded ? 'Y' : 'N';
  g.count = count;
  return g;
}

// A group whose line is exactly `width` characters long (count 1; the
// longest abstract, 80 characters, makes a line of 87).
ParkedGroup Sized(size_t width, const std::string& first, const std::string& last) {
  std::string abstract(width - 7, 'x');  // "    1 " and the line feed
  return Group(1, abstract, first, last);
}

TEST(SummaryLine, CountRightAlignedAndForwardedMarkKeepsEveryDigit) {
  EXPECT_EQ(SummaryLine(Group(7, "Disk 3 degraded", "", "")), "    7 Disk 3 degraded\n");
  EXPECT_EQ(SummaryLine(Group(7, "Disk 3 degraded", "", "", true)), "*   7 Disk 3 degraded\n");
  EXPECT_EQ(SummaryLine(Group(9999, "a", "", "", true)), "*9999 a\n");
  // Five digits fill the first place: the mark goes in front of them.
  EXPECT_EQ(SummaryLine(Group(12345, "a", "", "", true)), "*12345 a\n");
  EXPECT_EQ(SummaryLine(Group(12345, "a", "", "")), "12345 a\n");
}

TEST(BuildSummaries, NoGroupsNoSummaryOneGroupItsOwnRange) {
  EXPECT_TRUE(BuildSummaries({}).empty());
  std::vector<GroupSummary> one =
      BuildSummaries({Group(3, "Fan failed", "2024/05/01 10:00:00", "2024/05/01 11:30:00")});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].text, "    3 Fan failed\n");
  EXPECT_EQ(one[0].first, "2024/05/01 10:00:00");
  EXPECT_EQ(one[0].last, "2024/05/01 11:30:00");
  EXPECT_EQ(one[0].begin, 0u);
  EXPECT_EQ(one[0].end, 1u);
}

TEST(BuildSummaries, RangeSpansEarliestFirstAndLatestLast) {
  // Oldest first by first time; a later group may end before an earlier one.
  std::vector<GroupSummary> s = BuildSummaries({
      Group(1, "a", "2024/05/01 10:00:00", "2024/05/03 09:00:00"),
      Group(1, "b", "2024/05/02 10:00:00", "2024/05/02 11:00:00"),
  });
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].first, "2024/05/01 10:00:00");
  EXPECT_EQ(s[0].last, "2024/05/03 09:00:00");
}

TEST(BuildSummaries, ExactlyFullTextStaysOneOneMoreCharacterStartsTheNext) {
  // 50 lines of 80 characters make exactly 4000.
  std::vector<ParkedGroup> full(50, Sized(80, "2024/05/01 10:00:00", "2024/05/01 10:00:00"));
  std::vector<GroupSummary> s = BuildSummaries(full);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].text.size(), kSummaryTextMax);

  full.back() = Sized(81, "2024/05/01 10:00:00", "2024/05/01 10:00:00");
  s = BuildSummaries(full);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].text.size(), 3920u);
  EXPECT_EQ(s[0].end, 49u);
  EXPECT_EQ(s[1].begin, 49u);
  EXPECT_EQ(s[1].end, 50u);
  EXPECT_EQ(s[1].text.size(), 81u);
}

TEST(BuildSummaries, EachSummaryCarriesTheRangeOfItsOwnGroups) {
  std::vector<ParkedGroup> groups;
  char first[32], last[32];
  for (int i = 0; i < 120; ++i) {
    std::snprintf(first, sizeof first, "2024/05/%02d 10:00:00", 1 + i / 10);
    std::snprintf(last, sizeof last, "2024/05/%02d 12:00:00", 1 + i / 10);
    groups.push_back(Sized(80, first, last));
  }
  std::vector<GroupSummary> s = BuildSummaries(groups);
  ASSERT_EQ(s.size(), 3u);  // 50 + 50 + 20 lines
  EXPECT_EQ(s[0].first, "2024/05/01 10:00:00");
  EXPECT_EQ(s[0].last, "2024/05/05 12:00:00");  // groups 0..49
  // The group that did not fit starts the next range, first and last.
  EXPECT_EQ(s[1].first, "2024/05/06 10:00:00");
  EXPECT_EQ(s[1].last, "2024/05/10 12:00:00");
  EXPECT_EQ(s[2].first, "2024/05/11 10:00:00");
  EXPECT_EQ(s[2].last, "2024/05/12 12:00:00");
  size_t lines = 0;
  for (const GroupSummary& one : s) {
    EXPECT_LE(one.text.size(), kSummaryTextMax);
    lines += one.end - one.begin;
  }
  EXPECT_EQ(lines, groups.size());
}

}  // namespace
