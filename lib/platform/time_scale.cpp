#include "time_scale.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

double QdTimeScale() {
  const char* text = std::getenv("QD_TIME_SCALE");
  if (!text || !*text) return 1.0;
  char* end = nullptr;
  double factor = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(factor > 0) || std::isinf(factor)) return 1.0;
  return factor;
}

double QdScaledSeconds(double seconds) { return seconds * QdTimeScale(); }

long QdScaledMillis(double seconds) {
  if (seconds <= 0) return 0;
  double ms = QdScaledSeconds(seconds) * 1000.0;
  if (ms < 1.0) return 1;
  return static_cast<long>(std::llround(ms));
}

int QdSleep(double seconds) {
  long ms = QdScaledMillis(seconds);
  if (ms <= 0) return 0;
  struct timespec want;
  want.tv_sec = ms / 1000;
  want.tv_nsec = (ms % 1000) * 1000000L;
  return nanosleep(&want, nullptr) == 0 ? 0 : (errno == EINTR ? 1 : 0);
}
