#pragma once
// Moving wall-clock times between zones of the system zone database.
// Zones are named as the database names them ("America/Los_Angeles",
// "Europe/Paris", "GMT", "UTC") and read below QdPath("/usr/share/zoneinfo")
// on every call; the process's own zone (TZ and the C library's tzset
// state) is never read or changed, so these calls may be mixed freely with
// localtime and TStampOut.
//
// Wall-clock times that do not exist or exist twice are read as
// ZoneWallToUtc (zone_info.h) says: a time inside the spring gap is shifted
// forward by the gap, a time that occurs twice in autumn is its first
// (daylight) occurrence. The same stamp always gives the same answer.

#include <string>

#include "time_stamp.h"

// Converts the wall-clock time `in` of zone `fromZone` into the wall-clock
// time of zone `toZone` at the same instant, into `out` (which may be `in`
// itself). Hundredths are carried over unchanged. Returns 0; -1 with the
// error text (kErrTextSize bytes, err_text.h) set when a zone is unknown
// ("unknown time zone '<name>'") or its file damaged, when `in` is not a
// valid stamp ("invalid time stamp"), or when the result has no four-digit
// year; `out` is then unchanged. Logs nothing.
int ConvertTime(const char* fromZone, const Time_Stamp& in, const char* toZone, Time_Stamp& out,
                char* errtext);

// Sets `name` to the abbreviation ("PST", "CEST", "GMT") of zone `zone` in
// force at its wall-clock time `at`. Returns 0; -1 with the error text set
// as ConvertTime does, `name` then unchanged. Logs nothing.
int GetTZname(const char* zone, const Time_Stamp& at, std::string& name, char* errtext);
