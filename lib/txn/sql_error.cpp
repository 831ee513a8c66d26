#include "sql_error.h"

#include <cstring>

#include <sqlca.h>

std::string QdCutSqlMessage(const char* text, size_t length) {
  if (!text) return "";
  size_t n = strnlen(text, length);
  if (n > kQdSqlMessageMax) n = kQdSqlMessageMax;
  while (n > 0 && std::strchr(" \t\r\n", text[n - 1]) != nullptr) --n;
  return std::string(text, n);
}

long QdSqlCode() { return sqlca.sqlcode; }

std::string QdSqlMessage() {
  size_t length = sqlca.sqlerrm.sqlerrml > 0 ? static_cast<size_t>(sqlca.sqlerrm.sqlerrml) : 0;
  if (length > sizeof sqlca.sqlerrm.sqlerrmc) length = sizeof sqlca.sqlerrm.sqlerrmc;
  return QdCutSqlMessage(sqlca.sqlerrm.sqlerrmc, length);
}

bool QdSqlFailed() { return sqlca.sqlcode < 0; }

void QdSqlClear() {
  sqlca.sqlcode = 0;
  sqlca.sqlerrm.sqlerrml = 0;
  sqlca.sqlerrm.sqlerrmc[0] = '\0';
  std::memset(sqlca.sqlwarn, 0, sizeof sqlca.sqlwarn);
  std::memcpy(sqlca.sqlstate, "00000", sizeof sqlca.sqlstate);
}

bool QdLogSqlError(CLogMessage* log, long code, const char* action, const std::string& message,
                   char urgency, const char* module) {
  if (log && log->Insert("QDZ0100", urgency, code, action ? action : "", message)) return true;
  std::string text = "Error attempting to issue message QDZ0100 ";
  text += log ? log->szErrorMsg : "(no logger)";
  Log2cerr(text, module ? module : "qd", true);
  return false;
}

bool QdLogSqlError(CLogMessage* log, const char* action, char urgency, const char* module) {
  long code = QdSqlCode();
  std::string message = QdSqlMessage();
  return QdLogSqlError(log, code, action, message, urgency, module);
}
