// qdlog: issue a catalogued message into the platform log, or raise an
// operator alert, from a shell script or by hand.
//
//   qdlog msg PROCESS ID URGENCY [ARG...]
//   qdlog alert process|backdoor NAME URGENCY ABSTRACT TEXT
//
// Exit 0 when written, 1 when the logger or the alert failed (the reason on
// standard error), 2 on bad arguments.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "alerts.h"
#include "log_message.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: qdlog msg PROCESS ID URGENCY [ARG...]\n"
          "       qdlog alert process|backdoor NAME URGENCY ABSTRACT TEXT\n");
  return 2;
}

int Message(int argc, char** argv) {
  if (argc < 5 || strlen(argv[4]) != 1) return Usage();
  CLogMessage log(argv[2]);
  if (log.CreateError) {
    fprintf(stderr, "qdlog: cannot create the logger: %s\n", log.szErrorMsg);
    return 1;
  }
  std::vector<std::string> args(argv + 5, argv + argc);
  // The logger takes its arguments as a parameter pack; a script passes a
  // list, so the joined forms cover the counts a catalogue text uses.
  bool ok;
  switch (args.size()) {
    case 0: ok = log.Insert(argv[3], argv[4][0]); break;
    case 1: ok = log.Insert(argv[3], argv[4][0], args[0]); break;
    case 2: ok = log.Insert(argv[3], argv[4][0], args[0], args[1]); break;
    case 3: ok = log.Insert(argv[3], argv[4][0], args[0], args[1], args[2]); break;
    case 4: ok = log.Insert(argv[3], argv[4][0], args[0], args[1], args[2], args[3]); break;
    default: {
      std::string rest = args[4];
      for (size_t i = 5; i < args.size(); ++i) rest += " " + args[i];
      ok = log.Insert(argv[3], argv[4][0], args[0], args[1], args[2], args[3], rest);
    }
  }
  if (!ok) {
    fprintf(stderr, "qdlog: Error attempting to issue message %s: %s\n", argv[3], log.szErrorMsg);
    return 1;
  }
  return 0;
}

int Alert(int argc, char** argv) {
  if (argc != 7 || strlen(argv[4]) != 1) return Usage();
  std::string kind = argv[2];
  int rc;
  if (kind == "process") {
    rc = ProcessNotify(argv[3], argv[4][0], argv[5], argv[6]);
  } else if (kind == "backdoor") {
    rc = BackDoorNotify(argv[3], argv[4][0], argv[5], argv[6], '0');
  } else {
    return Usage();
  }
  if (rc != QD_ALERT_DONE) {
    fprintf(stderr, "qdlog: alert %s\n", rc == QD_ALERT_LOG_FAILED ? "written, but not logged" : "not written");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "msg") return Message(argc, argv);
  if (command == "alert") return Alert(argc, argv);
  return Usage();
}
