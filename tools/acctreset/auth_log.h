#pragma once
// acctreset's results in the system log: facility authpriv, name
// "acctreset" with the process id, sent as datagrams to the system-log
// socket /dev/log (below QD_ROOT, so a test can listen on a socket of its
// own). Lines read like those of the C library's syslog():
//   "<PRI>Mmm dd hh:mm:ss acctreset[PID]: TEXT"

#include <string>

enum AuthLogLevel {
  AUTHLOG_ERR = 3,
  AUTHLOG_NOTICE = 5,
};

struct AuthLog {
  int fd = -1;
};

// Connects to the system-log socket. A log that cannot be reached is not an
// error of the tool (the C library's syslog() is silent too): the notices
// are then lost, and the next AuthLogSend tries again.
void AuthLogOpen(AuthLog& log);

// Sends `text` at `level` (an AuthLogLevel). Never fails the caller.
void AuthLogSend(AuthLog& log, int level, const std::string& text);

void AuthLogClose(AuthLog& log);

// The system-log socket: /dev/log below QD_ROOT.
std::string AuthLogSocketPath();
