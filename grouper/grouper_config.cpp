#include "grouper_config.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "grouper_loop.h"
#include "grouper_state.h"

namespace {

int SleepOption(DaemonState& st, int option, const char* arg) {
  GrouperState* g = static_cast<GrouperState*>(st.app);
  if (option != 's' || !g) return -1;
  long value = std::strtol(arg ? arg : "", nullptr, 10);
  g->sleep_interval = value < 1 ? kGrouperSleepBelowOne : value;
  return 0;
}

// The grouper's summary: database, process, sleep interval, system level
// and version (the framework's lines about messages, inactivity and retries
// do not apply to it).
void Summary(DaemonState& st, std::vector<std::string>& lines) {
  const GrouperState* g = static_cast<const GrouperState*>(st.app);
  char sleep[64];
  std::snprintf(sleep, sizeof sleep, "Sleep interval=%ld (sec)",
                g ? g->sleep_interval : kGrouperSleepDefault);
  std::vector<std::string> kept;
  for (const std::string& line : lines) {
    if (line.rfind("DB node ", 0) == 0 || line.rfind("Process name ", 0) == 0) {
      kept.push_back(line);
    } else if (line.rfind("System level=", 0) == 0) {
      kept.push_back(sleep);
      kept.push_back(line);
    } else if (line.rfind("Module version=", 0) == 0) {
      kept.push_back(line);
    }
  }
  lines.swap(kept);
}

}  // namespace

DaemonConfig GrouperConfig() {
  DaemonConfig config;
  config.module_name = "qdGrpNot";
  config.process_name = "QDGN";
  config.message_name = nullptr;
  config.option_string = "do:i:p:s:";
  config.extra_option = SleepOption;
  config.summary = Summary;
  config.loop = GrouperLoop;
  config.connections = {"conn3", "conn2", "conn1"};
  config.reads_running_on_sp = false;
  config.resolve_processes = {"QDNOT", "QDDB"};
  return config;
}
