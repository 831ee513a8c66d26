#include "time_stamp.h"

#include <cstring>

int64_t QdDaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void QdCivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

bool QdLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

namespace {

int DaysInMonth(int64_t y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && QdLeapYear(y) ? 29 : kDays[m - 1];
}

// Reads `width` decimal digits; -1 when any of them is not a digit.
int Digits(const char* field, int width) {
  int value = 0;
  for (int i = 0; i < width; ++i) {
    if (field[i] < '0' || field[i] > '9') return -1;
    value = value * 10 + (field[i] - '0');
  }
  return value;
}

void PutDigits(char* field, int width, int64_t value) {
  for (int i = width - 1; i >= 0; --i) {
    field[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

bool DelimitersValid(const Time_Stamp& s) {
  return s.fmt == 'a' && s.dlm1 == '/' && s.dlm2 == '/' && s.dlm3 == ' ' && s.dlm4 == ':' &&
         s.dlm5 == ':' && s.dlm6 == '.' && s.dlm7 == '\0';
}

struct Fields {
  int year, mon, day, hour, min, sec, tsec;
};

bool ReadFields(const Time_Stamp& s, Fields& f) {
  if (!DelimitersValid(s)) return false;
  f = {Digits(s.Year, 4), Digits(s.Mon, 2), Digits(s.Day, 2), Digits(s.Hour, 2),
       Digits(s.Min, 2),  Digits(s.Sec, 2), Digits(s.Tsec, 2)};
  if (f.year < 1 || f.mon < 1 || f.mon > 12 || f.day < 1) return false;
  if (f.day > DaysInMonth(f.year, f.mon)) return false;
  if (f.hour < 0 || f.hour > 23 || f.min < 0 || f.min > 59) return false;
  return f.sec >= 0 && f.sec <= 60 && f.tsec >= 0;
}

struct tm LocalFields(const Fields& f, int isdst) {
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.mon - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.min;
  tm.tm_sec = f.sec;
  tm.tm_isdst = isdst;
  return tm;
}

bool SameFields(const struct tm& tm, const Fields& f) {
  return tm.tm_year == f.year - 1900 && tm.tm_mon == f.mon - 1 && tm.tm_mday == f.day &&
         tm.tm_hour == f.hour && tm.tm_min == f.min && tm.tm_sec == f.sec;
}

}  // namespace

int TStampToWall(const Time_Stamp& stamp, StampWallTime& out) {
  Fields f;
  if (!ReadFields(stamp, f)) return -1;
  out.wall = QdDaysFromCivil(f.year, f.mon, f.day) * 86400 + f.hour * 3600 + f.min * 60 + f.sec;
  out.hundredths = f.tsec;
  return 0;
}

int TStampFromWall(const StampWallTime& in, Time_Stamp& stamp) {
  int64_t days = in.wall / 86400;
  int64_t rest = in.wall % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int64_t year;
  int mon, day;
  QdCivilFromDays(days, year, mon, day);
  if (year < 1 || year > 9999 || in.hundredths < 0 || in.hundredths > 99) return -1;
  Time_Stamp s;
  s.fmt = 'a';
  PutDigits(s.Year, 4, year);
  s.dlm1 = '/';
  PutDigits(s.Mon, 2, mon);
  s.dlm2 = '/';
  PutDigits(s.Day, 2, day);
  s.dlm3 = ' ';
  PutDigits(s.Hour, 2, rest / 3600);
  s.dlm4 = ':';
  PutDigits(s.Min, 2, rest / 60 % 60);
  s.dlm5 = ':';
  PutDigits(s.Sec, 2, rest % 60);
  s.dlm6 = '.';
  PutDigits(s.Tsec, 2, in.hundredths);
  s.dlm7 = '\0';
  stamp = s;
  return 0;
}

int TStampOut(time_t seconds, Time_Stamp& stamp, bool local) {
  int64_t offset = 0;
  if (local) {
    struct tm tm;
    if (!localtime_r(&seconds, &tm)) return -1;
    offset = tm.tm_gmtoff;
  }
  return TStampFromWall({static_cast<int64_t>(seconds) + offset, 0}, stamp);
}

int TStampIn(const Time_Stamp& stamp, time_t& seconds, bool local) {
  StampWallTime w;
  if (TStampToWall(stamp, w) != 0) return -1;
  if (!local) {
    seconds = static_cast<time_t>(w.wall);
    return 0;
  }
  Fields f;
  ReadFields(stamp, f);
  struct tm tm = LocalFields(f, -1);
  // mktime answers -1 both for failure and for the second before the
  // epoch; it fills tm_wday only on success, which tells the two apart.
  tm.tm_wday = -1;
  time_t t = mktime(&tm);
  if (tm.tm_wday == -1) return -1;
  // A wall-clock time that occurs twice: mktime may pick either; take the
  // first, as the zone conversions do, so both read a stamp alike.
  if (tm.tm_isdst >= 0) {
    struct tm other = LocalFields(f, tm.tm_isdst ? 0 : 1);
    other.tm_wday = -1;
    time_t t2 = mktime(&other);
    if (other.tm_wday != -1 && t2 < t && SameFields(other, f)) t = t2;
  }
  seconds = t;
  return 0;
}
