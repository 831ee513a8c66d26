// Stand-in of the SP's file transfer process ("SPFT"):
//
//   spft serve     registers as "SPFT" with input "TOQ" and takes transfer
//                  requests until SIGTERM or SIGINT
//
// Each request taken is deleted and recorded as one JSON line in
// $QD_ROOT/var/log/qd/sim/spft.calls:
//   {"argv": [...], "time": N, "pid": N, "type": "P", "filetype": "...",
//    "fileseq": "...", "filename": "...", "timestamp": N, "serial": "..."}
// A message whose data is not a 1032-byte request is recorded with
// "filetype": "?" and deleted too. Exit codes: 0 stopped, 1 the service
// failed, 2 usage.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "alerts.h"
#include "ftp_request.h"
#include "standin.h"
#include "work_messages.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnStop(int) { g_stop = 1; }

template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "serve") != 0) {
    std::fprintf(stderr, "usage: spft serve\n");
    return 2;
  }
  std::signal(SIGTERM, OnStop);
  std::signal(SIGINT, OnStop);
  const std::vector<std::string> args(argv, argv + argc);
  CWorkMessages wm(true);
  int self = wm.GetUID("SPFT");
  if (self < 1 || wm.SetInput(self, "TOQ", nullptr, false) != 0) {
    std::fprintf(stderr, "spft: cannot register as SPFT: %s\n", wm.szErrorMsg);
    return 1;
  }
  std::printf("spft: serving\n");
  std::fflush(stdout);
  while (!g_stop) {
    FTPrequest req;
    std::memset(&req, 0, sizeof req);
    Message_Queue_ env{};
    env.nDepDataLength = sizeof req;
    env.pDepData = &req;
    int rc = wm.Receive(self, 1, &env, false);
    if (rc == WM_NOTHING) continue;
    if (rc != 0) {
      std::fprintf(stderr, "spft: receive failed (%d): %s\n", rc, wm.szErrorMsg);
      if (rc == WM_IMPOSSIBLE) return 1;
      continue;
    }
    std::string more;
    if (env.nDepDataLength == static_cast<int32_t>(sizeof req)) {
      more = ", \"type\": \"" + QdJsonEscape(std::string(1, req.Type)) + "\", \"filetype\": \"" +
             QdJsonEscape(Text(req.FileType)) + "\", \"fileseq\": \"" + QdJsonEscape(Text(req.FileSeq)) +
             "\", \"filename\": \"" + QdJsonEscape(Text(req.FileName)) + "\", \"timestamp\": " +
             std::to_string(req.TimeStamp) + ", \"serial\": \"" + QdJsonEscape(Text(req.ProdSerNo)) + "\"";
    } else {
      more = ", \"filetype\": \"?\"";
    }
    StandinRecord("spft", args, more);
    (void)wm.Delete(self, env.nMessageID);
  }
  (void)wm.UnsetInput(self, "ALLQ", 0);
  return 0;
}
