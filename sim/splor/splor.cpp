// splor stand-in: the SP's command that the collector runs, without
// arguments, after every notification it sends.
//
// Every call appends one JSON line {"argv": [...], "time": N, "pid": N} to
// $QD_ROOT/var/log/qd/sim/splor.calls. $QD_ROOT/etc/qd/sim/splor.conf may
// hold "exit = N" for the exit status (default 0). No shell is used.
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

#include "alerts.h"
#include "atomic_file.h"
#include "qd_path.h"

int main(int argc, char** argv) {
  std::string line = "{\"argv\": [";
  for (int i = 0; i < argc; ++i) line += std::string(i ? ", " : "") + "\"" + QdJsonEscape(argv[i]) + "\"";
  line += "], \"time\": " + std::to_string(time(nullptr)) + ", \"pid\": " + std::to_string(getpid()) + "}\n";
  std::string err, conf;
  (void)QdAppendWhole(QdPath("/var/log/qd/sim/splor.calls"), line, err);
  if (QdReadFile(QdPath("/etc/qd/sim/splor.conf"), conf, err) != 0) return 0;
  size_t at = conf.find("exit");
  if (at == std::string::npos || (at = conf.find('=', at)) == std::string::npos) return 0;
  return std::atoi(conf.c_str() + at + 1);
}
