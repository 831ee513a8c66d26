#include "log_message.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include "atomic_file.h"
#include "gdda.h"
#include "local_time.h"
#include "qd_path.h"
#include "text_util.h"

#ifndef QD_CATALOGUE_BUILD
#define QD_CATALOGUE_BUILD ""
#endif

namespace {

const char* const kLogFile = "/var/log/qd/qd.log";
const char* const kInstalledCatalogue = "/usr/local/qd/share/messages.cat";
const char* const kJoin = " | ";
const size_t kMaxProcessName = 64;

std::string LocalStamp() { return LocalTimeText(time(nullptr), "%Y-%m-%d %H:%M:%S"); }

bool ValidProcessName(const char* name) {
  if (!name || !*name || std::strlen(name) > kMaxProcessName) return false;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c == 0x7f || c == '[' || c == ']') return false;
  }
  return true;
}

bool FileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// Appends `line` to the platform log with one write, so concurrent writers'
// lines stay whole. Returns 0, or -1 with the reason in `err`.
int AppendToLog(const std::string& line, std::string& err) {
  return QdAppendWhole(QdPath(kLogFile), line, err);
}

int SyslogPriority(char urgency) {
  switch (urgency) {
    case '2': return LOG_ERR;
    case 'A': return LOG_NOTICE;
    default: return LOG_INFO;
  }
}

// Replaces %1..%9 by the arguments and %% by %; marks which arguments were
// used. A placeholder without an argument stays as written, so the gap shows.
std::string Substitute(const std::string& text, const std::vector<std::string>& args,
                       std::vector<bool>& used) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] != '%' || !(next == '%' || (next >= '1' && next <= '9'))) {
      out += text[i];
      continue;
    }
    ++i;
    size_t index = static_cast<size_t>(next - '1');
    if (next == '%') {
      out += '%';
    } else if (index < args.size()) {
      out += args[index];
      used[index] = true;
    } else {
      out += '%';
      out += next;
    }
  }
  return out;
}

}  // namespace

std::string qdlog::ToText(double number) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", number);
  return text;
}

bool QdValidMessageId(const char* id) {
  if (!id || std::strlen(id) != 7) return false;
  for (int i = 0; i < 3; ++i) {
    if (id[i] < 'A' || id[i] > 'Z') return false;
  }
  for (int i = 3; i < 7; ++i) {
    if (id[i] < '0' || id[i] > '9') return false;
  }
  return true;
}

bool QdValidUrgency(char urgency) {
  return urgency == 'A' || urgency == '0' || urgency == '1' || urgency == '2';
}

std::string QdEscapeLogText(const std::string& text, size_t limit) {
  std::string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = s + text.size();
  for (const unsigned char* p = s; p < end; ++p) {
    unsigned char c = *p;
    char piece[8];
    size_t len = c < 0x80 ? 1 : QdUtf8Length(p, end);
    if (len > 1) {
      // A whole UTF-8 character goes in as it is.
      if (out.size() + len > limit) {
        out += "...";
        break;
      }
      out.append(reinterpret_cast<const char*>(p), len);
      p += len - 1;
      continue;
    }
    if (len == 0) {
      // A byte that is no UTF-8: escaped like a control character, so the
      // log stays UTF-8 as the alert file and the database do.
      std::snprintf(piece, sizeof piece, "\\x%02x", c);
    } else if (c == '\n') {
      std::strcpy(piece, "\\n");
    } else if (c == '\r') {
      std::strcpy(piece, "\\r");
    } else if (c == '\t') {
      std::strcpy(piece, "\\t");
    } else if (c < ' ' || c == 0x7f) {
      std::snprintf(piece, sizeof piece, "\\x%02x", c);
    } else {
      piece[0] = static_cast<char>(c);
      piece[1] = '\0';
    }
    if (out.size() + std::strlen(piece) > limit) {
      out += "...";
      break;
    }
    out += piece;
  }
  return out;
}

