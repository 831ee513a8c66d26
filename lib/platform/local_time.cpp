#include "local_time.h"

std::string LocalTimeText(time_t when, const char* format) {
  struct tm parts;
  if (!localtime_r(&when, &parts)) return "";
  char text[64];
  if (strftime(text, sizeof text, format, &parts) == 0) return "";
  return text;
}
