#include "wm_spool.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "qd_path.h"

namespace {

const char kHeading[] = "QDWM SPOOL 1\n";
const char kSuffix[] = ".wm";
const char kTempPrefix[] = ".tmp-";

std::string SysError(const std::string& what, const std::string& path) {
  return what + " \"" + path + "\": " + strerror(errno);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int SyncDir(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return -1;
  int rc = fsync(fd);
  close(fd);
  return rc;
}

std::string RandomHex() {
  uint64_t value = 0;
  if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    value = static_cast<uint64_t>(ts.tv_nsec) * 2654435761u ^ static_cast<uint64_t>(getpid());
  }
  char text[17];
  snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

// Reads one "field=value\n" line at `pos`; advances `pos`.
bool ReadField(const std::string& content, size_t& pos, const char* field, std::string& value) {
  size_t eol = content.find('\n', pos);
  if (eol == std::string::npos) return false;
  std::string line = content.substr(pos, eol - pos);
  std::string prefix = std::string(field) + "=";
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  value = line.substr(prefix.size());
  pos = eol + 1;
  return true;
}

bool ParseNumber(const std::string& text, int64_t& out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

}  // namespace

std::string WmSpoolDir() { return QdPath("/var/spool/qd/wm"); }

bool WmSpoolNameValid(const std::string& name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string WmSpoolEncode(const WmSpoolEntry& e) {
  std::string out = kHeading;
  out += "key=" + e.key + "\n";
  out += "sender=" + e.sender + "\n";
  out += "target=" + e.target + "\n";
  out += "message=" + e.msgname + "\n";
  out += "sent=" + std::to_string(e.time_sent) + "\n";
  out += "length=" + std::to_string(e.data.size()) + "\n\n";
  out += e.data;
  return out;
}

int WmSpoolDecode(const std::string& content, WmSpoolEntry& e, std::string& err) {
  const size_t heading = sizeof kHeading - 1;
  if (content.compare(0, heading, kHeading) != 0) {
    err = "not a spool entry (heading missing)";
    return -1;
  }
  size_t pos = heading;
  std::string sent, length;
  WmSpoolEntry out;
  if (!ReadField(content, pos, "key", out.key) || !ReadField(content, pos, "sender", out.sender) ||
      !ReadField(content, pos, "target", out.target) ||
      !ReadField(content, pos, "message", out.msgname) || !ReadField(content, pos, "sent", sent) ||
      !ReadField(content, pos, "length", length)) {
    err = "spool entry heading is incomplete";
    return -1;
  }
  if (pos >= content.size() || content[pos] != '\n') {
    err = "spool entry heading is not closed by an empty line";
    return -1;
  }
  ++pos;
  int64_t n = 0;
  if (out.key.empty() || !WmSpoolNameValid(out.sender) || !WmSpoolNameValid(out.target) ||
      !WmSpoolNameValid(out.msgname) || !ParseNumber(sent, out.time_sent) ||
      !ParseNumber(length, n) || n > kWmSpoolMaxData) {
    err = "spool entry heading holds an invalid field";
    return -1;
  }
  if (content.size() - pos != static_cast<size_t>(n)) {
    err = "spool entry holds " + std::to_string(content.size() - pos) + " data bytes, heading says " +
          std::to_string(n);
    return -1;
  }
  out.data = content.substr(pos);
  e = std::move(out);
  return 0;
}

int WmSpoolWrite(WmSpoolEntry& entry, std::string& path, std::string& err,
                 const std::string& key) {
  static unsigned counter = 0;
  std::string dir = WmSpoolDir();
  if (QdMakeDirs(dir, 0750) != 0) {
    err = SysError("cannot create spool directory", dir);
    return -1;
  }
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  char stem[80];
  snprintf(stem, sizeof stem, "%012lld.%09ld-%010d-%06u", static_cast<long long>(now.tv_sec),
           now.tv_nsec, static_cast<int>(getpid()), ++counter % 1000000u);
  entry.key = key.empty() ? std::string(stem) + "-" + RandomHex() : key;
  std::string temp = dir + "/" + kTempPrefix + std::to_string(getpid()) + "-" + std::to_string(counter);
  path = dir + "/" + stem + kSuffix;

  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
  if (fd < 0) {
    err = SysError("cannot create spool file", temp);
    return -1;
  }
  bool ok = WriteAll(fd, WmSpoolEncode(entry)) == 0 && fsync(fd) == 0;
  if (!ok) err = SysError("cannot write spool file", temp);
  if (close(fd) != 0 && ok) {
    ok = false;
    err = SysError("cannot close spool file", temp);
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = SysError("cannot rename spool file to", path);
  }
  if (!ok) {
    unlink(temp.c_str());
    return -1;
  }
  if (SyncDir(dir) != 0) {
    // The entry is whole but may not survive a crash; say so rather than
    // report it as safely stored.
    err = SysError("cannot sync spool directory", dir);
    return -1;
  }
  return 0;
}

int WmSpoolList(std::vector<std::string>& names, std::string& err) {
  names.clear();
  std::string dir = WmSpoolDir();
  DIR* d = opendir(dir.c_str());
  if (!d) {
    if (errno == ENOENT) return 0;
    err = SysError("cannot read spool directory", dir);
    return -1;
  }
  while (struct dirent* ent = readdir(d)) {
    std::string name = ent->d_name;
    if (name[0] != '.' && EndsWith(name, kSuffix)) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return 0;
}

int WmSpoolRead(const std::string& name, WmSpoolEntry& entry, std::string& err) {
  std::string path = WmSpoolDir() + "/" + name;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return 1;
    err = SysError("cannot open spool file", path);
    return -1;
  }
  std::string content;
  char buf[16384];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = SysError("cannot read spool file", path);
      close(fd);
      return -1;
    }
    if (n == 0) break;
    content.append(buf, static_cast<size_t>(n));
    if (content.size() > static_cast<size_t>(kWmSpoolMaxData) + 4096) {
      close(fd);
      err = "spool file \"" + path + "\" is too large";
      return -1;
    }
  }
  close(fd);
  if (WmSpoolDecode(content, entry, err) != 0) {
    err = "spool file \"" + path + "\": " + err;
    return -1;
  }
  return 0;
}

int WmSpoolRemove(const std::string& name, std::string& err) {
  std::string path = WmSpoolDir() + "/" + name;
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    err = SysError("cannot remove spool file", path);
    return -1;
  }
  return 0;
}

