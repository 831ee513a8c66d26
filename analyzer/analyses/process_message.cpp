#include "process_message.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "analyses.h"
#include "analyzer_state.h"
#include "daemon_log.h"
#include "daemon_sql.h"
#include "hex_id.h"
#include "local_time.h"
#include "file_lookup.h"
#include "qd_txn.h"
#include "request_attempts.h"
#include "sql_error.h"
#include "txn_fields.h"
#include "txn_log.h"

namespace {

// Type numbers above this carry a maker's other products; the analysis is
// chosen by the rest.
constexpr int kTypeFamilyOffset = 100000;
constexpr int kTypeEvent = 100;
constexpr int kTypeConfig = 101;

// Copies the text field `in` of `insize` bytes (NUL-terminated or not)
// into `out`, cut to what fits.
void CopyField(char* out, size_t outsize, const char* in, size_t insize) {
  size_t n = 0;
  while (n < insize && n + 1 < outsize && in[n] != '\0') {
    out[n] = in[n];
    ++n;
  }
  out[n] = '\0';
}

template <size_t N, size_t M>
void CopyField(char (&out)[N], const char (&in)[M]) {
  CopyField(out, N, in, M);
}

void CopyCode(char (&out)[2], char code) {
  out[0] = code;
  out[1] = '\0';
}

// A value of the request that statements take: bytes that are not UTF-8
// become '?', as the transaction log stored them. The database would refuse
// the statement for them, and the same request would fail the same way on
// every retry. (The stored file's name is left as sent: it names a file.)
void CleanKey(char* text) { (void)TxnScrubUtf8(text); }

// A failed file lookup: refused when the database turned down the
// request's own values (they would fail it again on every retry), else
// retried (after the reconnection when the connection was lost).
int LookupFailed(DaemonState& st, const char* action) {
  bool data = DaemonSqlDataException() != 0;
  bool lost = DaemonSqlError(st, action);
  return data && !lost ? kStepRefuse : kStepRetry;
}

// Whether the received data can hold the record it claims to be.
bool LongEnough(const DaemonState& st) {
  long length = st.envelope.nDepDataLength;
  if (length >= static_cast<long>(sizeof(qd_Transaction_Format_2))) return true;
  // A stop record is shorter than a request and complete at its own size.
  return length >= static_cast<long>(sizeof(qd_Transaction_Format_255)) &&
         static_cast<uint8_t>(st.buffer[0]) == QD_TXN_FMT_STOP;
}

// Current file from the catalogue row of FDB_Objid. A processing result,
// or 0 to go on.
int FileFromCatalogue(DaemonState& st, const qd_Transaction_Format_2& far,
                      const std::string& msgid) {
  CurrentFile& cur = Analyzer(st).file;
  CopyField(cur.Cobjid, far.FDB_Objid);
  CleanKey(cur.Cobjid);
  QdSqlClear();
  int rc = FdbSelectByObjid(cur.Cobjid, &cur);
  if (rc < 0) return LookupFailed(st, "FDB_Objid select");
  if (rc != 0) {
    DaemonLogOwn(st, "0021", 'A', msgid, cur.Cobjid);
    return kStepRefuse;
  }
  return 0;
}

// Current file from the request's own fields and the type number of its
// file name. A processing result, or 0 to go on.
int FileFromRequest(DaemonState& st, const qd_Transaction_Format_2& far) {
  CurrentFile& cur = Analyzer(st).file;
  cur.Cobjid[0] = '\0';
  const MachineIdentifier& from = far.hdr.prod.vendor[0] ? far.hdr.prod : far.hdr.sp;
  CopyField(cur.Cvendor, from.vendor);
  CopyField(cur.Cproduct, from.prod);
  CopyField(cur.Cprod_id, from.id);
  // The date and time of the stamp, after its format letter.
  CopyField(cur.Cfile_date, sizeof cur.Cfile_date, &far.FileTime.fmt + 1, 19);
  CopyField(cur.Cfile_seq, far.FileSeq);
  CopyField(cur.Cprod_filename, far.FileType);
  for (char* c = cur.Cprod_filename; *c; ++c) {
    *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  }
  CopyField(cur.Cstore_filename, far.FileName);
  CopyCode(cur.Cencription, far.hdr.encription);
  CopyCode(cur.Ccompression, far.hdr.compression);
  CopyCode(cur.Cchar_set, far.hdr.char_set);
  CopyCode(cur.Chw_architecture, far.hdr.hw_architecture);
  for (char* key : {cur.Cvendor, cur.Cproduct, cur.Cprod_id, cur.Cfile_date, cur.Cfile_seq,
                    cur.Cprod_filename}) {
    CleanKey(key);
  }
  QdSqlClear();
  int rc = FdbSelectFileType(cur.Cvendor, cur.Cproduct, cur.Cprod_filename, &cur.Cfile_type);
  if (rc < 0) return LookupFailed(st, "file_type select");
  if (rc != 0) {
    std::string keys = std::string(cur.Cvendor) + "/" + cur.Cproduct + "/" + cur.Cprod_filename;
    DaemonLog(st, "QDZ0047", '2', "vendor/prod/file_name", keys);
    return kStepRefuse;
  }
  return 0;
}

void SetRunDate(AnalyzerState& an) {
  std::string now = LocalTimeText(time(nullptr), "%Y/%m/%d %H:%M:%S");
  std::snprintf(an.Orun_date, sizeof an.Orun_date, "%s", now.c_str());
}

int Dispatch(DaemonState& st, const QDTxn* txn, const std::string& msgid) {
  AnalyzerState& an = Analyzer(st);
  CurrentFile& cur = an.file;
  // Every lookup of the analysis (tags, patterns, severity, event row,
  // texts, parts, history) is by the reduced type; only the catalogue
  // keeps the file's own.
  an.catalogue_file_type = cur.Cfile_type;
  if (cur.Cfile_type > kTypeFamilyOffset) cur.Cfile_type -= kTypeFamilyOffset;
  int type = cur.Cfile_type;
  switch (type) {
    case kTypeEvent: return AnalZarvekVelmarEvent(st, txn);
    case kTypeConfig: return AnalZarvekVelmarConfig(st, txn);
    default:
      DaemonLogOwn(st, "0022", 'A', msgid, type, cur.Cvendor, cur.Cproduct, cur.Cprod_filename);
      return kStepRefuse;
  }
}

}  // namespace

