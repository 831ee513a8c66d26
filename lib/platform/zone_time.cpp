#include "zone_time.h"

#include "err_text.h"
#include "zone_info.h"

namespace {

// Loads the zone and finds the instant of the stamp's wall-clock time in it.
int ResolveStamp(const char* zoneName, const Time_Stamp& stamp, ZoneInfo& zone,
                 StampWallTime& wall, int64_t& utc, char* errtext) {
  if (TStampToWall(stamp, wall) != 0) {
    SetErrText(errtext, "invalid time stamp");
    return -1;
  }
  if (ZoneLoad(zoneName, zone, errtext) != 0) return -1;
  utc = ZoneWallToUtc(zone, wall.wall);
  return 0;
}

}  // namespace

int ConvertTime(const char* fromZone, const Time_Stamp& in, const char* toZone, Time_Stamp& out,
                char* errtext) {
  ZoneInfo from, to;
  StampWallTime wall;
  int64_t utc;
  if (ResolveStamp(fromZone, in, from, wall, utc, errtext) != 0) return -1;
  if (ZoneLoad(toZone, to, errtext) != 0) return -1;
  StampWallTime target{utc + ZoneTypeAt(to, utc).utoff, wall.hundredths};
  if (TStampFromWall(target, out) != 0) {
    SetErrText(errtext, "time converted from '%s' to '%s' is out of range", fromZone, toZone);
    return -1;
  }
  return 0;
}

int GetTZname(const char* zone, const Time_Stamp& at, std::string& name, char* errtext) {
  ZoneInfo info;
  StampWallTime wall;
  int64_t utc;
  if (ResolveStamp(zone, at, info, wall, utc, errtext) != 0) return -1;
  name = ZoneTypeAt(info, utc).abbr;
  return 0;
}
