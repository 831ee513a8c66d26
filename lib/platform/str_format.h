#pragma once
// printf-style formatting into a std::string.

#include <string>

// The text `format` gives with the arguments, however long it is.
std::string QdFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
