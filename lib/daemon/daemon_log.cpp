#include "daemon_log.h"

#include <cstdio>

#include "daemon_sql.h"
#include "sql_error.h"

void DaemonStderr(const DaemonState& st, const std::string& text) {
  Log2cerr(text, st.module_name.c_str(), st.daemon);
}

void DaemonIssueFailed(DaemonState& st, const std::string& id) {
  DaemonStderr(st, "Error attempting to issue message " + id);
  DaemonStderr(st, st.log ? st.log->szErrorMsg : "no logger");
  st.error_this_pass = true;
}

std::string DaemonMsgId(const DaemonState& st, const char* digits) {
  return std::string(st.message_prefix) + digits;
}

bool DaemonSqlError(DaemonState& st, const char* action) {
  long code = QdSqlCode();
  std::string message = QdSqlMessage();
  bool lost = DaemonSqlConnectionLost() != 0;
  if (!QdLogSqlError(st.log.get(), code, action, message, '2', st.module_name.c_str())) {
    st.error_this_pass = true;
  }
  if (lost) {
    st.reconnect = true;
  } else {
    (void)DaemonSqlRollback();
  }
  return lost;
}
