#include "standin.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "alerts.h"
#include "atomic_file.h"
#include "qd_path.h"

void StandinRecord(const char* program, const std::vector<std::string>& argv, const std::string& more) {
  std::string line = "{\"argv\": [";
  for (size_t i = 0; i < argv.size(); ++i) line += std::string(i ? ", " : "") + "\"" + QdJsonEscape(argv[i]) + "\"";
  line += "], \"time\": " + std::to_string(time(nullptr)) + ", \"pid\": " + std::to_string(getpid()) + more + "}\n";
  std::string err;
  (void)QdAppendWhole(QdPath(std::string("/var/log/qd/sim/") + program + ".calls"), line, err);
}

std::string StandinConf(const char* program, const std::string& key) {
  std::string text, err;
  if (QdReadFile(QdPath(std::string("/etc/qd/sim/") + program + ".conf"), text, err) != 0) return "";
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    k.erase(k.find_last_not_of(" \t") + 1);
    v.erase(0, v.find_first_not_of(" \t"));
    if (k == key) return v;
  }
  return "";
}

int StandinCalls(const char* program) {
  std::string text, err;
  if (QdReadFile(QdPath(std::string("/var/log/qd/sim/") + program + ".calls"), text, err) != 0) return 0;
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

std::string StandinNth(const std::string& list, int n) {
  std::istringstream in(list);
  std::string item, last;
  for (int i = 1; std::getline(in, item, ','); ++i) {
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    last = item;
    if (i == n) return item;
  }
  return last;
}

void StandinDelay(const char* program) {
  std::string delay = StandinConf(program, "delay");
  if (!delay.empty()) usleep(static_cast<useconds_t>(std::atof(delay.c_str()) * 1e6));
}
