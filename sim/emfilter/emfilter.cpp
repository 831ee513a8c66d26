// emfilter: a simulated array event filter on the loopback address.
//
//   emfilter [--port N] [--port-file FILE] [--script FILE|-] [--journal FILE] [--seed N]
//
// Listens on 127.0.0.1 (port 5781 unless --port; 0 picks a free port, which
// is written to --port-file and printed as "port N"). Then it runs the
// script (one command a line, '#' starts a comment; "-" reads commands from
// standard input as they come, so a test or the demo can drive it live, and
// heartbeats go on as set while no command has come). Without a script it
// accepts one collector and replays nothing: it sends heartbeats until the
// collector goes away.
//
// Commands:
//   accept              wait for the collector, read and check its
//                       subscription text ("heartbeat=10\nstyle=sp\nstart\n");
//                       a wrong text is reported and the connection closed
//   refuse              close the listening socket: connections are refused
//   drop                accept a connection and close it at once
//   split N             send blocks of N bytes (1 = one byte a block)
//   split random [MAX]  blocks of random size 1..MAX (default 8000)
//   split at A,B,...    cut the next document at these offsets
//   split off           each document in one write
//   together on|off     documents of one replay in one stream of blocks
//                       (back to back) instead of one after another
//   replay FILE...      one EventList document per file; a file is an event
//                       file (the XML behind "XML FORMAT:", without the
//                       elements the collector adds) or plain Event XML
//   flood N FILE...     N documents of one event each, taken from the files in
//                       turn, each with a sequence number of its own, sent
//                       back to back (for the benchmark)
//   raise TYPE SEV [TEXT...]
//                       raises an alert event of that type and severity at
//                       node 0 with the next sequence number and the time now
//   pace RATE N TYPE SEV [TEXT...]
//                       raises N such events at RATE a second by the wall
//                       clock (not scaled), each sent as it is raised; when
//                       the collector goes away it keeps raising, takes the
//                       next collector that connects and sends it the events
//                       raised meanwhile (those already written to the lost
//                       connection are the collector's to fetch again)
//   raw TEXT            sends TEXT ("\n" read as a line feed) as it stands
//   oversize N          sends a document of N bytes
//   malformed           sends a document whose end tag does not match
//   heartbeat on|off    heartbeats every 10 s (scaled by QD_TIME_SCALE) while waiting
//   wait S              waits S seconds (scaled), heartbeats as set
//   silence S           waits S seconds (scaled) sending nothing
//   reaccept on|off     before each command, a collector waiting to connect
//                       is accepted in place of the current one (a restarted
//                       collector gets every later event)
//   close               closes the connection
//   hold                waits until the collector closes the connection
//   exit                ends the simulator
// After the script: as "hold", then exit.
//
// Every raised or replayed event is journaled as one line
// "NODE-SEQ TIME TYPE RAISED" in --journal (default
// $QD_ROOT/var/log/qd/sim/emfilter.journal), RAISED being the moment of the
// raise in seconds with microseconds (for latency measurements), and its
// whole Event element, followed by a line feed, in the same file name with
// ".xml" appended: the array's own event log, from which the collection
// program's stand-in answers a catch-up.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <iostream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#include "atomic_file.h"
#include "qd_path.h"
#include "time_scale.h"

namespace {

const char* const kSubscription = "heartbeat=10\nstyle=sp\nstart\n";
const char* const kHeartbeat = "<Heartbeat/>\n";

struct Sim {
  int listener = -1;
  int conn = -1;
  std::string journal;
  std::mt19937 rng{1};
  enum { WHOLE, FIXED, RANDOM } split = WHOLE;
  size_t block = 8000;
  std::vector<size_t> cuts;  // for the next document only
  bool together = false;
  bool heartbeats = true;
  bool reaccept = false;
  int seq = 1000;
};

void Say(const std::string& text) {
  std::fprintf(stderr, "emfilter: %s\n", text.c_str());
}

int Listen(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 4) != 0) {
    Say(std::string("cannot listen: ") + std::strerror(errno));
    exit(1);
  }
  return s;
}

int BoundPort(int s) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

