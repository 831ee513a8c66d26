// Zone conversion through site numbers and zone names against a
// throwaway database.
#include "zone_convert.h"

#include <cstring>

#include "lookup_fixture.h"
#include "txn_test_records.h"

namespace {

using txntest::Stamp;

std::string Text(const Time_Stamp& ts) { return std::string(&ts.Year[0], 22); }

class ZoneConvertTest : public LookupDbTest {
 protected:
  void SetUp() override {
    LookupDbTest::SetUp();
    if (!connected_) return;
    Exec("insert into qd_site (site_id, site_number, timezone_name) values "
         "(1, 'S-LA', 'America/Los_Angeles'), (2, 'S-GMT', 'GMT'), (3, 'S-NULL', null), "
         "(4, 'S-EVIL', '../../etc/passwd')");
  }
};

TEST_F(ZoneConvertTest, SitesAndNamesConvertThroughTheZoneDatabase) {
  Time_Stamp in = Stamp("2026/01/15 12:00:00.07");
  Time_Stamp out = Stamp("1999/01/01 00:00:00.00");
  ASSERT_EQ(qdConvertTime(in, "GMT", 'T', out, "S-LA", 'S', log_.get()), kZoneDone);
  EXPECT_EQ(Text(out), "2026/01/15 04:00:00.07");
  // The identifiers differ, so a real conversion runs: same wall clock.
  ASSERT_EQ(qdConvertTime(in, "GMT", 'T', out, "S-GMT", 'S', log_.get()), kZoneDone);
  EXPECT_EQ(Text(out), Text(in));
  // A site without a zone is GMT.
  ASSERT_EQ(qdConvertTime(in, "S-NULL", 'S', out, "Europe/Paris", 'T', log_.get()), kZoneDone);
  EXPECT_EQ(Text(out), "2026/01/15 13:00:00.07");
}

TEST_F(ZoneConvertTest, FailuresLeaveTheOutputAloneAndAreLogged) {
  Time_Stamp in = Stamp("2026/01/15 12:00:00.00");
  const Time_Stamp before = Stamp("1999/01/01 00:00:00.00");
  Time_Stamp out = before;
  EXPECT_NE(qdConvertTime(in, "S-MISSING", 'S', out, "GMT", 'T', log_.get()), kZoneDone);
  EXPECT_EQ(Text(out), Text(before));
  EXPECT_NE(Log().find("select timezone for site 'S-MISSING'"), std::string::npos) << Log();

  // A zone from the database that is a path, not a zone.
  EXPECT_NE(qdConvertTime(in, "S-EVIL", 'S', out, "GMT", 'T', log_.get()), kZoneDone);
  EXPECT_EQ(Text(out), Text(before));
  EXPECT_NE(Log().find("QDZ9999 2 unknown time zone '../../etc/passwd'"), std::string::npos)
      << Log();
  std::string name = "unchanged";
  EXPECT_NE(qdTimeZoneName(in, "S-EVIL", 'S', name, log_.get()), kZoneDone);
  EXPECT_EQ(name, "unchanged");

  // A failed statement is rolled back: the next lookup works.
  Exec("alter table qd_site rename to qd_site_gone");
  std::string zone;
  EXPECT_EQ(_GetTimeZone("S-LA", zone, log_.get()), kZoneFailed);
  EXPECT_EQ(zone, "GMT");
  Exec("alter table qd_site_gone rename to qd_site");
  EXPECT_EQ(_GetTimeZone("S-LA", zone, log_.get()), kZoneDone);
  EXPECT_EQ(zone, "America/Los_Angeles");
}

TEST_F(ZoneConvertTest, AbbreviationsFollowTheSeason) {
  std::string name;
  ASSERT_EQ(qdTimeZoneName(Stamp("2026/01/15 12:00:00.00"), "S-LA", 'S', name, log_.get()), 0);
  EXPECT_EQ(name, "PST");
  ASSERT_EQ(qdTimeZoneName(Stamp("2026/07/15 12:00:00.00"), "America/Los_Angeles", 'T', name,
                           log_.get()),
            0);
  EXPECT_EQ(name, "PDT");
}

TEST(ZoneConvertNoDb, IdenticalIdentifiersCopyWithoutAnyLookup) {
  // No connection at all: a lookup would fail.
  Time_Stamp in = Stamp("2026/01/15 12:00:00.00");
  Time_Stamp out = Stamp("1999/01/01 00:00:00.00");
  EXPECT_EQ(qdConvertTime(in, "12", 'S', out, "12", 'S', nullptr), kZoneDone);
  EXPECT_EQ(Text(out), Text(in));
}

}  // namespace
