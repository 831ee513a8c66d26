#include "str_format.h"

#include <cstdio>

std::string QdFormatV(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, again);
  va_end(again);
  if (length <= 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  va_copy(again, args);
  std::vsnprintf(&text[0], text.size(), format, again);
  va_end(again);
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string QdFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = QdFormatV(format, args);
  va_end(args);
  return text;
}
