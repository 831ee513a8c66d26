#include "err_text.h"

#include <cstdarg>
#include <cstdio>

void SetErrText(char* errtext, const char* format, ...) {
  if (!errtext) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(errtext, kErrTextSize, format, args);
  va_end(args);
}
