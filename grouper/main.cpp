// qdGrpNot: the grouper. Wakes every sleep interval and turns the parked
// low-urgency notifications of each due serial into summary requests
// ("GNR", work message "NIQ") for the notifier.
#include "daemon.h"
#include "grouper_config.h"
#include "grouper_state.h"

int main(int argc, char** argv) {
  static const DaemonConfig config = GrouperConfig();
  static GrouperState grouper;
  static DaemonState state;
  state.app = &grouper;
  return DaemonMain(config, state, argc, argv);
}
