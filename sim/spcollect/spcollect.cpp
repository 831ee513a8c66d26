// spcollect stand-in: the array collection program as the collector's
// worker runs it at start-up.
//
//   spcollect -O special SYSID IPADDR LEVEL none "CLI_COMMAND SYSID IPADDR LEVEL"
//
// Every call appends one JSON line {"argv": [...], "time": N, "pid": N} to
// $QD_ROOT/var/log/qd/sim/spcollect.calls. What it does comes from
// $QD_ROOT/etc/qd/sim/spcollect.conf when that exists ("key = value" lines):
//   exit = N     exit status instead of the ordinary behaviour (nothing written)
//   delay = S    seconds to sleep first
// Without it, by command:
//   cli_get_event_files  copies eventtypes, eventclasses and eventcomps into
//                        /sp/prod/code/vqx-LEVEL/data
//   cli_get_model        writes /sp/prod/data/files/SYSID/model
//   cli_get_past_events  (a fifth word: the start time) writes
//                        /sp/prod/data/files/SYSID/past_events, one EventList
//                        of the array's events at or after that time, taken
//                        from the simulator's event log
//                        /var/log/qd/sim/emfilter.SYSID.journal.xml, else
//                        /var/log/qd/sim/emfilter.journal.xml (none: an
//                        empty list)
//   anything else        does nothing
// and exits 0.
//
// The filter rules' collections (see FilterCollection below):
//   spcollect -O special SYSID IPADDR LEVEL TEMP "CLI_COMMAND SYSID IPADDR LEVEL TEMP ARGS..."
//     appends the command's output to the event file
//     /sp/prod/data/files/SYSID/event/TEMP, as the real collections attach
//     it: the control file's "output" text ("\n" for a line feed) when
//     given, else the recorded output of the command from the outputs folder
//     ($QD_SIM_OUTPUTS, else the source tree's sim/outputs: cli_showcage
//     showcage_-d.txt, cli_showbat showbattery.txt, cli_get_lesb
//     showportlesb.txt), else a banner line naming the command. Exit 1 when
//     the event file is missing.
//   spcollect -O KIND SYSID IPADDR LEVEL TEMP
//     (a file collection of one kind) does nothing.
// The start-up files come from $QD_SIM_SPCOLLECT_DATA, else the source
// tree's sim/spcollect/data. A system id or level that could leave its
// directory is refused (exit 2). No shell is used.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "alerts.h"
#include "atomic_file.h"
#include "qd_path.h"
#include "standin.h"

#ifndef QD_SIM_OUTPUTS_DEFAULT
#define QD_SIM_OUTPUTS_DEFAULT "sim/outputs"
#endif

#ifndef QD_SIM_SPCOLLECT_DATA_DEFAULT
#define QD_SIM_SPCOLLECT_DATA_DEFAULT "sim/spcollect/data"
#endif

