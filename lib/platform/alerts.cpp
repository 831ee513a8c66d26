#include "alerts.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "atomic_file.h"
#include "local_time.h"
#include "log_message.h"
#include "qd_path.h"
#include "text_util.h"

namespace {

const char* const kAlertFile = "/var/log/qd/alerts.log";
const char* const kReplacement = "\xEF\xBF\xBD";  // U+FFFD


std::string IsoStamp() { return LocalTimeText(time(nullptr), "%Y-%m-%dT%H:%M:%S%z"); }

std::string Field(const char* name, const std::string& value) {
  return std::string("\"") + name + "\":\"" + QdJsonEscape(value) + "\"";
}

// Appends the line with a single write. Returns 0, or -1 with `err`.
int AppendAlert(const std::string& line, std::string& err) {
  return QdAppendWhole(QdPath(kAlertFile), line, err);
}

// A logger wants a short name without blanks or brackets; the alert line
// keeps the name as given.
std::string LoggerName(const std::string& name) {
  std::string out;
  for (char c : name.substr(0, 64)) {
    bool bad = static_cast<unsigned char>(c) <= ' ' || c == 0x7f || c == '[' || c == ']';
    out += bad ? '_' : c;
  }
  return out;
}

int RaiseAlert(const char* kind, const char* name, char urgency, const char* abstract,
               const char* text) {
  std::string who = name && *name ? name : "unknown";
  std::string line = "{" + Field("time", IsoStamp()) + "," + Field("kind", kind) + "," +
                     Field("name", who) + "," + Field("urgency", std::string(1, urgency)) + "," +
                     Field("abstract", abstract ? abstract : "") + "," +
                     Field("text", text ? text : "") + "}\n";
  std::string err;
  int result = QD_ALERT_DONE;
  if (AppendAlert(line, err) != 0) {
    // The alert must not vanish: standard error is the last place left.
    Log2cerr("alert not recorded (" + err + "): " + line.substr(0, line.size() - 1), who.c_str(),
             true);
    result = QD_ALERT_FAILED;
  }
  CLogMessage logger(LoggerName(who).c_str());
  bool logged = !logger.CreateError &&
                logger.Insert("QDZ0090", 'A', kind, who, std::string(1, urgency),
                              abstract ? abstract : "", text ? text : "");
  if (!logged) {
    Log2cerr(std::string("Error attempting to issue message QDZ0090 ") + logger.szErrorMsg,
             who.c_str(), true);
    if (result == QD_ALERT_DONE) result = QD_ALERT_LOG_FAILED;
  }
  return result;
}

}  // namespace

std::string QdJsonEscape(const std::string& text) {
  std::string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = s[i];
    size_t len = QdUtf8Length(s + i, s + text.size());
    if (len == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (len > 1) {
      out.append(text, i, len);
      i += len;
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char esc[8];
          snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

int ProcessNotify(const char* name, char urgency, const char* abstract, const char* text) {
  return RaiseAlert("process", name, urgency, abstract, text);
}

int BackDoorNotify(const char* name, char urgency, const char* abstract, const char* text,
                   char /*mode*/) {
  return RaiseAlert("backdoor", name, urgency, abstract, text);
}
