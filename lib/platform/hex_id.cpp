#include "hex_id.h"

#include <cstdio>

std::string HexId(int32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%.8X", static_cast<uint32_t>(id));
  return text;
}
