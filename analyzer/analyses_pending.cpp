// Stand-in for the event analysis until it is built: it says so in the
// log and refuses the request.
#include <string>

#include "analyses.h"
#include "daemon_log.h"

namespace {

int NotBuilt(DaemonState& st, int type) {
  DaemonLogOwn(st, "9999", '2', "analysis of type " + std::to_string(type) + " not built yet");
  return kStepRefuse;
}

}  // namespace

int AnalZarvekVelmarEvent(DaemonState& st, const QDTxn*) { return NotBuilt(st, 100); }
