// Stand-ins for the event and configuration analyses until they are
// built: each says so in the log and refuses the request.
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

int AnalZarvekVelmarConfig(DaemonState& st, const QDTxn*) { return NotBuilt(st, 101); }
