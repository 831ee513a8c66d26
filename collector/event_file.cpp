#include "event_file.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "alerts.h"
#include "assoc_id.h"
#include "atomic_file.h"
#include "event_names.h"
#include "ftp_request.h"
#include "qd_path.h"
#include "qd_txn.h"
#include "time_stamp.h"
#include "txn_header.h"

namespace {

const DescEntry* FindEntry(const DescTable& table, const char* key) {
  for (const auto& entry : table.entries) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}

std::string MsgIdText(const evtmon_t& e, const EventDefs& defs) {
  char text[64];
  if (e.msgcode != 0) {
    std::snprintf(text, sizeof text, "  Msg ID: %x", static_cast<unsigned>(e.msgcode));
    return text;
  }
  const DescEntry* code = FindEntry(defs.codes, e.type);
  if (!code || !code->has_desc) return "";
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(code->desc.c_str(), &end, 10);
  if (end == code->desc.c_str() || *end != '\0' || errno != 0 || v == 0) return "  Msg ID: N/A";
  std::snprintf(text, sizeof text, "  Msg ID: %lx", v);
  return text;
}

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  std::strncpy(field, text.c_str(), N - 1);
  field[N - 1] = '\0';
}

std::string UidFailure(CWorkMessages& wm, int rc) {
  return rc == WM_UNKNOWN_NAME ? "Unknown process name" : wm.szErrorMsg;
}

}  // namespace

