// qdNotify: the notifier daemon. Takes notification requests ("NIQ" to
// "QDNOT"), decides who is told and tells them.
#include "daemon.h"
#include "notifier_config.h"

int main(int argc, char** argv) {
  static const DaemonConfig config = NotifierDaemonConfig();
  static NotifierDaemon notifier;
  static DaemonState state;
  state.app = &notifier;
  int rc = DaemonMain(config, state, argc, argv);
  NotifierCloseTrace(notifier);
  return rc;
}
