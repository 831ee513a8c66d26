#include "request_attempts.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

#include "analyzer_state.h"
#include "attempt_sql.h"
#include "daemon_db.h"
#include "daemon_log.h"
#include "daemon_sql.h"
#include "sql_error.h"
#include "txn_check.h"

namespace {

// The request's fields as the transaction log stored them. The record was
// logged already, so the checks find nothing to report.
void LoggedText(const qd_Transaction_Format_2& far, TxnHeaderText& hdr, TxnFdbText& fdb) {
  hdr = TxnHeaderText();
  fdb = TxnFdbText();
  (void)TxnCheckHeader(far.hdr, hdr, nullptr);
  (void)TxnCheckFormat2(far, fdb, nullptr);
}

// 64-bit FNV-1a over `text` and a separator, continued from `hash`.
uint64_t Digest(uint64_t hash, const char* text) {
  for (const char* c = text;; ++c) {
    hash ^= static_cast<unsigned char>(*c);
    hash *= 1099511628211ULL;
    if (*c == '\0') return hash;
  }
}

}  // namespace

std::string RequestSendKey(const qd_Transaction_Format_2& far) {
  TxnHeaderText hdr;
  TxnFdbText fdb;
  LoggedText(far, hdr, fdb);
  uint64_t hash = 14695981039346656037ULL;
  for (const char* part : {hdr.AssocId, hdr.TxnTime, fdb.FDB_Objid, fdb.FileType, fdb.FileSeq,
                           fdb.FileName}) {
    hash = Digest(hash, part);
  }
  char key[32];
  std::snprintf(key, sizeof key, "QDAN-FAR-%016llX", static_cast<unsigned long long>(hash));
  return key;
}

int FindEarlierAttempts(DaemonState& st, const qd_Transaction_Format_2& far) {
  RequestAttempts& at = Analyzer(st).attempts;
  at = RequestAttempts();
  TxnHeaderText hdr;
  TxnFdbText fdb;
  LoggedText(far, hdr, fdb);
  std::string inproc;
  long done = 0;
  QdSqlClear();
  if (SelectEarlierAttempts(hdr, fdb, st.txn_objid, inproc, done) < 0) {
    DaemonSqlError(st, "earlier attempts select");
    return kStepRetry;
  }
  std::istringstream ids(inproc);
  for (std::string id; ids >> id;) at.earlier.push_back(id);
  at.done_before = done > 0;
  at.send_key = RequestSendKey(far);
  return 0;
}

bool WriteAttemptStatus(DaemonState& st, const char* status) {
  std::vector<std::string> rows = Analyzer(st).attempts.earlier;
  rows.insert(rows.begin(), st.txn_objid);
  for (const std::string& objid : rows) {
    QdSqlClear();
    if (DaemonSqlUpdateStatus(status, objid.c_str()) < 0) {
      DaemonSqlError(st, "Update txn status");
      return false;
    }
  }
  return true;
}

void UpdateAttemptStatus(DaemonState& st, int result) {
  RequestAttempts& at = Analyzer(st).attempts;
  if (at.status_written) return;
  if (at.earlier.empty()) {
    DaemonUpdateTxnStatus(st, result);
    return;
  }
  if (st.reconnect) (void)DaemonSqlRollback();
  // The rows of every attempt change together.
  bool began = false;
  QdSqlClear();
  if (DaemonSqlBegin(&began) < 0 && DaemonSqlError(st, "Begin txn update")) return;
  if (!WriteAttemptStatus(st, TxnStatusText(result))) return;
  if (DaemonSqlCommit() < 0) DaemonSqlError(st, "Commit txn update");
}
