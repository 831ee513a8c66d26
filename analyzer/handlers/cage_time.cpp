// The stale test of drive cage events: a cage reports the time of its own
// clock with each event; when that clock is far behind the event's time
// the cage is reporting something that is no longer its present state.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cage_handler.h"
#include "engine_log.h"
#include "handler_patterns.h"

namespace {

constexpr long kStaleSeconds = 3600;
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Month number 1..12 of a three-letter name; 12 for an unknown name.
int MonthNumber(const std::string& name) {
  for (int i = 0; i < 12; ++i) {
    if (name == kMonths[i]) return i + 1;
  }
  return 12;
}

int Int(const char* text, const regmatch_t& m) { return std::atoi(CageGroup(text, m).c_str()); }

// Local broken-down time to seconds; false when it does not convert.
bool LocalSeconds(int year, int month, int day, int hour, int minute, int second, time_t* out) {
  struct tm tm;
  std::memset(&tm, 0, sizeof tm);
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;  // daylight saving as the system's zone has it
  // A year up to 1969 gives no time the clock can stand for, even where
  // mktime would compute a negative one.
  if (year <= 1969) return false;
  time_t t = mktime(&tm);
  if (t == static_cast<time_t>(-1)) return false;
  *out = t;
  return true;
}

void Judge(CageAge& age, time_t cage_time, long event_time) {
  age.difference = event_time - static_cast<long>(cage_time);
  age.old = age.difference > kStaleSeconds;
}

}  // namespace

CageAge EA_jbodevt_CageTimeTooOld(int slot) {
  CageAge age;
  const std::string event_string = CageTag(slot, "EventString");
  const char* s = event_string.c_str();
  const long event_time = std::strtol(CageTag(slot, "Time").c_str(), nullptr, 10);
  const regex_t* p10 = HandlerPatternAt(10);
  const regex_t* p31 = HandlerPatternAt(31);
  const regex_t* p43 = HandlerPatternAt(43);
  regmatch_t m[kCageGroups];
  time_t cage_time = 0;
  if (!p10 || !p31 || !p43) {
    age.reason = "Patterns failed to compile at initialization";
  } else if (CageMatch(p10, s, m)) {
    const std::string month_name = CageGroup(s, m[1]);
    const int month = MonthNumber(month_name);
    const int day = Int(s, m[2]), hour = Int(s, m[3]), minute = Int(s, m[4]);
    const int second = Int(s, m[5]), year = Int(s, m[6]);
    if (LocalSeconds(year, month, day, hour, minute, second, &cage_time)) {
      Judge(age, cage_time, event_time);
    } else if (year <= 1969) {
      age.old = true;  // a cage clock never set: nothing it says is current
    } else {
      age.reason = QdFormat("cage time did not convert: %s(%d) %d %d, %d:%d:%d",
                                month_name.c_str(), month, day, year, hour, minute, second);
    }
  } else if (CageMatch(p43, s, m)) {
    const int year = Int(s, m[1]);
    if (LocalSeconds(year, Int(s, m[2]), Int(s, m[3]), Int(s, m[4]), Int(s, m[5]), Int(s, m[6]),
                     &cage_time)) {
      Judge(age, cage_time, event_time);
    } else if (year <= 1969) {
      age.old = true;
    } else {
      age.reason = QdFormat("cage time did not convert: %s-%s-%s %s:%s:%s",
                                CageGroup(s, m[1]).c_str(), CageGroup(s, m[2]).c_str(),
                                CageGroup(s, m[3]).c_str(), CageGroup(s, m[4]).c_str(),
                                CageGroup(s, m[5]).c_str(), CageGroup(s, m[6]).c_str());
    }
  } else if (CageMatch(p31, s, m)) {
    age.difference = event_time - std::strtol(CageGroup(s, m[1]).c_str(), nullptr, 10);
    age.old = true;
  } else {
    age.reason = "cage time not found in event string";
  }
  if (!age.reason.empty()) {
    AnalLog("0042", '2', age.reason);
    age.old = false;
  }
  return age;
}
