// Stand-in of the communications controller ("SPCM"): answers the
// notifier's signal registrations and changes the transfer state.
//
//   commctl serve        registers as "SPCM" with input "CCQ" and answers
//                        requests until SIGTERM or SIGINT
//   commctl bys VALUE    sets COMM_BYS (dictionary, level Global) to VALUE and
//                        sends every registered signal to its process
//
// Requests: "AddSignal" stores an entry (entry id, process, signal) in
// /var/lib/qd/sim/commctl.entries and answers "Done" with the entry id;
// "DeleteSignal" removes the entry and answers "Done". Any other request is
// answered with result code 12 and "unsupported request <n>".
//
// Steering, from /etc/qd/sim/commctl.conf when it exists ("key = value"
// lines, read for every request):
//   answer = normal | error | none
//     normal  as above (the default)
//     error   result code 12 with the text of key `text`
//             (default "simulated controller error")
//     none    the request is taken and never answered
// Every request is appended to /var/log/qd/sim/commctl.calls as one JSON
// line: {"argv": [...], "time": ..., "pid": ..., "request": ..., "entry": ...}.
// Paths are below QD_ROOT. Exit codes: 0 done, 1 a service failed, 2 usage.
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "cc_request.h"
#include "gdda.h"
#include "qd_path.h"
#include "work_messages.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnStop(int) { g_stop = 1; }

constexpr const char* kEntries = "/var/lib/qd/sim/commctl.entries";
constexpr const char* kConf = "/etc/qd/sim/commctl.conf";
constexpr const char* kCalls = "/var/log/qd/sim/commctl.calls";

struct Entry {
  long id, pid, signal;
};

std::vector<Entry> ReadEntries() {
  std::vector<Entry> out;
  std::ifstream in(QdPath(kEntries));
  Entry e;
  while (in >> e.id >> e.pid >> e.signal) out.push_back(e);
  return out;
}

bool WriteEntries(const std::vector<Entry>& entries) {
  std::ostringstream text;
  for (const Entry& e : entries) text << e.id << ' ' << e.pid << ' ' << e.signal << '\n';
  (void)QdMakeDirs(QdPath("/var/lib/qd/sim"));
  std::string err;
  return QdReplaceFile(QdPath(kEntries), text.str(), err) == 0;
}

std::map<std::string, std::string> ReadConf() {
  std::map<std::string, std::string> conf;
  std::ifstream in(QdPath(kConf));
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    auto trim = [](std::string s) {
      size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t\r");
      return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    };
    conf[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return conf;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      out += ' ';
      continue;
    }
    out += c;
  }
  return out + "\"";
}

void LogCall(int argc, char** argv, const std::string& request, long entry) {
  std::string line = "{\"argv\": [";
  for (int i = 0; i < argc; ++i) line += (i ? ", " : "") + Json(argv[i]);
  line += "], \"time\": " + std::to_string(time(nullptr)) +
          ", \"pid\": " + std::to_string(getpid()) + ", \"request\": " + Json(request) +
          ", \"entry\": " + std::to_string(entry) + "}\n";
  std::string err;
  (void)QdAppendWhole(QdPath(kCalls), line, err);
}

// Fills the response part of `rec` for its request; false when no answer
// is to be sent.
bool Answer(CcRecord& rec, long& entry_out) {
  std::map<std::string, std::string> conf = ReadConf();
  std::string answer = conf.count("answer") ? conf["answer"] : "normal";
  if (answer == "none") return false;
  std::memset(rec.bytes + kCcDataOffset, 0, kCcDataSize);
  auto text_answer = [&rec](const std::string& text) {
    CcPut32(rec, kCcResultOffset, ccsCString);
    std::snprintf(reinterpret_cast<char*>(rec.bytes + kCcDataOffset), kCcDataSize, "%s",
                  text.c_str());
  };
  if (answer == "error") {
    text_answer(conf.count("text") ? conf["text"] : "simulated controller error");
    return true;
  }
  long request = CcGet32(rec, kCcRequestOffset);
  std::vector<Entry> entries = ReadEntries();
  if (request == ccrAddSignal) {
    long id = 1;
    for (const Entry& e : entries) id = std::max(id, e.id + 1);
    entries.push_back({id, CcGet32(rec, kCcPidOffset), CcGet32(rec, kCcSignalOffset)});
    WriteEntries(entries);
    CcPut32(rec, kCcResultOffset, ccsDone);
    CcPut32(rec, kCcDataOffset, id);
    entry_out = id;
  } else if (request == ccrDeleteSignal) {
    long id = CcGet32(rec, kCcArg1Offset);
    std::vector<Entry> kept;
    for (const Entry& e : entries) {
      if (e.id != id) kept.push_back(e);
    }
    WriteEntries(kept);
    CcPut32(rec, kCcResultOffset, ccsDone);
    entry_out = id;
  } else {
    text_answer("unsupported request " + std::to_string(request));
  }
  return true;
}

int Serve(int argc, char** argv) {
  std::signal(SIGTERM, OnStop);
  std::signal(SIGINT, OnStop);
  CWorkMessages wm(true);
  int self = wm.GetUID("SPCM");
  if (self < 1 || wm.SetInput(self, "CCQ", nullptr, false) != 0) {
    std::fprintf(stderr, "commctl: cannot register as SPCM: %s\n", wm.szErrorMsg);
    return 1;
  }
  std::printf("commctl: serving\n");
  std::fflush(stdout);
  while (!g_stop) {
    CcRecord rec{};
    Message_Queue_ env{};
    env.nDepDataLength = kCcRecordSize;
    env.pDepData = reinterpret_cast<char*>(rec.bytes);
    int rc = wm.Receive(self, 1, &env, false);
    if (rc == WM_NOTHING) continue;
    if (rc != 0) {
      std::fprintf(stderr, "commctl: receive failed (%d): %s\n", rc, wm.szErrorMsg);
      if (rc == WM_IMPOSSIBLE) return 1;
      continue;
    }
    int sender = env.nSenderUID;
    (void)wm.Delete(self, env.nMessageID);
    long entry = -1;
    bool answer = Answer(rec, entry);
    LogCall(argc, argv, CcRequestName(CcGet32(rec, kCcRequestOffset)), entry);
    if (!answer) continue;
    Message_Queue_ out{};
    out.nTargetUID = sender;
    out.nDepDataLength = kCcRecordSize;
    out.pDepData = reinterpret_cast<char*>(rec.bytes);
    rc = wm.Send(self, "CCR", &out, false);
    if (rc != 0 && rc != WM_QUEUED) {
      std::fprintf(stderr, "commctl: answer not sent (%d): %s\n", rc, wm.szErrorMsg);
    }
  }
  (void)wm.UnsetInput(self, "ALLQ", 0);
  return 0;
}

int SetBys(const char* value) {
  CGDDA dict;
  if (dict.CreateError != 0 || !dict.SetValue("COMM_BYS", value, GDDA_GLOBAL)) {
    std::fprintf(stderr, "commctl: COMM_BYS not set: %s\n", dict.szErrorMsg);
    return 1;
  }
  for (const Entry& e : ReadEntries()) {
    if (e.pid > 0 && kill(static_cast<pid_t>(e.pid), static_cast<int>(e.signal)) != 0) {
      std::fprintf(stderr, "commctl: process %ld not signalled: %s\n", e.pid,
                   std::strerror(errno));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "serve") == 0) return Serve(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "bys") == 0) return SetBys(argv[2]);
  std::fprintf(stderr, "usage: commctl serve | commctl bys VALUE\n");
  return 2;
}
