// Conversions between zones given by name or by site (zone_convert.h).
#include "zone_convert.h"

#include <cstring>

#include "err_text.h"
#include "zone_time.h"

namespace {

const char kModule[] = "qdConvertTime";

// The zone name of (id, type); non-zero when a site lookup failed.
int Resolve(const char* id, char type, std::string& zone, CLogMessage* log) {
  if (type == 'S') return _GetTimeZone(id, zone, log);
  zone = id ? id : "";
  return kZoneDone;
}

void LogFree(CLogMessage* log, const char* text) {
  if (log && log->Insert("QDZ9999", '2', text)) return;
  std::string line = std::string("Error attempting to issue message QDZ9999 ") +
                     (log ? log->szErrorMsg : "(no logger)") + ": " + text;
  Log2cerr(line, kModule, false);
}

}  // namespace

int qdConvertTime(const Time_Stamp& in, const char* fromId, char fromType, Time_Stamp& out,
                  const char* toId, char toType, CLogMessage* log) {
  if (fromId && toId && std::strcmp(fromId, toId) == 0) {
    out = in;
    return kZoneDone;
  }
  std::string from, to;
  int rc = Resolve(fromId, fromType, from, log);
  if (rc != kZoneDone) return rc;
  rc = Resolve(toId, toType, to, log);
  if (rc != kZoneDone) return rc;
  char err[kErrTextSize] = {0};
  if (ConvertTime(from.c_str(), in, to.c_str(), out, err) != 0) {
    LogFree(log, err);
    return kZoneFailed;
  }
  return kZoneDone;
}

int qdTimeZoneName(const Time_Stamp& at, const char* zoneId, char zoneType, std::string& name,
                   CLogMessage* log) {
  std::string zone;
  int rc = Resolve(zoneId, zoneType, zone, log);
  if (rc != kZoneDone) return rc;
  char err[kErrTextSize] = {0};
  if (GetTZname(zone.c_str(), at, name, err) != 0) {
    LogFree(log, err);
    return kZoneFailed;
  }
  return kZoneDone;
}
