#include "rap_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "alerts.h"
#include "atomic_file.h"
#include "mail_template.h"
#include "process_message.h"
#include "qd_path.h"
#include "rap_history_sql.h"
#include "sql_error.h"
#include "str_format.h"
#include "text_util.h"

namespace {

constexpr const char kModule[] = "WriteRAPHistory";
constexpr size_t kMsgIdMax = 80;

// The history file of one recipient: the name its row records (system
// form), and whether our text is in place under it.
struct HistoryFile {
  std::string name;
  bool placed = false;
};

void SqlFailed(NotifierState& st, const std::string& action) {
  QdLogSqlError(st.log, action.c_str(), '2', kModule);
  st.reconnect = true;
}

void FileFailed(NotifierState& st, const char* what, const std::string& path) {
  if (st.log) st.log->Insert("QDZ0080", '2', what, path);
}

// The mail text of the organisation type VQX, or the plain mail text of
// the modifier when no VQX template is installed (resolved).
std::string HistoryTemplate(const NotifierState& st) {
  const std::string base = st.settings.template_dir + "/mail" + st.scope.modifier;
  std::string vqx = QdPath(base + "VQX.tmplt");
  return access(vqx.c_str(), F_OK) == 0 ? vqx : QdPath(base + ".tmplt");
}

// Expands the template into a temporary file beside `path` and renames it
// into place. False after logging; nothing of ours is left then.
bool WriteWhole(NotifierState& st, const NotifyData& nd, const std::string& path) {
  std::string tmp = path + ".XXXXXX";
  int fd = mkstemp(&tmp[0]);
  FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (!out) {
    if (fd >= 0) {
      close(fd);
      unlink(tmp.c_str());
    }
    FileFailed(st, "opening RAP history file", path);
    return false;
  }
  (void)fchmod(fd, 0644);
  const std::string tmplt = HistoryTemplate(st);
  bool ok = qdTemplate(tmplt.c_str(), nd, out, st.log, st.settings.forwarding) == kTemplateDone;
  ok = fflush(out) == 0 && ok;
  ok = fsync(fd) == 0 && ok;
  ok = fclose(out) == 0 && ok;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    FileFailed(st, "closing RAP history file", path);
    return false;
  }
  (void)QdSyncDirectoryOf(path);
  return true;
}

// The recipient's history file, or the name of the generic one.
HistoryFile WriteFile(NotifierState& st, const NotifyData& nd) {
  HistoryFile file;
  file.name = st.settings.history_dir + "/" + nd.NOTID;
  file.placed = WriteWhole(st, nd, QdPath(file.name));
  if (!file.placed) file.name = st.settings.history_dir + "/GenericBadFile";
  return file;
}

// The catalogue row of the analysed file, "" when none.
std::string FileLink(NotifierState& st, const NotifyData& nd) {
  RapFileRef ref;
  int kind = RapSourceRef(nd.SOURCE, nd, ref);
  if (kind == kRapSourceMismatch && st.log) {
    st.log->Insert("QDZ9999", '2',
                   QdFormat("%s/%s/%s mismatch for '%s'", nd.VENDOR, nd.PRODUCT, nd.SERIAL,
                            nd.SOURCE));
  }
  if (kind != kRapSourceRef) return "";
  char objid[kFdbObjidSize] = {0};
  QdSqlClear();
  int rc = RapSqlFdbObjid(ref.vendor.c_str(), ref.product.c_str(), ref.prod_id.c_str(),
                          ref.file_name.c_str(), ref.date_time.c_str(), ref.seq.c_str(), objid);
  if (rc < 0) {
    QdLogSqlError(st.log,
                  QdFormat("select store_filename for %s/%s/%s file %s, seq %s, dated %s",
                           ref.vendor.c_str(), ref.product.c_str(), ref.prod_id.c_str(),
                           ref.file_name.c_str(), ref.seq.c_str(), ref.date_time.c_str())
                      .c_str(),
                  '2', kModule);
    // Nothing is written yet: a fresh transaction for the rows.
    (void)RapSqlRollback();
  }
  return rc == 0 ? objid : "";
}

// The rows of one recipient, committed together. 0, or 1 after logging
// (the transaction is then still open).
int RecordRows(NotifierState& st, const NotifyData& nd, int flags, const HistoryFile& file) {
  const std::string fdb = FileLink(st, nd);
  std::string msg_id;
  const bool has_msg = RapMessageId(nd.TEXT, msg_id);
  const bool entity = nd.EntityId[0] != '\0';
  const bool hand_over = (flags & kCaseHandOver) && !fdb.empty() && st.recipient.resource_id == -1;
  RapHistoryRow row{0, st.recipient.resource_id, nd.VENDOR, nd.PRODUCT, nd.SERIAL,
                    st.scope.site_id, hand_over ? "Pending" : "New", nd.URGENCY, nd.ABSTRACT,
                    file.name.c_str(), fdb.empty() ? nullptr : fdb.c_str(),
                    st.scope.os_rel[0] ? st.scope.os_rel : "Unknown",
                    has_msg ? msg_id.c_str() : nullptr, entity ? nd.EntityId : nullptr};
  if (hand_over) {
    NotifierLogRecipient(st, nd, '1', "Case management handled by KELP");
    if (UpdateSrStatus(st, nd, "Pending KELP", false) != kSrStatusDone) return 1;
    QdSqlClear();
    if (RapSqlNextObjid(&row.objid) != 0) {
      SqlFailed(st, "select_qd_rap_history_seq");
      return 1;
    }
    const std::string urgency = nd.URGENCY;
    const int priority = urgency == "alert" || urgency == "high" ? 2 : 3;
    if (RapSqlInsertPending(row.objid, fdb.c_str(), nd.EntityId, nd.TEXT, priority) != 0) {
      SqlFailed(st, "insert_external_sr_pending");
      return 1;
    }
  } else {
    QdSqlClear();
    if (RapSqlNextObjid(&row.objid) != 0) {
      SqlFailed(st, "insert qd_rap_history");
      return 1;
    }
  }
  if (RapSqlInsertHistory(row) != 0) {
    SqlFailed(st, "insert qd_rap_history");
    return 1;
  }
  if (!hand_over && entity && !(flags & kCaseNoSuppressRows) &&
      UpdateSrStatus(st, nd, "Pending Obrin", false) != kSrStatusDone) {
    return 1;
  }
  QdSqlClear();
  if (RapSqlCommit() != 0) {
    SqlFailed(st, "commit after qd_rap_history insert");
    return 1;
  }
  return 0;
}

