// anabench: queues analysis requests for the analyzer benchmark
// (scripts/bench-analyzer), through the work-message service that
// WM_CONNINFO (or the PG* environment) names.
//
//   anabench queue FIRST LAST [SETTING...]
//       sends one "FAR" request to "QDAN" as "AIQ" for each catalogue
//       object id FIRST..LAST (decimal), built from qdtxn's NAME=VALUE
//       SETTINGs and "FDB_Objid=<id>". Prints the number sent.
//
// Exit status: 0 every request sent (or kept for the analyzer), 1 a send
// failed (the reason on standard error), 2 usage error.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "txn_build.h"
#include "txn_layout.h"
#include "work_messages.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: anabench queue FIRST LAST [SETTING...]\n");
  return 2;
}

bool ReadId(const char* text, long& id) {
  char* end = nullptr;
  id = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && id >= 0;
}

int Queue(long first, long last, const std::vector<std::string>& settings) {
  CWorkMessages wm(true);
  long sent = 0;
  for (long id = first; id <= last; ++id) {
    std::vector<std::string> all = settings;
    all.push_back("FDB_Objid=" + std::to_string(id));
    QDTxn txn;
    std::string error;
    if (TxnBuild(2, all, txn, error) != 0) {
      std::fprintf(stderr, "anabench: %s\n", error.c_str());
      return 1;
    }
    int msgid = 0;
    int rc = wm.SendByName("QDDB", "QDAN", "AIQ", &txn, static_cast<long>(TxnFormatSize(2)), msgid);
    if (rc != WM_OK && rc != WM_QUEUED) {
      std::fprintf(stderr, "anabench: request for object id %ld not sent: rc=%d, %s\n", id, rc,
                   wm.szErrorMsg);
      return 1;
    }
    ++sent;
  }
  std::printf("%ld\n", sent);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  long first = 0, last = 0;
  if (argc < 4 || std::string(argv[1]) != "queue" || !ReadId(argv[2], first) ||
      !ReadId(argv[3], last) || last < first) {
    return Usage();
  }
  return Queue(first, last, std::vector<std::string>(argv + 4, argv + argc));
}
