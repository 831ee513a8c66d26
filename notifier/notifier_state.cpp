// Small shared helpers of the notifier's blocks (notifier_state.h).
#include "notifier_state.h"

#include <cstdio>

std::string NotifierMsgId(const NotifierState& st, int number) {
  char id[16];
  std::snprintf(id, sizeof id, "%.3s%.4d", st.prefix, number);
  return id;
}

void NotifierLogRecipient(NotifierState& st, const NotifyData& nd, char level,
                          const std::string& text) {
  std::string id = NotifierMsgId(st, 33);
  if (st.log && st.log->Insert(id, level, nd.NOTID, nd.USERID, nd.URGENCY, nd.SHIFT, text)) return;
  Log2cerr("Error attempting to issue message " + id + " " + (st.log ? st.log->szErrorMsg : ""),
           st.settings.program_name.c_str(), false);
}
