#pragma once
// Time stamps for tests, written as the text they hold.

#include <cstring>

#include "time_stamp.h"

// The stamp of `text` ("YYYY/MM/DD HH:MM:SS.hh", 22 characters; other
// delimiters make an invalid stamp on purpose) with the format letter 'a'
// and a zero last byte.
inline Time_Stamp TextStamp(const char* text) {
  Time_Stamp s;
  std::memset(&s, 0, sizeof s);
  s.fmt = 'a';
  std::memcpy(&s.Year, text, 22);
  return s;
}