int WmSpoolSetAside(const std::string& name, std::string& err) {
  std::string path = WmSpoolDir() + "/" + name;
  if (rename(path.c_str(), (path + ".bad").c_str()) != 0) {
    err = SysError("cannot set aside spool file", path);
    return -1;
  }
  return 0;
}

int WmSpoolSweepTemps() {
  std::string dir = WmSpoolDir();
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  int removed = 0;
  const size_t plen = sizeof kTempPrefix - 1;
  while (struct dirent* ent = readdir(d)) {
    std::string name = ent->d_name;
    if (name.compare(0, plen, kTempPrefix) != 0) continue;
    long pid = strtol(name.c_str() + plen, nullptr, 10);
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
      if (unlink((dir + "/" + name).c_str()) == 0) ++removed;
    }
  }
  closedir(d);
  return removed;
}

WmSpoolLock::~WmSpoolLock() { Release(); }

int WmSpoolLock::Acquire(bool wait, std::string& err) {
  Release();
  std::string dir = WmSpoolDir();
  if (QdMakeDirs(dir, 0750) != 0) {
    err = SysError("cannot create spool directory", dir);
    return -1;
  }
  std::string path = dir + "/.lock";
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
  if (fd_ < 0) {
    err = SysError("cannot open spool lock", path);
    return -1;
  }
  int rc;
  do {
    rc = flock(fd_, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return 0;
  bool busy = errno == EWOULDBLOCK;
  if (!busy) err = SysError("cannot lock spool", path);
  close(fd_);
  fd_ = -1;
  return busy ? 1 : -1;
}

void WmSpoolLock::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}
