#include "assoc_id.h"

#include <cstdio>

int qdMakeAssocId(const struct timeval& now, char* out, size_t size) {
  if (size < 24) {
    if (out && size > 0) out[0] = '\0';
    return -1;
  }
  // The seconds are cut to 32 bits so the text keeps its 23 characters
  // past 2106 as well.
  snprintf(out, size, "Sec%.8lXuSec%.8lX", static_cast<unsigned long>(now.tv_sec) & 0xFFFFFFFFUL,
           static_cast<unsigned long>(now.tv_usec) & 0xFFFFFFFFUL);
  return 0;
}

int qdNewAssocId(char* out, size_t size) {
  struct timeval now;
  gettimeofday(&now, nullptr);
  return qdMakeAssocId(now, out, size);
}
