#include "notify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "ftp_request.h"
#include "qd_path.h"
#include "work_messages.h"

char szNotifyErrMsg[kNotifyErrSize];

namespace {

// Appends one formatted line to szNotifyErrMsg; what does not fit is cut,
// never written past the buffer.
void AddError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void AddError(const char* fmt, ...) {
  size_t used = strlen(szNotifyErrMsg);
  if (used + 1 >= sizeof(szNotifyErrMsg)) return;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(szNotifyErrMsg + used, sizeof(szNotifyErrMsg) - used, fmt, ap);
  va_end(ap);
}

void CompleteRecord(fsNOTIFY& fsn) {
  if (fsn.EventTimeFirst.fmt != 'a') TStampOut(time(nullptr), fsn.EventTimeFirst, true);
  if (fsn.EventTimeLast.fmt != 'a') fsn.EventTimeLast = fsn.EventTimeFirst;
  if (fsn.EventLocation != 'R' && fsn.EventLocation != 'L') fsn.EventLocation = 'R';
}

// Writes the record to a new file; `path` receives the file's path (empty
// when none was made). The record goes out in one write and is flushed
// before the file is handed on, so the transfer process never reads a
// record that a crash left half on disk. 0, or -1 with the reasons added.
int WriteRecordFile(const fsNOTIFY& fsn, std::string& path) {
  const std::string pattern = QdPath(kNotifyFileTemplate);
  std::string name = pattern;  // mkstemp fills in the X's even when it fails
  int fd = mkstemp(name.data());
  if (fd < 0) {
    AddError("mkstemp failed for '%s':%s\n", pattern.c_str(), strerror(errno));
    return -1;
  }
  path = name;
  int rc = 0;
  ssize_t n = write(fd, &fsn, sizeof fsn);
  if (n != static_cast<ssize_t>(sizeof fsn)) {
    AddError("write failed for '%s':%s\n", name.c_str(),
             n < 0 ? strerror(errno) : "short write");
    rc = -1;
  } else if (fsync(fd) != 0) {
    AddError("write failed for '%s':%s\n", name.c_str(), strerror(errno));
    rc = -1;
  }
  if (close(fd) != 0) {
    AddError("close failed for '%s':%s\n", name.c_str(), strerror(errno));
    rc = -1;
  }
  if (rc == 0 && chmod(name.c_str(), 0644) != 0) {
    AddError("chmod failed for '%s':%s\n", name.c_str(), strerror(errno));
    rc = -1;
  }
  return rc;
}

// The path as the system names it: the file made below QD_ROOT travels
// under its documented "/tmp/..." name.
std::string SystemPath(const std::string& path) {
  std::string root = QdRoot();
  if (!root.empty() && path.compare(0, root.size(), root) == 0) return path.substr(root.size());
  return path;
}

int SendRequest(const std::string& path, const char* id) {
  auto wm = std::make_unique<CWorkMessages>(true);
  if (wm->nLastError != 0) {
    AddError("Error creating CWorkMessages, rc=%ld,  msg=%s\n", static_cast<long>(wm->nLastError),
             wm->szErrorMsg);
    return -1;
  }
  int own = wm->GetUID(id);
  int target = wm->GetUID("SPFT");

  FTPrequest req;
  memset(&req, 0, sizeof req);
  req.Format = 1;
  req.Type = 'S';
  req.ExtraRequests |= kFtpExtraNotify;
  req.Urgency = 'N';
  req.TimeStamp = 1;
  snprintf(req.FileType, sizeof req.FileType, "%s", kNotifyFileType);
  snprintf(req.FileName, sizeof req.FileName, "%s", SystemPath(path).c_str());

  Message_Queue_ env;
  memset(&env, 0, sizeof env);
  env.nResponseRequired = 0;
  env.nTargetUID = target;
  env.nDepDataLength = sizeof req;
  env.pDepData = &req;
  int rc = wm->Send(own, "TOQ", &env, false);
  if (rc == WM_OK || rc == WM_QUEUED) return 0;
  if (rc == WM_SEND_FAILED) {
    AddError("%s\n", wm->szErrorMsg);
  } else {
    AddError("Unknown SEND return code=%ld;%s\n", static_cast<long>(rc), wm->szErrorMsg);
  }
  return -1;
}

}  // namespace

char* Notify(fsNOTIFY& fsn, const char* id) {
  szNotifyErrMsg[0] = '\0';
  CompleteRecord(fsn);
  std::string path;
  int rc = WriteRecordFile(fsn, path);
  if (rc == 0) rc = SendRequest(path, id ? id : "");
  if (rc == 0) return nullptr;
  if (!path.empty() && unlink(path.c_str()) != 0) {
    AddError("remove failed for '%s':%s\n", path.c_str(), strerror(errno));
  }
  return szNotifyErrMsg;
}
