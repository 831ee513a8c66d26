#pragma once
// The configuration dictionary: named values at four levels (1 Global,
// 2 Dev, 3 Test, 4 Prod), read by every program at start-up.
//
// Two files in the same INI format, one section per level name:
//   /etc/qd/gdda.conf        the operator's configuration (never written here)
//   /var/lib/qd/gdda.state   values set by programs and `qdconf set`; a key
//                            present here overrides the same key of the
//                            configuration at the same level
// Both paths go through QdPath. Format:
//   # comment            (also ';'; only at the start of a line)
//   [Prod]               level section, name in any case
//   KEY = VALUE          blanks around KEY and VALUE are dropped
// Keys are case-sensitive. A later line for the same key replaces an earlier
// one. The state file is replaced whole by each write (temporary file, fsync,
// rename) under an flock on /var/lib/qd/gdda.state.lock, so concurrent
// writers in different processes lose nothing and a crash leaves either the
// old or the new file, never a torn one.

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

enum GddaLevel {
  GDDA_INVALID = 0,
  GDDA_GLOBAL = 1,
  GDDA_DEV = 2,
  GDDA_TEST = 3,
  GDDA_PROD = 4,
};

// Size of every text that holds a level name (GetSystemLevel's argument).
constexpr size_t kGddaLevelTextSize = 80;

// The level's name ("Global", "Dev", "Test", "Prod"), "Invalid" otherwise.
const char* GddaLevelName(int level);

// The level named by `text`: a level name in any case, its first letter
// (G, D, T, P in any case) or a digit 1..4. GDDA_INVALID for anything else,
// null included.
int GddaLevelFromText(const char* text);

// Key-value pairs of one file, indexed by level (slot 0 unused).
using GddaSections = std::array<std::map<std::string, std::string>, 5>;

// One effective value, as `CGDDA::List` reports it.
struct GddaEntry {
  int level = GDDA_INVALID;
  std::string key;
  std::string value;
  bool from_state = false;      // false: from the operator's configuration
  bool overrides_conf = false;  // from the state file and also set in the conf
};

class CGDDA {
 public:
  // Reads the operator's configuration. `conffile`, when given, is the system
  // path of another configuration file (resolved through QdPath); with
  // `must_exist` an absent configuration file is an error, without it an
  // absent file is an empty configuration. On failure CreateError is
  // non-zero and szErrorMsg names the file and the line; the object then
  // answers every call with false or 0.
  explicit CGDDA(const char* conffile = nullptr, bool must_exist = false);

  // Non-zero when the object could not be made: 1 unreadable or malformed
  // configuration.
  int CreateError = 0;
  // Reason of the last failure; "" when nothing failed yet.
  char szErrorMsg[1024] = {0};

  // The system level: key SYSTEM_LEVEL in [Global] (a level name, letter or
  // digit, see GddaLevelFromText). Returns 1..4 and writes the level's name
  // into `leveltext` (kGddaLevelTextSize bytes, may be null). Returns 0 on
  // failure with "Invalid" in `leveltext` and the reason in szErrorMsg.
  int GetSystemLevel(char* leveltext);

  // Looks `key` up at `level`; when `global_fallback` and the level is not
  // Global, a key absent there is looked up in [Global]. The state file is
  // read afresh on every call, so a value set by any process is seen at
  // once. True when found and converted. False otherwise, `out` untouched
  // and szErrorMsg set: an absent key gives "KEY value not found (level L)";
  // a bad level, an unreadable state file or a value of the wrong form give
  // their own texts.
  //
  // Flags accept Y/N, yes/no, true/false, 1/0 in any case.
  bool GetValue(const char* key, bool& out, int level, bool global_fallback = true);
  // Whole decimal number in the range of long.
  bool GetValue(const char* key, long& out, int level, bool global_fallback = true);
  // Text into a buffer of `size` bytes (NUL included). A value that does not
  // fit is refused rather than cut. No default for the last argument: a
  // four-argument call with a bare pointer must not compile as (size, level).
  bool GetValue(const char* key, char* out, size_t size, int level, bool global_fallback);
  // Text into a character array; its size is taken from the array.
  template <size_t N>
  bool GetValue(const char* key, char (&out)[N], int level, bool global_fallback = true) {
    return GetValue(key, out, N, level, global_fallback);
  }
  bool GetValue(const char* key, std::string& out, int level, bool global_fallback = true);

  // Stores `value` for `key` at `level` in the state file. `kind` is the
  // stored form; 2 (text) is the only one the dictionary keeps, any other is
  // refused. With `create` false the key must already exist at that level
  // (configuration or state), else " value not found". Refuses keys and
  // values that the file format cannot hold (empty key, blanks, control
  // characters, '=', '[', ']', or a leading '#'/';' in a key; control
  // characters or leading/trailing blanks in a value). True when the new
  // state file is durably in place; false with szErrorMsg otherwise, and the
  // state file is then as it was.
  bool SetValue(const char* key, const char* value, int level, int kind = 2, bool create = true);
  bool SetValue(const char* key, const std::string& value, int level, int kind = 2,
                bool create = true);
  bool SetValue(const char* key, long value, int level, int kind = 2, bool create = true);
  bool SetValue(const char* key, int value, int level, int kind = 2, bool create = true) {
    return SetValue(key, static_cast<long>(value), level, kind, create);
  }

  // Every effective value of every level, ordered by level then key. Reads
  // the state file afresh. 0 on success; -1 with szErrorMsg when the state
  // file cannot be read (`out` then empty).
  int List(std::vector<GddaEntry>& out);

 private:
  bool ReadState(GddaSections& state);
  bool Lookup(const char* key, int level, bool global_fallback, std::string& value);
  bool Fail(const std::string& text);

  GddaSections conf_;
};