int process_message(DaemonState& st, bool) {
  AnalyzerState& an = Analyzer(st);
  std::string msgid = HexId(st.envelope.nMessageID);
  DaemonLogOwn(st, "0011", 'A', msgid, "Received");
  st.txn_stored = false;
  an.Suppress_notify = false;
  an.notclass = 0;
  an.attempts = RequestAttempts();

  if (!LongEnough(st)) {
    DaemonLog(st, "QDZ0040", '2', "FAR");
    return kStepRefuse;
  }
  const QDTxn* txn = reinterpret_cast<const QDTxn*>(st.buffer);
  int rc = qdLogTxn(txn, st.txn_objid, st.log.get());
  if (rc != kTxnLogged) return rc;
  st.txn_stored = true;

  if (txn->fmt == QD_TXN_FMT_STOP) {
    st.stop_requested = true;
    return kStepDone;
  }
  if (txn->fmt != QD_TXN_FMT_FDB_REQUEST) {
    DaemonLog(st, "QDZ0041", '2', "transaction format", static_cast<int>(txn->fmt));
    return kStepRefuse;
  }
  const qd_Transaction_Format_2& far = txn->f2;
  char kind[sizeof far.hdr.TxnId + 1];
  CopyField(kind, far.hdr.TxnId);
  if (std::strcmp(kind, "FAR") != 0) {
    DaemonLog(st, "QDZ0042", '2', "transaction", kind);
    return kStepRefuse;
  }

  // A request delivered again after its analyzer died: what the earlier
  // attempt committed is not done twice.
  if ((rc = FindEarlierAttempts(st, far)) != 0) return rc;
  if (an.attempts.done_before) {
    DaemonLogOwn(st, "0044", 'A', msgid);
    return kStepDone;
  }

  rc = far.FDB_Objid[0] ? FileFromCatalogue(st, far, msgid) : FileFromRequest(st, far);
  if (rc != 0) return rc;

  const CurrentFile& cur = an.file;
  DaemonLogOwn(st, "0030", 'A', msgid, cur.Cvendor, cur.Cproduct, cur.Cprod_id,
               cur.Cprod_filename, cur.Cfile_date, cur.Cfile_seq, cur.Cstore_filename);
  SetRunDate(an);
  an.Canal_filename[0] = '\0';
  an.Canal_filename_ind = -1;
  return Dispatch(st, txn, msgid);
}
