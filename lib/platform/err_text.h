#pragma once
// Error texts of the small platform services. Functions whose contract
// says "error text" write at most kErrTextSize bytes (NUL included) into a
// caller's buffer, so a caller that declares `char err[kErrTextSize]` (or
// larger) can never be overrun, however long the names in the text are.

#include <cstddef>

constexpr std::size_t kErrTextSize = 256;

// Formats like printf into `errtext` (kErrTextSize bytes), cutting what does
// not fit. A null `errtext` is allowed and ignored.
void SetErrText(char* errtext, const char* format, ...) __attribute__((format(printf, 2, 3)));
