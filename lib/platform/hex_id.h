#pragma once
// Message and request ids as the operators see them in the platform log and
// in the tools: 8 upper-case hexadecimal digits.

#include <cstdint>
#include <string>

// `id` as 8 upper-case hex digits ("0000002A"); a negative id shows its
// 32-bit two's complement ("FFFFFFFF" for -1).
std::string HexId(int32_t id);
