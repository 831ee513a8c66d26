#include "auth_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "qd_path.h"

namespace {

constexpr int kFacilityAuthpriv = 10 << 3;

}  // namespace

std::string AuthLogSocketPath() { return QdPath("/dev/log"); }

void AuthLogOpen(AuthLog& log) {
  if (log.fd >= 0) return;
  std::string path = AuthLogSocketPath();
  struct sockaddr_un addr = {};
  if (path.size() >= sizeof addr.sun_path) return;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return;
  }
  log.fd = fd;
}

void AuthLogSend(AuthLog& log, int level, const std::string& text) {
  AuthLogOpen(log);
  if (log.fd < 0) return;
  char stamp[32];
  std::time_t now = std::time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &tm);
  std::string line = "<" + std::to_string(kFacilityAuthpriv | level) + ">" + stamp +
                     " acctreset[" + std::to_string(getpid()) + "]: " + text;
  ssize_t n;
  do {
    n = send(log.fd, line.data(), line.size(), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) AuthLogClose(log);  // the log may have restarted: reconnect next time
}

void AuthLogClose(AuthLog& log) {
  if (log.fd >= 0) close(log.fd);
  log.fd = -1;
}