bool WriteAll(Sim& sim, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = send(sim.conn, data, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Say("collector went away");
      close(sim.conn);
      sim.conn = -1;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// Sends `text` cut as the split setting says; each block is one write,
// with a short pause so the collector reads it as a block of its own.
void SendBlocks(Sim& sim, const std::string& text) {
  if (sim.conn < 0) return;
  std::vector<size_t> ends;
  if (!sim.cuts.empty()) {
    for (size_t c : sim.cuts) if (c > 0 && c < text.size()) ends.push_back(c);
    sim.cuts.clear();
  } else if (sim.split == Sim::FIXED) {
    for (size_t at = sim.block; at < text.size(); at += sim.block) ends.push_back(at);
  } else if (sim.split == Sim::RANDOM) {
    for (size_t at = 0;;) {
      at += 1 + sim.rng() % sim.block;
      if (at >= text.size()) break;
      ends.push_back(at);
    }
  }
  ends.push_back(text.size());
  size_t at = 0;
  for (size_t end : ends) {
    if (end <= at) continue;
    if (!WriteAll(sim, text.data() + at, end - at)) return;
    at = end;
    if (ends.size() > 1) usleep(200);
  }
}

void Journal(Sim& sim, const std::string& event) {
  auto field = [&](const char* tag) {
    std::string open = std::string("<") + tag + ">", close = std::string("</") + tag + ">";
    size_t a = event.find(open), b = event.find(close);
    return a == std::string::npos || b == std::string::npos ? std::string("?")
                                                            : event.substr(a + open.size(), b - a - open.size());
  };
  timeval now{};
  gettimeofday(&now, nullptr);
  char raised[32];
  std::snprintf(raised, sizeof raised, "%ld.%06ld", static_cast<long>(now.tv_sec),
                static_cast<long>(now.tv_usec));
  std::string err;
  (void)QdAppendWhole(sim.journal, field("Node") + "-" + field("Seq") + " " + field("Time") + " " +
                                       field("Type") + " " + raised + "\n", err);
  (void)QdAppendWhole(sim.journal + ".xml", event + "\n", err);
}

std::string EventOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  std::string text = s.str();
  size_t marker = text.find("XML FORMAT:\n");
  if (marker == std::string::npos) return text;
  size_t at = marker + 12;
  size_t serial = text.find("  <Serial>", at);
  if (serial == std::string::npos) serial = text.find("</Event>", at);
  return text.substr(at, serial - at) + "</Event>";
}

std::string Document(const std::string& events) { return "<EventList>\n" + events + "\n</EventList>\n"; }

void Wait(Sim& sim, double seconds, bool beats) {
  const double step = 10;
  for (double waited = 0; waited < seconds;) {
    double part = seconds - waited < step ? seconds - waited : step;
    (void)QdSleep(part);
    waited += part;
    if (beats && sim.heartbeats && sim.conn >= 0 && waited < seconds + 1e-9 && part == step) {
      WriteAll(sim, kHeartbeat, std::strlen(kHeartbeat));
    }
  }
}

void Accept(Sim& sim) {
  if (sim.conn >= 0) close(sim.conn);
  sim.conn = accept(sim.listener, nullptr, nullptr);
  if (sim.conn < 0) {
    Say(std::string("accept failed: ") + std::strerror(errno));
    return;
  }
  std::string got;
  const size_t want = std::strlen(kSubscription);
  char buf[64];
  while (got.size() < want) {
    pollfd pfd{sim.conn, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(QdScaledMillis(30))) <= 0) break;
    ssize_t n = read(sim.conn, buf, std::min(sizeof buf, want - got.size()));
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  if (got != kSubscription) {
    Say("wrong subscription text, closing");
    close(sim.conn);
    sim.conn = -1;
    return;
  }
  Say("collector subscribed");
}

void Hold(Sim& sim) {
  // With reaccept on, a restarted collector is served too, until the end.
  while (sim.conn >= 0 || (sim.reaccept && sim.listener >= 0)) {
    pollfd pfd[2] = {{sim.conn, POLLIN, 0}, {sim.reaccept ? sim.listener : -1, POLLIN, 0}};
    int n = poll(pfd, 2, static_cast<int>(QdScaledMillis(10)));
    if (n == 0) {
      if (sim.heartbeats && sim.conn >= 0) WriteAll(sim, kHeartbeat, std::strlen(kHeartbeat));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 && (pfd[1].revents & POLLIN)) {
      Accept(sim);
      continue;
    }
    char buf[256];
    if (n < 0 || read(sim.conn, buf, sizeof buf) <= 0) {
      close(sim.conn);
      sim.conn = -1;
    }
  }
}

// The next command of a live script (standard input) into `line`. While
// none has come the connection is kept as "hold" keeps it: heartbeats as
// set, a collector that goes away is let go, and with reaccept on a
// restarted one is served. `pending` carries what was read past the last
// line. False at the end of the input.
bool NextLiveLine(Sim& sim, std::string& pending, std::string& line) {
  for (;;) {
    size_t end = pending.find('\n');
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 1);
      return true;
    }
    pollfd pfd[3] = {{STDIN_FILENO, POLLIN, 0}, {sim.conn, POLLIN, 0},
                     {sim.reaccept ? sim.listener : -1, POLLIN, 0}};
    int n = poll(pfd, 3, static_cast<int>(QdScaledMillis(10)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      if (sim.heartbeats && sim.conn >= 0) WriteAll(sim, kHeartbeat, std::strlen(kHeartbeat));
      continue;
    }
    if (pfd[2].revents & POLLIN) {
      Accept(sim);
      continue;
    }
    char buf[4096];
    if (pfd[1].revents != 0 && sim.conn >= 0 && read(sim.conn, buf, sizeof buf) <= 0) {
      close(sim.conn);
      sim.conn = -1;
    }
    if (pfd[0].revents == 0) continue;
    ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (pending.empty()) return false;
      line.swap(pending);
      pending.clear();
      return true;
    }
    pending.append(buf, static_cast<size_t>(got));
  }
}

