#include "atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "qd_path.h"

namespace {

std::string SysError(const char* step, const std::string& path) {
  return std::string("could not ") + step + " \"" + path + "\": " + std::strerror(errno);
}

// Opens `path` with `flags`, runs `flush` on it and closes it, keeping the
// flush's errno.
int FlushOpened(const std::string& path, int flags, int (*flush)(int)) {
  int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = flush(fd);
  int saved = errno;
  close(fd);
  errno = saved;
  return rc;
}

}  // namespace

int QdReplaceFile(const std::string& path, const std::string& text, std::string& err,
                  unsigned mode) {
  std::string tmp = path + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) {
    err = SysError("create", tmp);
    return -1;
  }
  if (QdWriteAll(fd, text) != 0 || fsync(fd) != 0) {
    err = SysError("write", tmp);
    close(fd);
    unlink(tmp.c_str());
    return -1;
  }
  if (close(fd) != 0) {
    err = SysError("close", tmp);
    unlink(tmp.c_str());
    return -1;
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    err = SysError("rename temporary file onto", path);
    unlink(tmp.c_str());
    return -1;
  }
  if (QdSyncDirectoryOf(path) != 0) {
    err = SysError("sync the directory of", path);
    return -1;
  }
  return 0;
}

// A rename is durable only once the directory entry is on disk.
int QdSyncDirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  return FlushOpened(dir, O_RDONLY | O_DIRECTORY, fsync);
}

// One flush for many files instead of one per file: a batch writer pays
// the device's flush once.
int QdSyncFileSystemOf(const std::string& path) {
  return FlushOpened(path, O_RDONLY, syncfs);
}

int QdWriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      errno = EIO;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

int QdReadFile(const std::string& path, std::string& text, std::string& err, struct stat* st) {
  text.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return 1;
    err = SysError("open", path);
    return -1;
  }
  if (st != nullptr && fstat(fd, st) != 0) {
    err = SysError("examine", path);
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int saved = errno;
      err = SysError("read", path);
      close(fd);
      text.clear();
      errno = saved;
      return -1;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return 0;
}

QdFileLock::~QdFileLock() { Release(); }

int QdFileLock::Acquire(const std::string& lockpath, std::string& err) {
  Release();
  // flock needs no write access, so a lock file made by another account
  // still serves.
  fd_ = open(lockpath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    err = SysError("open lock file", lockpath);
    return -1;
  }
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    err = SysError("lock", lockpath);
    Release();
    return -1;
  }
  return 0;
}

void QdFileLock::Release() {
  if (fd_ >= 0) close(fd_);  // closing drops the flock
  fd_ = -1;
}

int QdAppendWhole(const std::string& path, const std::string& line, std::string& err) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
  size_t slash = path.rfind('/');
  if (fd < 0 && errno == ENOENT && slash != std::string::npos && slash > 0 &&
      QdMakeDirs(path.substr(0, slash)) == 0) {
    fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
  }
  if (fd < 0) {
    err = "could not open \"" + path + "\": " + std::strerror(errno);
    return -1;
  }
  ssize_t n;
  do {
    n = write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  int saved = errno;
  close(fd);
  if (n == static_cast<ssize_t>(line.size())) return 0;
  err = "could not write to \"" + path + "\": " +
        (n < 0 ? std::strerror(saved) : std::string("short write"));
  return -1;
}
