#include "event_stream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "event_file.h"
#include "dumps.h"
#include "event_process.h"
#include "signals.h"
#include "time_scale.h"

const char* const kSubscription = "heartbeat=10\nstyle=sp\nstart\n";

namespace {

constexpr double kConnectPause = 30;
constexpr double kPollTimeout = 30;
constexpr double kErrorWait = 30;
constexpr double kClosedWait = 60;
constexpr double kWaitStep = 2;

void Interactive(EvtmonState& st, const std::string& text) {
  if (!st.daemon) std::fputs(text.c_str(), stdout), std::fflush(stdout);
}

// Waits `seconds` (scaled) in 2-second steps, leaving early on SIGTERM.
void StopAwareWait(EvtmonState& st, double seconds) {
  for (double waited = 0; waited < seconds && !st.stop; waited += kWaitStep) {
    (void)QdSleep(kWaitStep < seconds - waited ? kWaitStep : seconds - waited);
    if (CheckForSignal(SIGTERM, true)) st.stop = true;
  }
}

// True when a read of `sock` would not wait.
bool Readable(int sock) {
  pollfd pfd{sock, POLLIN | POLLPRI, 0};
  return poll(&pfd, 1, 0) == 1;
}

}  // namespace

int EmFilterPort() {
  const char* text = std::getenv("QD_EMFILTER_PORT");
  if (text && *text) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end == '\0' && v >= 1 && v <= 65535) return static_cast<int>(v);
  }
  return kEmFilterPort;
}

int host_to_addr(const char* name, in_addr* out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return 0;
  *out = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
  freeaddrinfo(res);
  return 1;
}

int connect_to_addr(EvtmonState& st, const sockaddr_in* addr, int* sock) {
  int s = socket(AF_INET, SOCK_STREAM, 6);
  if (s < 0) {
    std::string err = std::string(std::strerror(errno)).substr(0, 200);
    LogSpe(st, 40, 'A', err);
    Interactive(st, "Error opening socket, " + err + "\n");
    return CONN_SOCKET_FAILED;
  }
  // Non-blocking only for the connect, so an unreachable host has a limit.
  int flags = fcntl(s, F_GETFL, 0);
  fcntl(s, F_SETFL, flags | O_NONBLOCK);
  int rc = connect(s, reinterpret_cast<const sockaddr*>(addr), sizeof *addr);
  int err = rc == 0 ? 0 : errno;
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd pfd{s, POLLOUT, 0};
    int n;
    do {
      n = poll(&pfd, 1, static_cast<int>(QdScaledMillis(kConnectPause)));
    } while (n < 0 && errno == EINTR && !CheckForSignal(SIGTERM, false));
    if (n == 1) {
      socklen_t len = sizeof err;
      getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
    } else {
      err = n == 0 ? ETIMEDOUT : errno;
    }
  }
  if (err != 0) {
    std::string text = std::string(std::strerror(err)).substr(0, 200);
    LogSpe(st, 41, 'A', text);
    Interactive(st, "Error connecting to socket, " + text + "\n");
    close(s);
    return CONN_CONNECT_FAILED;
  }
  fcntl(s, F_SETFL, flags);
  *sock = s;
  return 0;
}

int connect_as_client(EvtmonState& st) {
  signal(SIGPIPE, SIG_IGN);
  const std::string& host = st.ipaddr;
  sockaddr_in addr{};
  if (!host_to_addr(host.c_str(), &addr.sin_addr)) {
    std::fprintf(stderr, "unknown host: \"%s\"\n", host.c_str());
    Interactive(st, "Error in gethostbyname(), unknown host " + host + "\n");
    LogSpe(st, 49, 'A', host);
    LogSpe(st, 42, 'A', host);
    return CONN_UNKNOWN_HOST;
  }
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(EmFilterPort()));
  int sock = -1;
  int rc = -1;
  for (int left = 3; left >= 1 && rc != 0 && !st.stop; --left) {
    rc = connect_to_addr(st, &addr, &sock);
    if (rc == 0) break;
    Logme(st, "Failed to connect to cluster " + host + ". Attempts left: " + std::to_string(left));
    StopAwareWait(st, kConnectPause);
  }
  if (rc != 0) {
    LogSpe(st, 43, 'A', host);
    Interactive(st, "Error connecting to hostname " + host + "\n");
    return rc;
  }
  const size_t len = std::strlen(kSubscription);
  ssize_t n = write(sock, kSubscription, len);
  if (n < static_cast<ssize_t>(len)) {
    LogSpe(st, 44, 'A', host);
    Interactive(st, "Error writing to host " + host + "\n");
    close(sock);
    return CONN_WRITE_FAILED;
  }
  return sock;
}

