#pragma once
// The connection to the array's event filter and the read loop over it.
//
// Connecting: the host is resolved, up to three connection attempts are
// made 30 s apart (scaled by QD_TIME_SCALE), each with a time limit, and
// the 28-byte subscription text is written. Reading: each block goes to the
// stream reader; a parse error is logged and its block kept in a diagnostic
// file (at most 10 per worker); every successful read is a heartbeat.
#include <netinet/in.h>

#include "event_parser.h"
#include "evtmon_state.h"

// The subscription text (no terminating NUL is sent).
extern const char* const kSubscription;
// Largest block read at once.
constexpr int kReadBlock = 8000;
// Most kept events filed as one batch.
constexpr size_t kBatchEvents = 64;

// Results of connect_as_client (a socket >= 0 on success).
enum ConnectResult : int {
  CONN_UNKNOWN_HOST = -1,
  CONN_SOCKET_FAILED = -2,
  CONN_CONNECT_FAILED = -3,
  CONN_WRITE_FAILED = -4,
};

// Results of get_events.
enum StreamResult : int {
  STREAM_STOPPED = 0,      // SIGTERM
  STREAM_TIMEOUT = -1,     // two poll time-outs in a row
  STREAM_POLL_FAILED = -2, // two poll failures in a row
  STREAM_SOCKET_ERROR = -3,// two error conditions in a row
  STREAM_READ_ERROR = -4,  // a read failed
  STREAM_CLOSED = -5,      // the event filter closed the connection
};

// The port of the event filter: QD_EMFILTER_PORT when it holds 1..65535,
// else 5781.
int EmFilterPort();

// Resolves `name` into `out`: 1, or 0 when it does not resolve.
int host_to_addr(const char* name, in_addr* out);

// Connects, each attempt limited to 30 s (scaled). 0 with the socket in
// *sock; -2 no socket (SPE0040); -3 connect failed or timed out (SPE0041).
int connect_to_addr(EvtmonState& st, const sockaddr_in* addr, int* sock);

// Resolves, connects and subscribes; a socket or a ConnectResult, each
// failure logged (SPE0049/0042, SPE0043, SPE0044). SIGPIPE is ignored so a
// peer that closes first gives -4 rather than a silent death.
int connect_as_client(EvtmonState& st);

// Waits until the array serves this connection: its first data (an event
// or a heartbeat) can be read, or the connection ended. Until then the
// array may still be writing events into a predecessor's connection that
// nobody will read (a worker whose supervisor was killed, stopping), and a
// catch-up fetched now would miss them; once this connection is served,
// every event the array raised before is in its log. True when served;
// false after 30 s (scaled; SPE0067 logged) or on SIGTERM. Reads nothing;
// heartbeats to the supervisor while it waits.
bool AwaitStream(EvtmonState& st, int sock);

// The read loop on `sock` until SIGTERM or a StreamResult failure. Events
// found are processed by `parser`'s callback; the kept ones are filed
// (FlushEvents) once the socket holds no more data, before any wait, and
// at the latest every kBatchEvents. The caller files what is left when
// this returns.
int get_events(EvtmonState& st, int sock, EventParser& parser);

// The notification texts of a failed connect (`connect` true) or stream
// result: error word, abstract and text.
struct StreamFailureText {
  const char* word;
  const char* abstract;
  std::string text;
};
StreamFailureText DescribeFailure(bool connect, int rc, const std::string& host);
