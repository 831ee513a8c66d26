// A tiny daemon for the restartable-daemon tests.
//
//   qd_daemon_helper NAME exits CODE[,CODE...]
//       each run appends "run <pid>" to NAME.runs in its working directory
//       (the dump directory) and ends with the code of its run number
//       (the last code repeats);
//   qd_daemon_helper NAME wait
//       the run appends its line, then waits for SIGTERM, noting each
//       SIGHUP as "hup" in NAME.runs, and ends with 100 after "term".
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "restartable_daemon.h"
#include "signals.h"
#include "time_scale.h"

namespace {

int AppendAndCount(const std::string& file, const std::string& line) {
  {
    std::ofstream out(file, std::ios::app);
    out << line << "\n";
  }
  std::ifstream in(file);
  std::string text;
  int runs = 0;
  while (std::getline(in, text)) {
    if (text.rfind("run ", 0) == 0) ++runs;
  }
  return runs;
}

int Exits(const std::string& file, const char* codes) {
  int run = AppendAndCount(file, "run " + std::to_string(getpid()));
  std::vector<int> list;
  std::stringstream in(codes);
  std::string item;
  while (std::getline(in, item, ',')) list.push_back(std::atoi(item.c_str()));
  if (list.empty()) return 2;
  return list[std::min<size_t>(run, list.size()) - 1];
}

int Wait(const std::string& file) {
  AppendAndCount(file, "run " + std::to_string(getpid()));
  for (;;) {
    if (CheckForSignal(SIGHUP, true)) AppendAndCount(file, "hup");
    if (CheckForSignal(SIGTERM, true)) {
      AppendAndCount(file, "term");
      return 100;
    }
    QdSleep(3600);  // a watched signal cuts this short
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qd_daemon_helper NAME exits CODES | NAME wait\n");
    return 2;
  }
  sigset_t set;
  if (!SetupSignals(&set, true, SIGTERM, SIGINT, SIGHUP, -1)) return 3;
  int rc = RestartableDaemon(argv[1], "/usr/local/qd/dump", true);
  if (rc < 0) return 255;
  if (rc == 1) return 0;
  std::string file = std::string(argv[1]) + ".runs";
  if (std::strcmp(argv[2], "exits") == 0 && argc > 3) return Exits(file, argv[3]);
  if (std::strcmp(argv[2], "wait") == 0) return Wait(file);
  return 2;
}