bool AwaitStream(EvtmonState& st, int sock) {
  for (double waited = 0; waited < kPollTimeout && !st.stop; waited += kWaitStep) {
    WriteHeartbeat(st);
    pollfd pfd{sock, POLLIN | POLLPRI, 0};
    int n = poll(&pfd, 1, static_cast<int>(QdScaledMillis(kWaitStep)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // get_events reports the failure
    if (CheckForSignal(SIGTERM, true)) st.stop = true;
  }
  if (!st.stop) LogSpe(st, 67, 'A', kPollTimeout);
  return false;
}

int get_events(EvtmonState& st, int sock, EventParser& parser) {
  LogSpe(st, 16, 'A', st.last_event_time);
  init_buf(parser);
  int loops = 0;
  int failures = 0;
  static char block[kReadBlock + 1];
  std::string err;
  (void)StartupDumpFetch(st);
  while (!st.stop) {
    ++loops;
    // Collections and dump fetches that ended, and the requests they held.
    CollectorTick(st, false);
    // Events already read wait for what the socket holds right now, so one
    // batch takes them all (up to kBatchEvents); nothing waits longer.
    if (!st.pending.empty() && (st.pending.size() >= kBatchEvents || !Readable(sock))) {
      FlushEvents(st);
    }
    pollfd pfd{sock, POLLIN | POLLPRI, 0};
    int n = poll(&pfd, 1, static_cast<int>(QdScaledMillis(kPollTimeout)));
    int code = 0;
    if (n < 0 && errno == EINTR) {
      // A signal cut the wait short: not a failure of the socket.
      if (CheckForSignal(SIGTERM, true)) st.stop = true;
      --loops;
      continue;
    }
    if (n == 0) {
      ++failures;
      LogSpe(st, 45, 'A');
      Interactive(st, "In get_events(), Timeout on socket\n");
      code = STREAM_TIMEOUT;
    } else if (n < 0) {
      ++failures;
      LogSpe(st, 46, 'A', std::strerror(errno));
      Interactive(st, std::string("In get_events(), Socket poll() failed, Errno msg = ") +
                          std::strerror(errno) + " \n");
      code = STREAM_POLL_FAILED;
    } else if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      ++failures;
      LogSpe(st, 47, 'A', static_cast<int>(pfd.revents));
      Interactive(st, "In get_events(), Socket poll() failed, revents= " +
                          std::to_string(pfd.revents) + "\n");
      code = STREAM_SOCKET_ERROR;
    }
    if (code != 0) {
      FlushEvents(st);
      StopAwareWait(st, kErrorWait);
      if (st.stop) break;
      if (failures >= 2) return code;
      continue;
    }
    ssize_t got = read(sock, block, kReadBlock);
    if (got < 0) {
      if (errno == EINTR) continue;
      FlushEvents(st);
      LogSpe(st, 48, 'A', std::strerror(errno));
      Interactive(st, std::string("In get_events(), Error from read(), ") + std::strerror(errno) + "\n");
      return STREAM_READ_ERROR;
    }
    if (got == 0) {
      FlushEvents(st);
      Logme(st, "Socket closed by em_filter!!!!");
      StopAwareWait(st, kClosedWait);
      if (st.stop) break;
      return STREAM_CLOSED;
    }
    block[got] = '\0';
    process_buf(parser, block, static_cast<long>(got), err);
    if (!err.empty()) {
      LogSpe(st, 60, 'A', err.substr(0, 100));
      std::string header = "EVTMON process has detected an error processing the XML buffer:\n\t" +
                           err + "\n\nThe following is the buffer contents received from the cluster:\n\n";
      if (st.diagcnt <= 9) {
        (void)processDiagFile(st, header, block, static_cast<long>(got));
        ++st.diagcnt;
      }
    }
    WriteHeartbeat(st);
    failures = 0;
    if (CheckForSignal(SIGTERM, true)) st.stop = true;
  }
  Logme(st, "get_events() stopping due to operator request");
  return STREAM_STOPPED;
}

StreamFailureText DescribeFailure(bool connect, int rc, const std::string& host) {
  const std::string r = std::to_string(rc);
  if (connect) {
    const char* abstract = "evtmon connect_as_client failed to connect to Velmar.";
    const std::string head = "The evtmon to Velmar connection process can not start properly. ";
    switch (rc) {
      case CONN_UNKNOWN_HOST:
        return {"hostname", abstract, head + "Error in gethostbyname(), unknown host " + host + ". The return code = " + r};
      case CONN_SOCKET_FAILED:
        return {"sockopen", abstract, head + "Error opening socket. The return code = " + r};
      case CONN_CONNECT_FAILED:
        return {"sockconn", abstract, head + "Error connecting to socket. The return code = " + r};
      default:
        return {"sockwrit", abstract, head + "Error writing to host " + host + ". The return code = " + r};
    }
  }
  const char* abstract = "evtmon get_events failed to collect events.";
  const std::string head = "The evtmon get_events function failed to retrieve events. ";
  const std::string tail = ", Communication to Velmar has stopped.";
  switch (rc) {
    case STREAM_TIMEOUT: return {"evttimeo", abstract, head + "Timeout on socket. The return code = " + r + tail};
    case STREAM_POLL_FAILED:
    case STREAM_SOCKET_ERROR: return {"evtpollf", abstract, head + "Socket poll failed. The return code = " + r + tail};
    case STREAM_READ_ERROR: return {"evtreadf", abstract, head + "Error reading socket. The return code = " + r + tail};
    default: return {"emfilter", abstract, head + "Socket closed by em_filter. The return code = " + r + tail};
  }
}