// An alert event at node 0 with the next sequence number and the time now.
std::string AlertEvent(Sim& sim, const std::string& type, const std::string& sev,
                       const std::string& text) {
  return "<Event>\n  <Node>0</Node>\n  <Seq>" + std::to_string(++sim.seq) + "</Seq>\n  <Sev>" + sev +
         "</Sev>\n  <Time>" + std::to_string(time(nullptr)) + "</Time>\n  <Type>" + type +
         "</Type>\n  <Class>evt_class_alert</Class>\n  <EventString>" + text +
         "</EventString>\n</Event>";
}

// The collector never writes after its subscription: a readable connection
// is a closed one. Noticing that before a write keeps events from going
// into a connection nobody reads any more.
void DropClosedCollector(Sim& sim) {
  if (sim.conn < 0) return;
  pollfd pfd{sim.conn, POLLIN, 0};
  if (poll(&pfd, 1, 0) > 0) {
    char buf[256];
    if (read(sim.conn, buf, sizeof buf) <= 0) {
      Say("collector went away");
      close(sim.conn);
      sim.conn = -1;
    }
  }
}

// Waits up to `millis` for a collector to connect and takes it; 0 looks
// without waiting.
void TakeCollector(Sim& sim, int millis) {
  if (sim.listener < 0) return;
  pollfd pfd{sim.listener, POLLIN, 0};
  if (poll(&pfd, 1, millis) > 0) Accept(sim);
}

// Sends the held documents in order for as long as a collector takes them.
void SendHeld(Sim& sim, std::deque<std::string>& held) {
  DropClosedCollector(sim);
  while (!held.empty() && sim.conn >= 0) {
    SendBlocks(sim, held.front());
    if (sim.conn < 0) break;
    held.pop_front();
  }
}

