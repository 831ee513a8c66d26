// The notification record's helpers (notify_data.h).
#include "notify_data.h"

#include <cstring>

void NotifyClear(NotifyData& nd) { std::memset(&nd, 0, sizeof nd); }

void NotifySetEventTimeShort(NotifyData& nd) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const Time_Stamp& ts = nd.EventTimeFirst;
  int month = 0;
  if (ts.Mon[0] >= '0' && ts.Mon[0] <= '9' && ts.Mon[1] >= '0' && ts.Mon[1] <= '9') {
    month = (ts.Mon[0] - '0') * 10 + (ts.Mon[1] - '0');
  }
  const char* name = month >= 1 && month <= 12 ? kMonths[month - 1] : "???";
  std::snprintf(nd.EVENTTIMESHORT, sizeof nd.EVENTTIMESHORT, "%s%.2s %.2s:%.2s", name, ts.Day,
                ts.Hour, ts.Min);
  // A stamp with a NUL inside a field leaves a shorter text, never garbage.
}

void NotifySetCustText(NotifyData& nd) {
  char text[sizeof nd.TEXT];
  std::memcpy(text, nd.TEXT, sizeof text);
  text[sizeof text - 1] = '\0';
  if (char* cut = std::strstr(text, "XML FORMAT:")) *cut = '\0';
  NotifySet(nd.CUSTTEXT, text);
}

std::string NotifyStampText(const Time_Stamp& ts) {
  const char* p = &ts.fmt + 1;
  return std::string(p, strnlen(p, sizeof ts - 1));
}
