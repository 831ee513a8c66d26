#include "evtmon_state.h"

#include <ctime>
#include <unistd.h>

void Logme(EvtmonState& st, const std::string& text, char urgency) {
  if (!st.daemon) std::printf("%s\n", text.c_str());
  if (st.log && !st.log->Insert("SPE9999", urgency, text)) {
    Log2cerr(std::string("Error attempting to issue message SPE9999 ") + st.log->szErrorMsg,
             kEvtmonModule, st.daemon);
  }
}

void WriteHeartbeat(EvtmonState& st) {
  if (st.heartbeat_fd < 0) return;
  int32_t now = static_cast<int32_t>(time(nullptr));
  (void)!write(st.heartbeat_fd, &now, sizeof now);
}