void build_timestamp(char* out, time_t t) {
  struct tm tm;
  localtime_r(&t, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%02d%02d%02d.%02d%02d%02d", tm.tm_year % 100, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::memcpy(out, text, 14);
  out[13] = '\0';
}

std::string build_cli_timestamp(time_t t) {
  if (t == 0) return "0";
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm tm;
  localtime_r(&t, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "'%s %s %02d %02d:%02d:%02d 20%02d'", kDays[tm.tm_wday],
                kMonths[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                (tm.tm_year + 1900 - 2000) % 100);
  return text;
}

std::string BuildEventText(const evtmon_t& e, const std::string& raw, time_t t,
                           const std::string& comp_text, const EventDefs& defs,
                           const std::string& sysid, const std::string& model,
                           const std::string& vqx_level) {
  const bool cust = e.alert_id != 0 || evt_is_custalert(&e);
  const bool svc = e.alert_id != 0 || evt_is_svcalert(&e);
  char alert[40] = "";
  if (e.alert_id != 0) std::snprintf(alert, sizeof alert, "     Alert ID: %d", e.alert_id);
  char when[64];
  ctime_r(&t, when);
  std::string text;
  text.reserve(raw.size() + 1024);
  char head[256];
  std::snprintf(head, sizeof head, "Event id: %ld  Node %d  Cust Alert - %s, Svc Alert - %s   Severity: %s  \n",
                static_cast<long>(e.seq), e.node, cust ? "Yes" : "No", svc ? "Yes" : "No",
                sp_sev_to_desc(e.sev));
  text += head;
  text += "Event time: ";
  text += when;
  text += "Event type: ";
  text += type_to_desc(&defs.types, e.type);
  text += "\t\t\t";
  text += alert;
  text += MsgIdText(e, defs);
  text += "\nComponent: " + comp_text;
  text += "\nShort Dsc: ";
  text += e.short_desc;
  text += " \nEvent String: ";
  text += e.event_string;
  text += "\nXML FORMAT:\n";
  text += raw.substr(0, raw.find("</Event>"));
  text += "  <Serial>" + sysid + "</Serial>\n  <SystemModel>" + model +
          "</SystemModel>\n  <ReleaseLevel>" + vqx_level + "</ReleaseLevel>\n</Event>\n";
  text += "\nVQX level for Velmar " + sysid + " is " + vqx_level + "\n";
  return text;
}

namespace {

// Writes `text` under `tmp` without a flush. 0, or -1 with the reason in `err`
// (nothing left behind).
int WriteUnflushed(const std::string& tmp, const std::string& text, std::string& err) {
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (fd < 0) {
    err = std::string("could not create \"") + tmp + "\": " + std::strerror(errno);
    return -1;
  }
  bool ok = QdWriteAll(fd, text) == 0;
  if (!ok) err = std::string("could not write \"") + tmp + "\": " + std::strerror(errno);
  if (close(fd) != 0 && ok) {
    err = std::string("could not close \"") + tmp + "\": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) unlink(tmp.c_str());
  return ok ? 0 : -1;
}

}  // namespace

int RemoveStaleTempFiles(EvtmonState& st) {
  const std::string dir = QdPath(std::string(kFileBase) + "/" + st.sysid + "/event");
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  int removed = 0;
  const std::string suffix = ".tmp";
  while (dirent* ent = readdir(d)) {
    std::string name = ent->d_name;
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    std::string stem = name.substr(0, name.size() - suffix.size());
    size_t dot = stem.rfind('.');
    if (dot == std::string::npos || stem.find_first_not_of("0123456789", dot + 1) != std::string::npos) continue;
    const pid_t owner = static_cast<pid_t>(std::atol(stem.c_str() + dot + 1));
    if (owner <= 0 || owner == getpid() || kill(owner, 0) == 0 || errno != ESRCH) continue;
    if (unlink((dir + "/" + name).c_str()) == 0) ++removed;
  }
  closedir(d);
  if (removed > 0) Logme(st, "Removed " + std::to_string(removed) + " temporary event files of ended workers");
  return removed;
}

int FileEvents(EvtmonState& st, const std::vector<PendingEvent>& batch,
               std::vector<std::string>& pathname) {
  pathname.assign(batch.size(), "");
  if (batch.empty()) return 0;
  const std::string dir = std::string(kFileBase) + "/" + st.sysid + "/event";
  const mode_t old = umask(002);
  int made = QdMakeDirs(QdPath(dir), 0777);
  umask(old);
  if (made != 0) {
    LogSpe(st, 1, 'A', "create", dir, -1);
    return -1;
  }
  const std::string real_dir = QdPath(dir);
  // Temporary names of this process alone: a worker being replaced may
  // still file the same event as its successor.
  const std::string tmp = "." + std::to_string(getpid()) + ".tmp";
  // One flush for the data of every file, then one for their names: the
  // device flush is what an event costs, so a batch pays it twice in all.
  std::vector<bool> written(batch.size(), false);
  std::string err;
  for (size_t i = 0; i < batch.size(); ++i) {
    if (WriteUnflushed(real_dir + "/" + batch[i].name + tmp, batch[i].text, err) == 0) {
      written[i] = true;
    } else {
      LogSpe(st, 2, 'A', "open", batch[i].name, "write", err);
    }
  }
  auto fail_all = [&](const std::string& why) {
    for (size_t i = 0; i < batch.size(); ++i) {
      if (!written[i]) continue;
      unlink((real_dir + "/" + batch[i].name + tmp).c_str());
      LogSpe(st, 2, 'A', "open", batch[i].name, "write", why);
      written[i] = false;
    }
  };
  if (QdSyncFileSystemOf(real_dir) != 0) {
    fail_all(std::string("could not flush \"") + real_dir + "\": " + std::strerror(errno));
    return 0;
  }
  for (size_t i = 0; i < batch.size(); ++i) {
    if (!written[i]) continue;
    const std::string path = real_dir + "/" + batch[i].name;
    if (rename((path + tmp).c_str(), path.c_str()) != 0) {
      LogSpe(st, 2, 'A', "open", batch[i].name, "write",
             std::string("could not rename temporary file onto \"") + path + "\": " + std::strerror(errno));
      unlink((path + tmp).c_str());
      written[i] = false;
    }
  }
  if (QdSyncDirectoryOf(real_dir + "/.") != 0) {
    // The names may not survive a crash: none of these files counts as filed.
    for (size_t i = 0; i < batch.size(); ++i) {
      if (!written[i]) continue;
      LogSpe(st, 2, 'A', "open", batch[i].name, "write",
             std::string("could not sync the directory of \"") + real_dir + "/" + batch[i].name +
                 "\": " + std::strerror(errno));
      written[i] = false;
    }
    return 0;
  }
  int filed = 0;
  for (size_t i = 0; i < batch.size(); ++i) {
    if (!written[i]) continue;
    pathname[i] = dir + "/" + batch[i].name;
    LogSpe(st, 24, 'A', pathname[i]);
    ++filed;
  }
  return filed;
}

int DoAnalyze(EvtmonState& st, const std::string& pathname, const std::string& seq,
              time_t filetime) {
  qd_Transaction_Format_2 rec;
  std::memset(&rec, 0, sizeof rec);
  TxnHeaderStart(rec.hdr, QD_TXN_FMT_FDB_REQUEST, "FAR", st.hw_arch);
  struct timeval now;
  gettimeofday(&now, nullptr);
  (void)TStampOut(now.tv_sec, rec.hdr.TxnTime, true);
  (void)qdMakeAssocId(now, rec.hdr.AssocId, sizeof rec.hdr.AssocId);
  Put(rec.hdr.prod.vendor, "Zarvek");
  Put(rec.hdr.prod.prod, "VELMAR");
  Put(rec.hdr.prod.id, st.sysid);
  Put(rec.hdr.sp.vendor, "Zarvek");
  Put(rec.hdr.sp.prod, "SP");
  Put(rec.hdr.sp.id, st.sp_id);
  Put(rec.FileType, "event");
  (void)TStampOut(filetime, rec.FileTime, true);
  Put(rec.FileSeq, seq);
  Put(rec.FileName, pathname);
  Put(rec.comments, "Analysis Request Message");

  int rc = 0;
  std::string why;
  if (st.wm && st.anal_id == 0) {
    int id = st.wm->GetUID("QDAN");
    if (id > 0) {
      st.anal_id = id;
    } else {
      LogSpe(st, 20, '2', 0, "QDAN", id, UidFailure(*st.wm, id));
      why = "CWorkMessages::GetUID() failed to translate 'QDAN'";
    }
  }
  if (st.wm && st.anal_id > 0) {
    Message_Queue_ env;
    std::memset(&env, 0, sizeof env);
    env.nTargetUID = st.anal_id;
    env.nDepDataLength = sizeof rec;
    env.pDepData = &rec;
    rc = st.wm->Send(st.own_uid, "AIQ", &env);
    char text[80];
    if (rc == WM_OK || rc == WM_QUEUED) {
      std::snprintf(text, sizeof text, "File analysis msg [%.8X] %s by this",
                    static_cast<unsigned>(env.nMessageID), rc == WM_OK ? "submitted" : "queued");
      LogSpe(st, 11, 'A', 0, text);
      ++st.requests_sent;
      return 0;
    }
    if (rc != WM_SEND_FAILED) std::snprintf(st.wm->szErrorMsg, kWmErrorTextSize, "Unknown SEND return code");
    LogSpe(st, 10, 'A', 0, "SEND (to analysis)", rc, st.wm->szErrorMsg);
    why = "CWorkMessages::Send() returned rc=" + std::to_string(rc);
  } else if (!st.wm) {
    why = "CWorkMessages::GetUID() failed to translate 'QDAN'";
  }
  std::string where;
  (void)QueueSend(kEvtmonProcess, "QDAN", "AIQ", &rec, sizeof rec, where);
  Logme(st, where);
  char abstract[80];
  std::snprintf(abstract, sizeof abstract, "%s unable to Send() AIQ message", kFilterModule);
  std::string text = "Analysis request for Zarvek VELMAR " + st.sysid + " file " + pathname +
                     " cannot be sent.\n" + why + "\nOriginating FTC message is 00000000";
  BackDoorNotify(kFilterModule, 'H', abstract, text.c_str(), '0');
  return -1;
}

int callWorkMsg(EvtmonState& st, const char* filetype, const std::string& path, time_t t,
                const std::string& seq) {
  FTPrequest req;
  std::memset(&req, 0, sizeof req);
  req.Type = std::strcmp(filetype, "spdiag") == 0 ? 'S' : 'P';
  req.Urgency = 'N';
  req.Format = 1;
  req.TimeStamp = static_cast<int32_t>(t);
  Put(req.ProdSerNo, st.sysid);
  Put(req.FileType, filetype);
  Put(req.FileSeq, seq);
  Put(req.FileName, path);
  const std::string mid = std::string("SP") + st.log_char;
  char id10[16], id11[16];
  std::snprintf(id10, sizeof id10, "%s0010", mid.c_str());
  std::snprintf(id11, sizeof id11, "%s0011", mid.c_str());
  if (!st.wm) return -2;
  // A request that cannot be sent now goes to the fallback spool, never lost.
  auto spool = [&](int rc) {
    std::string where;
    (void)QueueSend(kEvtmonWmName, "SPFT", "TOQ", &req, sizeof req, where);
    Logme(st, "Send work message failed. ID=00000000, msg = " + where);
    return rc;
  };
  int own = st.wm->GetUID(kEvtmonWmName);
  if (own < 0) {
    LogSpe(st, 20, '2', 0, kEvtmonWmName, own, UidFailure(*st.wm, own));
    return spool(-2);
  }
  int ft = st.wm->GetUID("SPFT");
  if (ft < 0) {
    LogSpe(st, 20, '2', 0, "SPFT", ft, UidFailure(*st.wm, ft));
    return spool(-3);
  }
  Logme(st, "In callWorkMsg(), Send() TOQ FileName = " + path + ", FileSeq = " + seq +
                ", TimeStamp = " + std::to_string(static_cast<long>(t)));
  Message_Queue_ env;
  std::memset(&env, 0, sizeof env);
  env.nTargetUID = ft;
  env.nDepDataLength = sizeof req;
  env.pDepData = &req;
  int rc = st.wm->Send(own, "TOQ", &env);
  if (rc == WM_OK) {
    if (st.log) st.log->Insert(id11, 'A', st.sysid, 0, "File transfer submitted for file " + path);
    return 0;
  }
  if (rc == WM_QUEUED) {
    if (st.log) st.log->Insert(id11, 'A', st.sysid, 0, "File Transfer Not active, request queued ");
    return -4;
  }
  if (st.log) st.log->Insert(id10, 'A', st.sysid, 0, "SEND (to transfer)", rc, st.wm->szErrorMsg);
  return spool(-5);
}

int processDiagFile(EvtmonState& st, const std::string& header, const char* block, long len) {
  const std::string dir = std::string(kFileBase) + "/" + st.sysid;
  (void)QdMakeDirs(QdPath(dir), 0777);
  std::string path;
  int fd = -1;
  // The counter restarts with every worker: never overwrite an earlier file.
  while (fd < 0 && st.seqno < 9999) {
    ++st.seqno;
    char seq[16];
    std::snprintf(seq, sizeof seq, "%04d", st.seqno);
    path = dir + "/spdiag." + seq;
    fd = open(QdPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0740);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    LogSpe(st, 2, 'A', "open", path, "write", "NULL");
    return -1;
  }
  std::string text = header + "\n";
  if (len > 0) text.append(block, static_cast<size_t>(len));
  if (text.size() > 9999) text.resize(9999);
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    LogSpe(st, 66, 'A', std::strerror(errno));
    close(fd);
    return -2;
  }
  if (close(fd) != 0) {
    LogSpe(st, 2, 'A', "close", path, "write", -1);
    return -3;
  }
  LogSpe(st, 24, 'A', path);
  char seq[16];
  std::snprintf(seq, sizeof seq, "%04d", st.seqno);
  int rc = callWorkMsg(st, "spdiag", path, time(nullptr), seq);
  if (rc != 0 && rc != -4) {
    st.urgency = "H";
    Logme(st, "Process name 'EVTMON', Sysid " + st.sysid + ", " + st.urgency +
                  " Urgency \nIn processDiagFile(), Call to WorkMessage failed  rc= " +
                  std::to_string(rc), '2');
    return -1;
  }
  return 0;
}
