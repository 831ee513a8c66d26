#pragma once
// Association ids correlate every transaction that stems from one first
// request. A sender that starts a new chain makes one from the current time;
// a sender that answers a request copies the request's id instead.

#include <cstddef>
#include <sys/time.h>

// Writes "Sec%.8lXuSec%.8lX" (seconds and microseconds of `now`, 23
// characters) into `out`, which holds at least `size` bytes, NUL-terminated.
// Returns 0, or -1 when `size` is below 24 (out then holds "" if size > 0).
int qdMakeAssocId(const struct timeval& now, char* out, size_t size);

// The same for the current time of day.
int qdNewAssocId(char* out, size_t size);
