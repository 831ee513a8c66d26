#include "password_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "atomic_file.h"
#include "qd_path.h"
#include "time_scale.h"

namespace {

constexpr double kLockPatienceSeconds = 15;
constexpr double kLockRetrySeconds = 0.1;

// "<dir>/.<name>.acctreset.<pid>": beside the original, so the rename stays
// on one file system, and never under /tmp.
std::string TempPathFor(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "." + name + ".acctreset." + std::to_string(getpid());
}

// Gives the open temporary file the original's owner and mode, fills and
// flushes it. Returns 0 or -1 with errno set.
int FillTemp(int fd, const std::string& text, const struct stat& st) {
  if (fchown(fd, st.st_uid, st.st_gid) != 0) return -1;
  if (fchmod(fd, st.st_mode & 07777) != 0) return -1;
  if (QdWriteAll(fd, text) != 0) return -1;
  return fsync(fd);
}

PasswordFileResult Failed(int step, int errnum) {
  PasswordFileResult result;
  result.step = step;
  result.errnum = errnum;
  return result;
}

}  // namespace

int ReadPasswordFile(const std::string& path, std::string& text, struct stat& st, int& errnum) {
  std::string err;
  if (QdReadFile(path, text, err, &st) == 0) return 0;
  errnum = errno;
  return -1;
}

PasswordFileResult ReplacePasswordFile(const std::string& path, const std::string& text,
                                       const struct stat& st) {
  std::string tmp = TempPathFor(path);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) {
    // Left by an earlier run that died with our process id.
    unlink(tmp.c_str());
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  }
  if (fd < 0) return Failed(PWFILE_CREATE_TEMP, errno);
  if (FillTemp(fd, text, st) != 0) {
    int saved = errno;
    close(fd);
    unlink(tmp.c_str());
    return Failed(PWFILE_WRITE_TEMP, saved);
  }
  if (close(fd) != 0) {
    int saved = errno;
    unlink(tmp.c_str());
    return Failed(PWFILE_WRITE_TEMP, saved);
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    unlink(tmp.c_str());
    return Failed(PWFILE_RENAME, saved);
  }
  if (QdSyncDirectoryOf(path) != 0) return Failed(PWFILE_SYNC_DIR, errno);
  return PasswordFileResult();
}

PasswordLock::~PasswordLock() { Release(); }

int PasswordLock::Acquire(const std::string& lockpath, int& errnum) {
  Release();
  fd_ = open(lockpath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    errnum = errno;
    return -1;
  }
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  long waited = 0;
  const long patience = QdScaledMillis(kLockPatienceSeconds);
  while (fcntl(fd_, F_SETLK, &fl) != 0) {
    if ((errno != EACCES && errno != EAGAIN && errno != EINTR) || waited >= patience) {
      errnum = errno;
      Release();
      return -1;
    }
    QdSleep(kLockRetrySeconds);
    waited += QdScaledMillis(kLockRetrySeconds);
  }
  return 0;
}

void PasswordLock::Release() {
  if (fd_ >= 0) close(fd_);  // closing drops the lock
  fd_ = -1;
}

std::string PasswordLockPath() { return QdPath("/etc/.pwd.lock"); }
