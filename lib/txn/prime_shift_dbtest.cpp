// Prime shift against a throwaway database: the window's edges, empty
// days, which schedule decides, exceptions, and validity periods that
// start or end in the middle of a day.
#include "prime_shift.h"

#include <ctime>

#include "lookup_fixture.h"

namespace {

// 2026-12-07 is a Monday; the value's universal fields are the wall clock.
long Monday(int hour, int minute) {
  struct tm t = {};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = hour;
  t.tm_min = minute;
  return static_cast<long>(timegm(&t));
}

class PrimeShiftTest : public LookupDbTest {
 protected:
  // A schedule of `owner` valid from `from` to `to` with Monday's times.
  void Shift(int owner, const char* from, const char* to, const char* start, const char* end) {
    Exec("insert into qd_shift (owner, active_start, active_end, monday_start, monday_end) "
         "values (" + std::to_string(owner) + ", '" + from + "', '" + to + "', " + start + ", " +
         end + ")");
  }
};

TEST_F(PrimeShiftTest, TheWindowIncludesItsStartAndExcludesItsEnd) {
  Shift(42, "2026-01-01", "2027-01-01", "'0800'", "'1700'");
  EXPECT_TRUE(qdPrimeShift(Monday(8, 0), 42, log_.get()));
  EXPECT_TRUE(qdPrimeShift(Monday(16, 59), 42, log_.get()));
  EXPECT_FALSE(qdPrimeShift(Monday(17, 0), 42, log_.get()));
  EXPECT_FALSE(qdPrimeShift(Monday(7, 59), 42, log_.get()));
  // Tuesday has no times in this schedule: off all day.
  EXPECT_FALSE(qdPrimeShift(Monday(10, 0) + 86400, 42, log_.get()));
  EXPECT_EQ(Log().find("QDZ0100"), std::string::npos) << Log();
}

TEST_F(PrimeShiftTest, AStartAfterTheEndLeavesTheDayWithoutPrimeTime) {
  Shift(42, "2026-01-01", "2027-01-01", "'2200'", "'0600'");
  EXPECT_FALSE(qdPrimeShift(Monday(23, 0), 42, log_.get()));
  EXPECT_FALSE(qdPrimeShift(Monday(3, 0), 42, log_.get()));
}

TEST_F(PrimeShiftTest, TheUsersScheduleComesBeforeTheGlobalOneAndTheNewestFirst) {
  Shift(-1, "2026-01-01", "2027-01-01", "'0000'", "'2359'");
  Shift(42, "2026-01-01", "2027-01-01", "null", "null");
  EXPECT_FALSE(qdPrimeShift(Monday(10, 0), 42, log_.get()));
  EXPECT_TRUE(qdPrimeShift(Monday(10, 0), 43, log_.get()));
  Shift(42, "2026-06-01", "2027-01-01", "'0900'", "'1100'");
  EXPECT_TRUE(qdPrimeShift(Monday(10, 0), 42, log_.get()));
}

TEST_F(PrimeShiftTest, ValidityPeriodsCountToTheSecond) {
  // Global: Monday off. The user's prime schedule starts at midday, an
  // off one ends at midday: at two o'clock only the first is valid.
  Shift(-1, "2026-01-01", "2027-01-01", "null", "null");
  Shift(42, "2026-12-07 12:00:00", "2027-01-01", "'0000'", "'2359'");
  Shift(42, "2026-11-01", "2026-12-07 12:00:00", "null", "null");
  EXPECT_TRUE(qdPrimeShift(Monday(14, 0), 42, log_.get()));
  EXPECT_FALSE(qdPrimeShift(Monday(11, 59), 42, log_.get()));
  // A user whose only schedule ended at midday falls back to the global one.
  Shift(-1, "2026-12-07 11:00:00", "2027-01-01", "'0000'", "'2359'");
  Shift(50, "2026-11-01", "2026-12-07 12:00:00", "null", "null");
  EXPECT_TRUE(qdPrimeShift(Monday(14, 0), 50, log_.get()));
}

TEST_F(PrimeShiftTest, AnExceptionDecidesAlone) {
  Shift(42, "2026-01-01", "2027-01-01", "'0800'", "'1700'");
  Exec("insert into qd_shift_exception values (42, '2026-12-07 09:00', '2026-12-07 10:00', 'N'),"
       " (-1, '2026-12-07 18:00', '2026-12-07 19:00', 'Y')");
  EXPECT_FALSE(qdPrimeShift(Monday(9, 30), 42, log_.get()));
  EXPECT_TRUE(qdPrimeShift(Monday(10, 0), 42, log_.get()));
  EXPECT_TRUE(qdPrimeShift(Monday(18, 30), 42, log_.get()));
}

TEST_F(PrimeShiftTest, NoScheduleIsPrimeWithTheFailureLogged) {
  EXPECT_TRUE(qdPrimeShift(Monday(3, 0), 42, log_.get()));
  EXPECT_NE(Log().find("QDZ0100 2 Database error 100 in fetch shift cursor"), std::string::npos)
      << Log();
  // A broken exception table keeps the schedule's answer, and the
  // connection is usable afterwards.
  Shift(42, "2026-01-01", "2027-01-01", "'0800'", "'1700'");
  Exec("alter table qd_shift_exception rename to qd_shift_exception_gone");
  EXPECT_FALSE(qdPrimeShift(Monday(7, 0), 42, log_.get()));
  EXPECT_NE(Log().find("open exception cursor"), std::string::npos) << Log();
  EXPECT_FALSE(qdPrimeShift(Monday(7, 0), 42, log_.get()));
}

}  // namespace
