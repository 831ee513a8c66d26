#pragma once
// The time stamp carried in transaction records and notification records:
// 24 bytes of text, format letter 'a' followed by "YYYY/MM/DD HH:MM:SS.hh"
// and a NUL.
//
//   offset  field  width  content
//        0  fmt        1  format letter, always 'a'
//        1  Year       4  digits
//        5  dlm1       1  '/'
//        6  Mon        2  digits, 01..12
//        8  dlm2       1  '/'
//        9  Day        2  digits, 01..31
//       11  dlm3       1  blank
//       12  Hour       2  digits, 00..23
//       14  dlm4       1  ':'
//       15  Min        2  digits, 00..59
//       17  dlm5       1  ':'
//       18  Sec        2  digits, 00..59 (60 accepted on input for a leap second)
//       20  dlm6       1  '.'
//       21  Tsec       2  hundredths of a second
//       23  dlm7       1  NUL
//
// The record is all single bytes, so it has no padding and no byte order;
// it may be copied in and out of message data as it stands.

#include <cstddef>
#include <cstdint>
#include <ctime>

struct Time_Stamp {
  char fmt;
  char Year[4];
  char dlm1;
  char Mon[2];
  char dlm2;
  char Day[2];
  char dlm3;
  char Hour[2];
  char dlm4;
  char Min[2];
  char dlm5;
  char Sec[2];
  char dlm6;
  char Tsec[2];
  char dlm7;
};

static_assert(sizeof(Time_Stamp) == 24, "Time_Stamp is 24 bytes");
static_assert(offsetof(Time_Stamp, fmt) == 0, "Time_Stamp.fmt");
static_assert(offsetof(Time_Stamp, Year) == 1, "Time_Stamp.Year");
static_assert(offsetof(Time_Stamp, dlm1) == 5, "Time_Stamp.dlm1");
static_assert(offsetof(Time_Stamp, Mon) == 6, "Time_Stamp.Mon");
static_assert(offsetof(Time_Stamp, dlm2) == 8, "Time_Stamp.dlm2");
static_assert(offsetof(Time_Stamp, Day) == 9, "Time_Stamp.Day");
static_assert(offsetof(Time_Stamp, dlm3) == 11, "Time_Stamp.dlm3");
static_assert(offsetof(Time_Stamp, Hour) == 12, "Time_Stamp.Hour");
static_assert(offsetof(Time_Stamp, dlm4) == 14, "Time_Stamp.dlm4");
static_assert(offsetof(Time_Stamp, Min) == 15, "Time_Stamp.Min");
static_assert(offsetof(Time_Stamp, dlm5) == 17, "Time_Stamp.dlm5");
static_assert(offsetof(Time_Stamp, Sec) == 18, "Time_Stamp.Sec");
static_assert(offsetof(Time_Stamp, dlm6) == 20, "Time_Stamp.dlm6");
static_assert(offsetof(Time_Stamp, Tsec) == 21, "Time_Stamp.Tsec");
static_assert(offsetof(Time_Stamp, dlm7) == 23, "Time_Stamp.dlm7");

// Fills `stamp` with the time `seconds` (seconds since the epoch) as the
// wall-clock time of the process's local zone (`local` true: TZ, else the
// C library's default) or of universal time (`local` false). Hundredths are
// "00". Returns 0; -1 when the time has no four-digit year (before 0001 or
// after 9999) or the C library cannot convert it, `stamp` then unchanged.
int TStampOut(time_t seconds, Time_Stamp& stamp, bool local);

// Reads `stamp` back into seconds since the epoch. With `local` true the
// fields are a wall-clock time of the process's local zone: a time inside
// the spring gap comes out shifted forward by the gap (as mktime does with
// tm_isdst = -1), a time that occurs twice in autumn is its first
// (daylight) occurrence, as ConvertTime reads it; with `local` false they
// are universal time. Hundredths are ignored (rounded down).
// Returns 0; -1 when the stamp is not valid (format letter 'a', the seven
// delimiters, digits in every field, month 1..12, a day that exists in that
// month, hour 0..23, minute 0..59, second 0..60), `seconds` then unchanged.
int TStampIn(const Time_Stamp& stamp, time_t& seconds, bool local);

// The fields of a stamp as numbers, for code that does its own zone
// arithmetic (zone_time). `wall` counts the seconds of the stamp's
// date and time as if it were universal time.
struct StampWallTime {
  int64_t wall;
  int hundredths;
};

// Checks `stamp` as TStampIn does and returns 0 with `out` filled, or -1.
int TStampToWall(const Time_Stamp& stamp, StampWallTime& out);

// Writes `in` into `stamp`. Returns 0, or -1 when the year falls outside
// 0001..9999 (or the hundredths outside 0..99), `stamp` then unchanged.
int TStampFromWall(const StampWallTime& in, Time_Stamp& stamp);

// Calendar arithmetic of the proleptic Gregorian calendar without the C
// library (so no zone state is read or changed): day 0 is 1970-01-01.
int64_t QdDaysFromCivil(int64_t year, int month, int day);
void QdCivilFromDays(int64_t days, int64_t& year, int& month, int& day);
bool QdLeapYear(int64_t year);
