#pragma once
// Time stamps moved between zones given by name or by site number, and
// the zone abbreviation in force at a moment.
//
// A zone is an identifier with a type: 'S' makes the identifier a site
// number, whose zone is the site's timezone_name in qd_site (null reads
// "GMT"); any other type (callers pass 'T') makes it a zone name of the
// system zone database ("America/Los_Angeles", "GMT"). The zone
// arithmetic is the platform's (zone_time.h), which reads zone files and
// never the process's own TZ: the notifier's alert zone is a setting, so
// conversions are right on any host. A zone name that is not a zone of the
// database (unknown, a directory, an absolute or ".." path such as
// "../../etc/passwd") fails with the platform's error text.

#include <string>

#include "log_message.h"
#include "time_stamp.h"

// Result codes of the three functions.
enum QdZoneResult : int {
  kZoneDone = 0,
  kZoneFailed = 1,  // the zone could not be found or used
};

// Converts the wall-clock time `in` of the zone (fromId, fromType) into the
// wall-clock time of (toId, toType) at the same instant, into `out`.
// Identical identifiers (whatever their types) copy `in` to `out` without
// any lookup. A site lookup that fails returns its result (already
// logged); a failed conversion logs QDZ9999 '2' with the platform's text.
// Returns 0; non-zero with `out` unchanged.
[[nodiscard]] int qdConvertTime(const Time_Stamp& in, const char* fromId, char fromType,
                                Time_Stamp& out, const char* toId, char toType, CLogMessage* log);

// Sets `name` to the abbreviation of the zone (zoneId, zoneType) in force
// at its wall-clock time `at` ("PST" in January, "PDT" in July for
// America/Los_Angeles). A failed site lookup returns its result; a failed
// lookup of the abbreviation logs QDZ9999 '2'. Returns 0; non-zero with
// `name` unchanged.
[[nodiscard]] int qdTimeZoneName(const Time_Stamp& at, const char* zoneId, char zoneType,
                                 std::string& name, CLogMessage* log);

// Sets `zone` to the zone name of the site numbered `siteNumber` (up to
// 255 characters), "GMT" when its zone is null. Runs one statement on the
// current connection. No row, a failure (its transaction rolled back) or a
// number too long to be one: logs QDZ0100 '2' with the code, "select
// timezone for site '<number>'" and the database's message, sets `zone` to
// "GMT" and returns 1. Returns 0 with the zone otherwise.
[[nodiscard]] int _GetTimeZone(const char* siteNumber, std::string& zone, CLogMessage* log);
