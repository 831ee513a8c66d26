#pragma once
// The platform log and its message catalogue.
//
// Every program logs through a CLogMessage: a message is an identifier of
// three capital letters and four digits, an urgency character ('A', '0',
// '1', '2') and arguments. The text comes from the catalogue, a plain file
// of `ID TEXT` lines whose TEXT holds positional placeholders %1..%9 (see
// the head of messages.cat). Each issued message is one line of the platform
// log /var/log/qd/qd.log (through QdPath), shared by all processes:
//
//   YYYY-MM-DD HH:MM:SS PROCESS[PID] ID U TEXT
//
// (local time; U the urgency; line feeds in TEXT written as "\n", other
// control bytes as "\r", "\t" or "\xHH"). The line is written with a single
// write() on an O_APPEND descriptor, so lines of concurrent processes never
// interleave. With the dictionary key LOG_SYSLOG (level Global) true, the
// same line also goes to syslog.

#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace qdlog {
// Conversion of one message argument to text.
inline std::string ToText(const std::string& text) { return text; }
inline std::string ToText(const char* text) { return text ? text : "(null)"; }
inline std::string ToText(char c) { return std::string(1, c); }
std::string ToText(double number);
template <class T>
std::enable_if_t<std::is_integral_v<T>, std::string> ToText(T number) {
  return std::to_string(number);
}
}  // namespace qdlog

class CLogMessage {
 public:
  // A logger for the process `processname` (as it appears in every line).
  // `catalogue`, when given, is the system path (through QdPath) of the
  // catalogue to use; otherwise /usr/local/qd/share/messages.cat when it
  // exists, else the catalogue of the build tree. `echo` also copies every
  // line to standard error. Reads LOG_SYSLOG from the dictionary. On failure
  // CreateError is non-zero and szErrorMsg says why: 1 bad process name,
  // 2 no readable catalogue, 3 malformed catalogue (file and line named).
  explicit CLogMessage(const char* processname, const char* catalogue = nullptr,
                       bool echo = false);

  int CreateError = 0;
  char szErrorMsg[1024] = {0};

  // Issues message `id` with `urgency` and the arguments (int, long,
  // unsigned, double, char, const char*, std::string, ...) substituted for
  // %1, %2, ... in the catalogue text. An id without a catalogue entry still
  // logs, its text being the arguments joined by " | "; arguments beyond the
  // text's placeholders are appended the same way. True when the line was
  // written to the platform log. False with szErrorMsg on a malformed id, a
  // bad urgency (nothing is logged then) or a failed write.
  template <class... Args>
  bool Insert(const char* id, char urgency, const Args&... args) {
    return Issue(0, id, urgency, {qdlog::ToText(args)...});
  }
  template <class... Args>
  bool Insert(const std::string& id, char urgency, const Args&... args) {
    return Issue(0, id.c_str(), urgency, {qdlog::ToText(args)...});
  }
  // The same, with the system error text of `errnum` appended to the text
  // as ": <error text>" (nothing appended for 0).
  template <class... Args>
  bool Insert(int errnum, const char* id, char urgency, const Args&... args) {
    return Issue(errnum, id, urgency, {qdlog::ToText(args)...});
  }
  template <class... Args>
  bool Insert(int errnum, const std::string& id, char urgency, const Args&... args) {
    return Issue(errnum, id.c_str(), urgency, {qdlog::ToText(args)...});
  }

  // The text message `id` gets with `args`, as Insert would log it (before
  // control bytes are escaped).
  std::string Text(const char* id, const std::vector<std::string>& args) const;

  // Where the catalogue was read from ("" when it could not be).
  const std::string& CataloguePath() const { return catalogue_path_; }

 private:
  bool Issue(int errnum, const char* id, char urgency, const std::vector<std::string>& args);
  bool Fail(const std::string& text);
  int LoadCatalogue(const char* catalogue);

  std::string process_;
  std::string catalogue_path_;
  std::map<std::string, std::string> entries_;  // id -> text
  bool echo_ = false;
  bool syslog_ = false;
};

// True when `id` is three capital letters and four digits.
bool QdValidMessageId(const char* id);

// True for the urgencies a message may carry: 'A', '0', '1', '2'.
bool QdValidUrgency(char urgency);

// The platform-log form of `text`: line feeds as "\n", carriage returns as
// "\r", tabs as "\t", other control bytes and bytes that are not UTF-8 as
// "\xHH"; at most `limit` bytes, a longer text being cut (never inside a
// character) and marked with "...".
std::string QdEscapeLogText(const std::string& text, size_t limit = 32768);

// Writes one line to standard error: "YYYY-MM-DD HH:MM:SS MODULE: TEXT",
// with "MODULE[PID]" when `daemon` (several processes of one program may
// share the stream then). TEXT is escaped as in the platform log. Returns 0,
// or -1 when standard error could not take the whole line.
int Log2cerr(const char* text, const char* modulename, bool daemon);
int Log2cerr(const std::string& text, const char* modulename, bool daemon);