// A failed recipient's file goes unless a committed row (an earlier
// recipient of the same message) names it; when that cannot be read the
// file stays: an orphan file is harmless, a row without its file is not.
void RemoveUnlessNamed(NotifierState& st, const HistoryFile& file) {
  if (!file.placed) return;
  long count = 1;
  QdSqlClear();
  if (RapSqlCountNaming(file.name.c_str(), &count) != 0) {
    QdLogSqlError(st.log, "select qd_rap_history by rap_filename", '2', kModule);
    count = 1;
  }
  (void)RapSqlRollback();
  if (count == 0) unlink(QdPath(file.name).c_str());
}

void Failed(NotifierState& st, const NotifyData& nd, const HistoryFile& file) {
  st.reconnect = true;
  (void)RapSqlRollback();
  std::string text = QdFormat("%s/%s/%s NotifyID=%s\nSee platform log for details.", nd.VENDOR,
                              nd.PRODUCT, nd.SERIAL, nd.NOTID);
  (void)ProcessNotify(st.settings.program_name.c_str(), 'H', "RAP history db error",
                      text.c_str());
  RemoveUnlessNamed(st, file);
  NotifierLogRecipient(st, nd, '2', "insert to RAP history DB failed");
}

// The tokens of a source text split at blanks and commas; eleven at most,
// so that "more than ten" is seen.
std::vector<std::string> SourceTokens(const std::string& source) {
  std::vector<char> text(source.begin(), source.end());
  text.push_back('\0');
  char* tokens[11];
  int n = GetTokens(text.data(), " ,", tokens, 11, true, false);
  return std::vector<std::string>(tokens, tokens + (n > 0 ? n : 0));
}

}  // namespace

int UpdateSrStatus(NotifierState& st, const NotifyData& nd, const char* status, bool commit) {
  const std::string what = status ? status : "";
  QdSqlClear();
  if (SrSqlInsertStatus(!commit, nd.EntityId, what.c_str()) != 0) {
    SqlFailed(st, "insert entity_event_sr_requests " + what);
    if (commit) (void)SrSqlRollback();
    return kSrStatusFailed;
  }
  if (commit && SrSqlCommit() != 0) {
    SqlFailed(st, "commit after entity_event_sr_requests insert " + what);
    (void)SrSqlRollback();
    return kSrStatusFailed;
  }
  return kSrStatusDone;
}

int WriteRAPHistory(NotifierState& st, const NotifyData& nd, int case_flags) {
  if (!st.settings.history_capture) return kDeliverySent;
  if (nd.EntityId[0] != '\0' && !(case_flags & (kCaseStatusRows | kCaseHandOver))) {
    NotifierLogRecipient(st, nd, '1', "insert to RAP history DB suppressed by KELP");
    return kDeliverySent;
  }
  HistoryFile file = WriteFile(st, nd);
  if (!file.placed || RecordRows(st, nd, case_flags, file) != 0) {
    Failed(st, nd, file);
    return kDeliveryFailed;
  }
  NotifierLogRecipient(st, nd, '1', "insert to RAP history DB succeeded");
  return kDeliverySent;
}

int RapSourceRef(const std::string& source, const NotifyData& nd, RapFileRef& ref) {
  std::vector<std::string> t = SourceTokens(source);
  if (t.size() != 10) return kRapSourceOther;
  if (t[0] != nd.VENDOR || t[1] != nd.PRODUCT || t[2] != nd.SERIAL) return kRapSourceMismatch;
  ref = RapFileRef{t[0], t[1], t[2], t[3], t[6], t[8] + " " + t[9]};
  return kRapSourceRef;
}

bool RapMessageId(const std::string& text, std::string& id) {
  static const std::string kMark = " Msg ID: ";
  size_t at = text.find(kMark);
  if (at == std::string::npos) return false;
  at += kMark.size();
  size_t end = text.find('\n', at);
  id = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  const char* blank = " \t\r\n";
  size_t first = id.find_first_not_of(blank);
  if (first == std::string::npos) return false;
  id = id.substr(first, id.find_last_not_of(blank) - first + 1).substr(0, kMsgIdMax);
  return true;
}

bool RapCaseWantsSuppressedRows(int flags) {
  return (flags & (kCaseStatusRows | kCaseHandOver)) != 0 &&
         (flags & (kCaseNoSuppressRows | kCaseNoRepeatCheck)) == 0;
}
