// The node power handler's history counts against a throwaway database:
// which earlier rows of the same power supply count, by key, age, event
// type, machine and details.
#include <gtest/gtest.h>

#include "power_history.h"
#include "analysis_db_fixture.h"

namespace {

class PsHistoryTest : public AnalysisDbTest {
 protected:
  // A history row of Zarvek/VELMAR/1400123 `age` ago.
  void Row(const char* event, const char* key1, const char* age, const char* details,
           const char* prod_id = "1400123") {
    Sql(std::string("insert into qd_anal_history (vendor, product, prod_id, file_type, "
                    "template_used, anal_date, event_type, ea_key1, ea_details) values "
                    "('Zarvek', 'VELMAR', '") + prod_id + "', 100, 0, localtimestamp - interval '" +
        age + "', '" + event + "', '" + key1 + "', '" + details + "')");
  }
  long Count(PsHistoryQuery query) {
    long n = -1;
    EXPECT_EQ(0, CountPsHistory(query, "Zarvek", "VELMAR", "1400123",
                                "%~Comp=PS0~Loc=NODE1~%", n));
    return n;
  }
};

TEST_F(PsHistoryTest, RecentFailuresAndRemovalsOfThatPowerSupplyOnly) {
  const char* ps0 = "~Comp=PS0~Loc=NODE1~PSstate=AC_FAIL~";
  EXPECT_EQ(0, Count(kPsFailedRecently));
  Row("evt_ps_acstatus", "AC_FAIL", "90 seconds", ps0);         // too old for a failure
  Row("evt_ps_dcstatus", "NOT_PRESENT", "6 minutes", ps0);      // too old for a removal
  Row("evt_ps_acstatus", "AC_FAIL", "10 seconds", "~Comp=PS1~Loc=NODE1~PSstate=OK~");
  Row("evt_ps_acstatus", "AC_FAIL", "10 seconds", ps0, "1400999");
  Row("evt_bat_fail", "AC_FAIL", "10 seconds", ps0);
  Row("evt_ps_acstatus", "DC_FAIL", "10 seconds", ps0);
  EXPECT_EQ(0, Count(kPsFailedRecently));
  EXPECT_EQ(0, Count(kPsNotPresentRecently));

  Row("evt_ps_acstatus", "AC_FAIL", "30 seconds", ps0);
  EXPECT_EQ(1, Count(kPsFailedRecently));
  EXPECT_EQ(0, Count(kPsNotPresentRecently)) << "a fan failure counts removals only";
  Row("evt_ps_dcstatus", "NOT_PRESENT", "4 minutes", ps0);
  EXPECT_EQ(2, Count(kPsFailedRecently));
  EXPECT_EQ(1, Count(kPsNotPresentRecently));
}

}  // namespace