namespace {

void RecordCall(int argc, char** argv) {
  StandinRecord("spcollect", std::vector<std::string>(argv, argv + argc));
}

std::string ConfValue(const std::string& key) { return StandinConf("spcollect", key); }

int CopyData(const std::string& name, const std::string& to) {
  const char* dir = std::getenv("QD_SIM_SPCOLLECT_DATA");
  std::string from = std::string(dir && *dir ? dir : QD_SIM_SPCOLLECT_DATA_DEFAULT) + "/" + name;
  std::string text, err;
  if (QdReadFile(from, text, err) != 0) {
    std::fprintf(stderr, "spcollect: cannot read %s\n", from.c_str());
    return 1;
  }
  std::string path = QdPath(to);
  QdMakeDirs(path.substr(0, path.rfind('/')), 0777);
  if (QdReplaceFile(path, text, err, 0664) != 0) {
    std::fprintf(stderr, "spcollect: %s\n", err.c_str());
    return 1;
  }
  return 0;
}

// The Event elements of the simulator's event log whose time is at or
// after `from`, in the order the array raised them.
std::string PastEvents(const std::string& sysid, long from) {
  std::string log, err;
  if (QdReadFile(QdPath("/var/log/qd/sim/emfilter." + sysid + ".journal.xml"), log, err) != 0) {
    (void)QdReadFile(QdPath("/var/log/qd/sim/emfilter.journal.xml"), log, err);
  }
  std::string events;
  const std::string open = "<Event>", close = "</Event>";
  for (size_t at = log.find(open); at != std::string::npos; at = log.find(open, at)) {
    size_t end = log.find(close, at);
    if (end == std::string::npos) break;
    end += close.size();
    const std::string event = log.substr(at, end - at);
    size_t t = event.find("<Time>");
    if (t != std::string::npos && std::atol(event.c_str() + t + 6) >= from) events += event + "\n";
    at = end;
  }
  return "<EventList>\n" + events + "</EventList>\n";
}

int WritePastEvents(const std::string& sysid, long from) {
  std::string path = QdPath("/sp/prod/data/files/" + sysid + "/past_events"), err;
  QdMakeDirs(path.substr(0, path.rfind('/')), 0777);
  if (QdReplaceFile(path, PastEvents(sysid, from), err, 0664) != 0) {
    std::fprintf(stderr, "spcollect: %s\n", err.c_str());
    return 1;
  }
  return 0;
}

// The filter rules' collections: the output goes to the end of the event file.
int FilterCollection(const std::string& sysid, const std::string& temp, const std::string& command) {
  if (temp == "none") return 0;
  if (!QdSafePathWord(temp, "+")) {  // a collection id: an event file name
    std::fprintf(stderr, "spcollect: refused collection id\n");
    return 2;
  }
  const std::string path = QdPath("/sp/prod/data/files/" + sysid + "/event/" + temp);
  if (access(path.c_str(), W_OK) != 0) {
    std::fprintf(stderr, "spcollect: no event file %s\n", path.c_str());
    return 1;
  }
  std::string out = ConfValue("output");
  for (size_t at = out.find("\\n"); at != std::string::npos; at = out.find("\\n", at + 1)) out.replace(at, 2, "\n");
  if (out.empty()) {
    const char* recorded = command == "cli_showcage" ? "showcage_-d.txt"
                           : command == "cli_showbat" ? "showbattery.txt"
                           : command == "cli_get_lesb" ? "showportlesb.txt" : nullptr;
    const char* dir = std::getenv("QD_SIM_OUTPUTS");
    std::string err;
    if (recorded) (void)QdReadFile(std::string(dir && *dir ? dir : QD_SIM_OUTPUTS_DEFAULT) + "/" + recorded, out, err);
    if (out.empty()) out = "---------- " + command + " ----------\n";
  }
  std::string err;
  if (QdAppendWhole(path, out, err) != 0) {
    std::fprintf(stderr, "spcollect: %s\n", err.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  RecordCall(argc, argv);
  std::string delay = ConfValue("delay");
  if (!delay.empty()) usleep(static_cast<useconds_t>(std::atof(delay.c_str()) * 1e6));
  std::string code = ConfValue("exit");
  if (!code.empty()) return std::atoi(code.c_str());
  if (argc == 7 && std::string(argv[2]) != "special") return 0;
  if (argc < 8) {
    std::fprintf(stderr, "spcollect: usage: spcollect -O special SYSID IPADDR LEVEL none COMMAND\n");
    return 2;
  }
  const std::string sysid = argv[3], level = argv[5];
  std::istringstream words(argv[7]);
  std::string command;
  words >> command;
  if (!QdSafePathWord(sysid) || !QdSafePathWord(level)) {
    std::fprintf(stderr, "spcollect: refused system id or level\n");
    return 2;
  }
  if (command == "cli_get_event_files") {
    int rc = 0;
    for (const char* f : {"eventtypes", "eventclasses", "eventcomps"}) {
      rc |= CopyData(f, "/sp/prod/code/vqx-" + level + "/data/" + f);
    }
    return rc;
  }
  if (command == "cli_get_model") return CopyData("model", "/sp/prod/data/files/" + sysid + "/model");
  if (command == "cli_get_past_events") {
    std::string ignored, from;
    words >> ignored >> ignored >> ignored >> from;
    return WritePastEvents(sysid, std::atol(from.c_str()));
  }
  return FilterCollection(sysid, argv[6], command);
}
