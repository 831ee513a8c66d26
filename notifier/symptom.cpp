// Symptom matching and suppression (symptom.h).
#include "symptom.h"

#include <regex.h>

#include "group_bom.h"
#include "sql_error.h"
#include "symptom_sql.h"

int SymptomMatch(const char* pattern, const char* text) {
  if (!pattern || !text) return 0;
  regex_t re;
  if (regcomp(&re, pattern, REG_EXTENDED | REG_NOSUB) != 0) return 0;
  int match = regexec(&re, text, 0, nullptr, 0) == 0 ? 1 : 0;
  regfree(&re);
  return match;
}

int SuppressSymptom(NotifierState& st, const char* abstract) {
  QdGroupList groups;
  std::string msg;
  if (qdGrpBOM(st.scope.product_id, st.scope.site_id, groups.ptrs, msg) == kBomError) {
    if (st.log) st.log->Insert(NotifierMsgId(st, 9999), '2', msg);
    st.reconnect = true;
    return 1;
  }
  QdGroupParams params;
  QdGroupParamsFill(params, groups.ptrs);
  const char kModule[] = "SuppressSymptom";
  if (SsSqlOpen(st.recipient.resource_id, st.scope.product_id, st.scope.site_id,
                st.scope.product_group, params) != 0) {
    QdLogSqlError(st.log, "ss cursor open", '2', kModule);
    SsSqlRollback();
    st.reconnect = true;
    return 0;
  }
  int result = 0;
  char symptom[kSsSymptomSize];
  for (;;) {
    int code = SsSqlFetch(symptom);
    if (code == 100) break;
    if (code != 0) {
      QdLogSqlError(st.log, "fetch from ss", '2', kModule);
      st.reconnect = true;
      break;
    }
    if (SymptomMatch(symptom, abstract ? abstract : "")) {
      result = 1;
      break;
    }
  }
  if (SsSqlClose() != 0) {
    QdLogSqlError(st.log, "ss cursor close", '2', kModule);
    st.reconnect = true;
  }
  if (SsSqlCommit() != 0) {
    QdLogSqlError(st.log, "commit after ss close", '2', kModule);
    SsSqlRollback();
    st.reconnect = true;
  }
  return result;
}
