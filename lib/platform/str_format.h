#pragma once
// printf-style formatting into a std::string of whatever length the text
// needs.

#include <cstdarg>
#include <string>

// The text `format` gives with the arguments, however long it is; "" when
// the format cannot be applied.
std::string QdFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same with the arguments as a va_list, which it reads through copies:
// `args` can be used again afterwards.
std::string QdFormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
