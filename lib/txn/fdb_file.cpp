#include "fdb_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qd_path.h"

namespace {

constexpr size_t kBlock = 8192;

std::string Quoted(const char* what, const char* path) {
  return std::string(what) + " '" + (path ? path : "") + "'";
}

int OpenResolved(const char* path, int flags, mode_t mode = 0) {
  std::string resolved = QdPath(path ? path : "");
  int fd;
  do {
    fd = open(resolved.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

ssize_t ReadSome(int fd, char* buf, size_t len) {
  ssize_t got;
  do {
    got = read(fd, buf, len);
  } while (got < 0 && errno == EINTR);
  return got;
}

// Reads exactly `len` bytes unless the file ends or fails first; returns
// the count read, or -1 on an error.
long ReadFully(int fd, char* buf, long len) {
  long done = 0;
  while (done < len) {
    ssize_t got = ReadSome(fd, buf + done, static_cast<size_t>(len - done));
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool WriteFully(int fd, const char* buf, size_t len) {
  while (len > 0) {
    ssize_t put = write(fd, buf, len);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    buf += put;
    len -= static_cast<size_t>(put);
  }
  return true;
}

// Counts the bytes from the current position to the end.
long CountBytes(int fd) {
  char block[kBlock];
  long count = 0;
  for (;;) {
    ssize_t got = ReadSome(fd, block, sizeof block);
    if (got < 0) return -1;
    if (got == 0) return count;
    count += got;
  }
}

int FailRead(int fd, char** outbuffer, long* outsize, std::string& errortext, std::string text) {
  if (fd >= 0) close(fd);
  *outbuffer = nullptr;
  *outsize = 0;
  errortext = std::move(text);
  return -1;
}

// Copies the open `in` to the open `out`; 0, or -1 with the text set.
int CopyBlocks(int in, int out, const char* infile, const char* outfile, std::string& errortext) {
  char block[kBlock];
  for (;;) {
    ssize_t got = ReadSome(in, block, sizeof block);
    if (got < 0) {
      errortext = Quoted("Read error for", infile);
      return -1;
    }
    if (got == 0) return 0;
    if (!WriteFully(out, block, static_cast<size_t>(got))) {
      errortext = Quoted("Write error for", outfile);
      return -1;
    }
  }
}

}  // namespace

int FdbReadWholeFile(const char* path, char** outbuffer, long* outsize, std::string& errortext) {
  int fd = OpenResolved(path, O_RDONLY);
  if (fd < 0) return FailRead(-1, outbuffer, outsize, errortext, Quoted("Open error (read) for", path));
  long count = CountBytes(fd);
  if (count < 0 || lseek(fd, 0, SEEK_SET) != 0) {
    return FailRead(fd, outbuffer, outsize, errortext, Quoted("Error reading (for count)", path));
  }
  char* buffer = static_cast<char*>(malloc(static_cast<size_t>(count) + 1));
  if (!buffer) {
    char text[256];
    snprintf(text, sizeof text, "malloc for %ld byte buffer failed:%s", count + 1, strerror(errno));
    return FailRead(fd, outbuffer, outsize, errortext, text);
  }
  // A file that shrank since it was counted is as unreadable as one that
  // fails: the caller must never get a buffer with a tail of garbage.
  if (ReadFully(fd, buffer, count) != count) {
    free(buffer);
    return FailRead(fd, outbuffer, outsize, errortext, Quoted("Error reading", path));
  }
  close(fd);
  buffer[count] = '\0';
  *outbuffer = buffer;
  *outsize = count;
  return 0;
}

int FdbCopyFile(const char* infile, const char* outfile, std::string& errortext) {
  int in = OpenResolved(infile, O_RDONLY);
  if (in < 0) {
    errortext = Quoted("Open error (read) for", infile);
    return -1;
  }
  if (FdbSameFile(infile, outfile)) {
    close(in);
    return 0;
  }
  int out = OpenResolved(outfile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) {
    close(in);
    errortext = Quoted("Open error (write) for", outfile);
    return -1;
  }
  int rc = CopyBlocks(in, out, infile, outfile, errortext);
  close(in);
  if (close(out) != 0 && rc == 0) {
    errortext = Quoted("Write error for", outfile);
    rc = -1;
  }
  if (rc != 0) FdbRemoveFile(outfile);
  return rc;
}

int FdbCreateTempFile(const char* path, std::string& errortext) {
  FdbRemoveFile(path);
  int fd = OpenResolved(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (fd < 0) errortext = Quoted("Open error (write) for", path);
  return fd;
}

int FdbWriteTempFile(const char* path, const char* buffer, long size, std::string& errortext) {
  int fd = FdbCreateTempFile(path, errortext);
  if (fd < 0) return -1;
  bool ok = size <= 0 || (buffer && WriteFully(fd, buffer, static_cast<size_t>(size)));
  if (close(fd) != 0) ok = false;
  if (!ok) {
    FdbRemoveFile(path);
    errortext = Quoted("Write error for", path);
    return -1;
  }
  return 0;
}

void FdbRemoveFile(const char* path) {
  if (path && *path) unlink(QdPath(path).c_str());
}

bool FdbSameFile(const char* a, const char* b) {
  struct stat sa, sb;
  if (!a || !b || stat(QdPath(a).c_str(), &sa) != 0 || stat(QdPath(b).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