void Pace(Sim& sim, double rate, long n, const std::string& type, const std::string& sev,
          const std::string& text) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  std::deque<std::string> held;
  for (long i = 0; i < n; ++i) {
    const Clock::time_point due =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(i / rate));
    for (Clock::time_point now = Clock::now(); now < due; now = Clock::now()) {
      const long left = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
      if (sim.conn < 0) TakeCollector(sim, static_cast<int>(left));
      else poll(nullptr, 0, static_cast<int>(left));
    }
    if (sim.conn < 0) TakeCollector(sim, 0);
    std::string event = AlertEvent(sim, type, sev, text);
    Journal(sim, event);
    held.push_back(Document(event));
    SendHeld(sim, held);
  }
  while (!held.empty() && sim.listener >= 0) {
    if (sim.conn < 0) TakeCollector(sim, -1);
    SendHeld(sim, held);
  }
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Runs one command; false ends the script.
bool Run(Sim& sim, const std::string& line) {
  std::istringstream in(line);
  std::string cmd;
  in >> cmd;
  if (cmd.empty() || cmd[0] == '#') return true;
  if (sim.reaccept && sim.listener >= 0) {
    pollfd pending{sim.listener, POLLIN, 0};
    if (poll(&pending, 1, 0) > 0) Accept(sim);
  }
  std::string arg;
  std::vector<std::string> args;
  while (in >> arg) args.push_back(arg);
  auto first = [&]() { return args.empty() ? std::string() : args[0]; };
  if (cmd == "accept") {
    Accept(sim);
  } else if (cmd == "refuse") {
    close(sim.listener);
    sim.listener = -1;
  } else if (cmd == "drop") {
    int c = accept(sim.listener, nullptr, nullptr);
    if (c >= 0) close(c);
  } else if (cmd == "split") {
    if (first() == "random") {
      sim.split = Sim::RANDOM;
      sim.block = args.size() > 1 ? std::stoul(args[1]) : 8000;
    } else if (first() == "at") {
      sim.cuts.clear();
      std::stringstream list(args.size() > 1 ? args[1] : "");
      std::string n;
      while (std::getline(list, n, ',')) sim.cuts.push_back(std::stoul(n));
    } else if (first() == "off") {
      sim.split = Sim::WHOLE;
    } else {
      sim.split = Sim::FIXED;
      sim.block = std::max<size_t>(1, std::stoul(first()));
    }
  } else if (cmd == "together") {
    sim.together = first() == "on";
  } else if (cmd == "replay") {
    std::string all;
    for (const auto& file : args) {
      std::string event = EventOfFile(file);
      Journal(sim, event);
      if (sim.together) all += Document(event);
      else SendBlocks(sim, Document(event));
    }
    if (sim.together) SendBlocks(sim, all);
  } else if (cmd == "flood") {
    long n = std::atol(first().c_str());
    std::vector<std::string> events;
    for (size_t i = 1; i < args.size(); ++i) events.push_back(EventOfFile(args[i]));
    std::string all;
    for (long i = 0; i < n && !events.empty(); ++i) {
      std::string event = events[static_cast<size_t>(i) % events.size()];
      size_t a = event.find("<Seq>"), b = event.find("</Seq>");
      if (a != std::string::npos && b != std::string::npos) {
        event.replace(a + 5, b - a - 5, std::to_string(++sim.seq));
      }
      all += Document(event);
      if (all.size() > (1u << 20)) {
        SendBlocks(sim, all);
        all.clear();
      }
    }
    SendBlocks(sim, all);
  } else if (cmd == "raise") {
    std::string type = args.size() > 0 ? args[0] : "evt_notify";
    std::string sev = args.size() > 1 ? args[1] : "2";
    std::string text;
    for (size_t i = 2; i < args.size(); ++i) text += (i > 2 ? " " : "") + args[i];
    std::string event = AlertEvent(sim, type, sev, text);
    Journal(sim, event);
    SendBlocks(sim, Document(event));
  } else if (cmd == "pace") {
    std::string text;
    for (size_t i = 4; i < args.size(); ++i) text += (i > 4 ? " " : "") + args[i];
    if (args.size() < 4 || std::atof(args[0].c_str()) <= 0) Say("pace needs RATE N TYPE SEV");
    else Pace(sim, std::atof(args[0].c_str()), std::atol(args[1].c_str()), args[2], args[3], text);
  } else if (cmd == "raw") {
    SendBlocks(sim, Unescape(line.substr(line.find("raw") + 4)));
  } else if (cmd == "oversize") {
    size_t n = std::stoul(first());
    std::string doc = "<EventList><Event><EventString>" + std::string(n, 'x') +
                      "</EventString></Event></EventList>\n";
    SendBlocks(sim, doc);
  } else if (cmd == "malformed") {
    SendBlocks(sim, "<EventList><Event><Node>1</Nodx></Event></EventList>\n");
  } else if (cmd == "heartbeat") {
    sim.heartbeats = first() != "off";
  } else if (cmd == "wait") {
    Wait(sim, std::atof(first().c_str()), true);
  } else if (cmd == "silence") {
    Wait(sim, std::atof(first().c_str()), false);
  } else if (cmd == "reaccept") {
    sim.reaccept = first() == "on";
  } else if (cmd == "close") {
    if (sim.conn >= 0) close(sim.conn);
    sim.conn = -1;
  } else if (cmd == "hold") {
    Hold(sim);
  } else if (cmd == "exit") {
    return false;
  } else {
    Say("unknown command: " + cmd);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  Sim sim;
  int port = 5781;
  std::string port_file, script;
  sim.journal = QdPath("/var/log/qd/sim/emfilter.journal");
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i], val = argv[i + 1];
    if (opt == "--port") port = std::atoi(val.c_str());
    else if (opt == "--port-file") port_file = val;
    else if (opt == "--script") script = val;
    else if (opt == "--journal") sim.journal = val;
    else if (opt == "--seed") sim.rng.seed(static_cast<unsigned>(std::atoi(val.c_str())));
  }
  sim.listener = Listen(port);
  const int bound = BoundPort(sim.listener);
  std::printf("port %d\n", bound);
  std::fflush(stdout);
  if (!port_file.empty()) {
    std::string err;
    (void)QdReplaceFile(port_file, std::to_string(bound) + "\n", err);
  }
  if (script.empty()) {
    Run(sim, "accept");
    Hold(sim);
    return 0;
  }
  std::string line;
  bool go = true;
  if (script == "-") {
    std::string pending;
    while (go && NextLiveLine(sim, pending, line)) go = Run(sim, line);
  } else {
    std::ifstream file(script);
    if (!file) {
      Say("cannot read script " + script);
      return 1;
    }
    while (go && std::getline(file, line)) go = Run(sim, line);
  }
  if (go) Hold(sim);
  if (sim.conn >= 0) close(sim.conn);
  return 0;
}
