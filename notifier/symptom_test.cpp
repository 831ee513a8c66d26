// Symptom patterns: extended syntax, case, anchors, and patterns that do
// not compile.
#include "symptom.h"

#include <gtest/gtest.h>

namespace {

TEST(SymptomMatch, ExtendedCaseSensitiveAnywhereInTheText) {
  EXPECT_EQ(SymptomMatch("disk", "Physical disk 7 failed"), 1);
  EXPECT_EQ(SymptomMatch("Disk", "Physical disk 7 failed"), 0);
  EXPECT_EQ(SymptomMatch("disk (7|8) (failed|removed)", "Physical disk 7 failed"), 1);
  EXPECT_EQ(SymptomMatch("^SUPPRESSED:", "SUPPRESSED:Physical disk 7 failed"), 1);
  EXPECT_EQ(SymptomMatch("^SUPPRESSED:", "Physical disk 7 failed"), 0);
  EXPECT_EQ(SymptomMatch("disk [0-9]+$", "disk 12"), 1);
}

TEST(SymptomMatch, PlaceholdersAndBrokenPatternsNeverMatch) {
  // A rule without a symptom reads "<no symptom>", which matches no abstract.
  EXPECT_EQ(SymptomMatch("<no symptom>", "Physical disk 7 failed"), 0);
  EXPECT_EQ(SymptomMatch("disk (7", "disk (7"), 0);
  EXPECT_EQ(SymptomMatch("[", "["), 0);
  EXPECT_EQ(SymptomMatch(nullptr, "x"), 0);
  EXPECT_EQ(SymptomMatch("x", nullptr), 0);
  EXPECT_EQ(SymptomMatch("", "anything"), 1);
}

}  // namespace