int Log2cerr(const char* text, const char* modulename, bool daemon) {
  std::string line = LocalStamp() + " " + (modulename ? modulename : "?");
  if (daemon) line += "[" + std::to_string(getpid()) + "]";
  line += ": " + QdEscapeLogText(text ? text : "") + "\n";
  ssize_t n;
  do {
    n = write(STDERR_FILENO, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(line.size()) ? 0 : -1;
}

int Log2cerr(const std::string& text, const char* modulename, bool daemon) {
  return Log2cerr(text.c_str(), modulename, daemon);
}

CLogMessage::CLogMessage(const char* processname, const char* catalogue, bool echo)
    : echo_(echo) {
  if (!ValidProcessName(processname)) {
    CreateError = 1;
    Fail("invalid process name for the logger: empty, too long, or with blanks or brackets");
    return;
  }
  process_ = processname;
  CreateError = LoadCatalogue(catalogue);
  if (CreateError) return;
  CGDDA dictionary;
  bool flag = false;
  if (!dictionary.CreateError && dictionary.GetValue("LOG_SYSLOG", flag, GDDA_GLOBAL)) {
    syslog_ = flag;
  }
}

bool CLogMessage::Fail(const std::string& text) {
  std::snprintf(szErrorMsg, sizeof szErrorMsg, "%s", text.c_str());
  return false;
}

// Returns 0, 2 (no readable catalogue) or 3 (malformed) as CreateError.
int CLogMessage::LoadCatalogue(const char* catalogue) {
  if (catalogue && *catalogue) {
    catalogue_path_ = QdPath(catalogue);
  } else if (FileExists(QdPath(kInstalledCatalogue))) {
    catalogue_path_ = QdPath(kInstalledCatalogue);
  } else {
    // The build tree's copy is a build artefact, not a system path.
    catalogue_path_ = QD_CATALOGUE_BUILD;
  }
  std::string text, err;
  if (catalogue_path_.empty() || QdReadFile(catalogue_path_, text, err) != 0) {
    Fail("no message catalogue: " + (err.empty() ? "\"" + catalogue_path_ + "\" not found" : err));
    catalogue_path_.clear();
    return 2;
  }
  size_t pos = 0;
  for (int lineno = 1; pos < text.size(); ++lineno) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    if (line.empty() || line[0] == '#') continue;
    size_t gap = line.find_first_of(" \t");
    std::string id = line.substr(0, gap);
    std::string where = "\"" + catalogue_path_ + "\" line " + std::to_string(lineno) + ": ";
    std::string problem;
    if (!QdValidMessageId(id.c_str())) problem = "malformed message id";
    if (entries_.count(id)) problem = "duplicate message id " + id;
    if (!problem.empty()) {
      Fail(where + problem);
      entries_.clear();
      return 3;
    }
    size_t start = gap == std::string::npos ? line.size() : line.find_first_not_of(" \t", gap);
    entries_[id] = line.substr(start);
  }
  return 0;
}

std::string CLogMessage::Text(const char* id, const std::vector<std::string>& args) const {
  std::vector<bool> used(args.size(), false);
  auto entry = entries_.find(id ? id : "");
  std::string text;
  if (entry != entries_.end()) text = Substitute(entry->second, args, used);
  for (size_t i = 0; i < args.size(); ++i) {
    if (used[i]) continue;
    if (!text.empty()) text += kJoin;
    text += args[i];
  }
  return text;
}

bool CLogMessage::Issue(int errnum, const char* id, char urgency,
                        const std::vector<std::string>& args) {
  if (CreateError) return Fail("logger not available");
  if (!QdValidMessageId(id)) {
    return Fail("malformed message id '" + QdEscapeLogText(id ? id : "(null)", 40) +
                "': three capital letters and four digits expected");
  }
  if (!QdValidUrgency(urgency)) {
    return Fail(std::string("bad urgency '") + QdEscapeLogText(std::string(1, urgency)) +
                "' for message " + id + ": 'A', '0', '1' or '2' expected");
  }
  std::string text = Text(id, args);
  if (errnum != 0) text += std::string(": ") + std::strerror(errnum);
  std::string line = LocalStamp() + " " + process_ + "[" + std::to_string(getpid()) + "] " + id +
                     " " + urgency + " " + QdEscapeLogText(text) + "\n";
  std::string err;
  bool written = AppendToLog(line, err) == 0;
  if (syslog_) {
    syslog(SyslogPriority(urgency), "%.*s", static_cast<int>(line.size() - 1), line.c_str());
  }
  if (echo_) {
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
  }
  return written ? true : Fail(err);
}
