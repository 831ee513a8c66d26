#pragma once
// One zone of the system zone database, read from its compiled file below
// QdPath("/usr/share/zoneinfo") without the C library's zone functions, so
// reading any zone leaves the process's own TZ and tzset state alone.
//
// A compiled zone file lists the instants at which the zone's local time
// type (offset from universal time, daylight flag, abbreviation) changes,
// and ends with a rule text ("PST8PDT,M3.2.0,M11.1.0") that gives the types
// after the last listed change.

#include <cstdint>
#include <string>
#include <vector>

struct ZoneType {
  int32_t utoff = 0;  // seconds east of universal time
  bool isdst = false;
  std::string abbr;
};

// A day of the year in the rule text: Jn (1..365, 29 February never
// counted), n (0..365, counted) or Mm.w.d (weekday d of week w, 5 = last,
// of month m).
struct ZoneRuleDay {
  char kind = 'M';  // 'J', 'D' or 'M'
  int day = 0;      // J and D forms
  int month = 0, week = 0, weekday = 0;
  int32_t time = 7200;  // local time of day of the change, seconds
};

struct ZoneRule {
  bool present = false;
  bool has_dst = false;
  ZoneType std_type, dst_type;
  ZoneRuleDay start, end;  // daylight time begins, ends
};

struct ZoneInfo {
  std::vector<int64_t> times;   // change instants, ascending
  std::vector<uint8_t> index;   // type in force from times[i] on
  std::vector<ZoneType> types;  // at least one
  ZoneRule rule;
};

// Loads the zone `name` ("Europe/Paris", "GMT", ...). Returns 0 with `zone`
// filled; -1 with the error text (kErrTextSize bytes, err_text.h) set to
// "unknown time zone '<name>'" when the name is not a zone of the database
// (absent, a directory, an absolute or ".." path), or to "time zone file
// for '<name>' is damaged" when the file cannot be read as a zone. `zone`
// is unspecified after a failure.
int ZoneLoad(const char* name, ZoneInfo& zone, char* errtext);

// Parses a rule text as found at the end of a zone file. Returns 0, or -1
// when the text is not a rule (`rule` then unspecified).
int ZoneParseRule(const std::string& text, ZoneRule& rule);

// The local time type in force at the universal instant `utc`.
const ZoneType& ZoneTypeAt(const ZoneInfo& zone, int64_t utc);

// The universal instant at which the zone's clocks show `wall` (seconds of
// a wall-clock date and time counted as if universal). A wall-clock time
// that occurs twice (clocks set back) gives its first occurrence, the one
// under the earlier (in autumn: daylight) offset. A wall-clock time that
// does not occur (clocks set forward) is read with the offset in force
// before the change, so it lands after the change, shifted forward by the
// size of the gap (02:30 on a spring-forward night with a one-hour gap
// shows as 03:30), as the C library's mktime does with tm_isdst = -1.
int64_t ZoneWallToUtc(const ZoneInfo& zone, int64_t wall);
