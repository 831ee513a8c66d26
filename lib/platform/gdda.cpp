#include "gdda.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "atomic_file.h"
#include "qd_path.h"

namespace {

const char* const kConfFile = "/etc/qd/gdda.conf";
const char* const kStateDir = "/var/lib/qd";
const char* const kStateFile = "/var/lib/qd/gdda.state";
const char* const kStateLock = "/var/lib/qd/gdda.state.lock";
const char* const kLevelNames[] = {"Invalid", "Global", "Dev", "Test", "Prod"};
const char* const kLevelLetters = "?GDTP";
const int kTextKind = 2;

bool ValidLevel(int level) { return level >= GDDA_GLOBAL && level <= GDDA_PROD; }

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Why `key` cannot be stored in the file format, or "" when it can. The
// parser must read back exactly what the writer wrote.
std::string KeyProblem(const char* key) {
  if (!key || !*key) return "empty key";
  if (*key == '#' || *key == ';') return std::string("key '") + key + "' starts a comment";
  for (const char* p = key; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c == 0x7f) return "key contains a blank or control character";
    if (c == '=' || c == '[' || c == ']') {
      return std::string("key '") + key + "' contains '" + *p + "'";
    }
  }
  return std::string();
}

std::string ValueProblem(const char* key, const char* value) {
  if (!value) return std::string("no value given for ") + key;
  for (const char* p = value; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if ((c < ' ' && c != '\t') || c == 0x7f) {
      return std::string("value for ") + key + " contains a line break or control character";
    }
  }
  if (Trim(value) != value) {
    return std::string("value for ") + key + " has leading or trailing blanks";
  }
  return std::string();
}

// Parses the INI text into `out`. Returns 0, or -1 with "line N: reason".
int ParseSections(const std::string& text, GddaSections& out, std::string& err) {
  int level = GDDA_INVALID;
  size_t pos = 0;
  for (int lineno = 1; pos < text.size(); ++lineno) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        err = "line " + std::to_string(lineno) + ": section header without ']'";
        return -1;
      }
      std::string name = Trim(line.substr(1, line.size() - 2));
      level = GddaLevelFromText(name.c_str());
      if (level == GDDA_INVALID || name.size() == 1) {
        err = "line " + std::to_string(lineno) + ": unknown level [" + name + "]";
        return -1;
      }
      continue;
    }
    size_t eq = line.find('=');
    std::string key = Trim(line.substr(0, eq == std::string::npos ? 0 : eq));
    if (eq == std::string::npos || key.empty()) {
      err = "line " + std::to_string(lineno) + ": expected KEY = VALUE";
      return -1;
    }
    if (level == GDDA_INVALID) {
      err = "line " + std::to_string(lineno) + ": key " + key + " outside a level section";
      return -1;
    }
    out[level][key] = Trim(line.substr(eq + 1));
  }
  return 0;
}

// Reads and parses one dictionary file. An absent file is empty unless
// `must_exist`. Returns 0, or -1 with the reason naming the file.
int LoadSections(const std::string& path, bool must_exist, GddaSections& out, std::string& err) {
  for (auto& section : out) section.clear();
  std::string text;
  int rc = QdReadFile(path, text, err);
  if (rc < 0) return -1;
  if (rc == 1) {
    if (!must_exist) return 0;
    err = "configuration file \"" + path + "\" does not exist";
    return -1;
  }
  if (ParseSections(text, out, err) != 0) {
    err = "\"" + path + "\" " + err;
    return -1;
  }
  return 0;
}

std::string FormatSections(const GddaSections& sections) {
  std::string text =
      "# Values set by programs and qdconf. They override the same keys of\n"
      "# /etc/qd/gdda.conf. Replaced whole on every change: use qdconf set.\n";
  for (int level = GDDA_GLOBAL; level <= GDDA_PROD; ++level) {
    if (sections[level].empty()) continue;
    text += std::string("[") + kLevelNames[level] + "]\n";
    for (const auto& kv : sections[level]) text += kv.first + " = " + kv.second + "\n";
  }
  return text;
}

bool ParseFlag(const std::string& text, bool& out) {
  static const char* const yes[] = {"y", "yes", "true", "1"};
  static const char* const no[] = {"n", "no", "false", "0"};
  for (const char* word : yes) {
    if (strcasecmp(text.c_str(), word) == 0) return out = true, true;
  }
  for (const char* word : no) {
    if (strcasecmp(text.c_str(), word) == 0) return out = false, true;
  }
  return false;
}

}  // namespace

const char* GddaLevelName(int level) { return kLevelNames[ValidLevel(level) ? level : 0]; }

int GddaLevelFromText(const char* text) {
  if (!text || !*text) return GDDA_INVALID;
  if (text[1] == '\0') {
    if (*text >= '1' && *text <= '4') return *text - '0';
    for (int level = GDDA_GLOBAL; level <= GDDA_PROD; ++level) {
      if ((*text & ~0x20) == kLevelLetters[level]) return level;
    }
    return GDDA_INVALID;
  }
  for (int level = GDDA_GLOBAL; level <= GDDA_PROD; ++level) {
    if (strcasecmp(text, kLevelNames[level]) == 0) return level;
  }
  return GDDA_INVALID;
}

CGDDA::CGDDA(const char* conffile, bool must_exist) {
  std::string err;
  std::string path = QdPath(conffile && *conffile ? conffile : kConfFile);
  if (LoadSections(path, must_exist, conf_, err) != 0) {
    CreateError = 1;
    Fail(err);
  }
}

bool CGDDA::Fail(const std::string& text) {
  std::snprintf(szErrorMsg, sizeof szErrorMsg, "%s", text.c_str());
  return false;
}

bool CGDDA::ReadState(GddaSections& state) {
  std::string err;
  if (LoadSections(QdPath(kStateFile), false, state, err) != 0) return Fail(err);
  return true;
}

bool CGDDA::Lookup(const char* key, int level, bool global_fallback, std::string& value) {
  if (CreateError) return Fail("dictionary not available: configuration could not be read");
  if (!key || !*key) return Fail("empty key");
  if (!ValidLevel(level)) return Fail("invalid level " + std::to_string(level));
  GddaSections state;
  if (!ReadState(state)) return false;
  int levels[] = {level, GDDA_GLOBAL};
  int tries = (global_fallback && level != GDDA_GLOBAL) ? 2 : 1;
  for (int i = 0; i < tries; ++i) {
    for (const GddaSections* source : {&state, &conf_}) {
      auto it = (*source)[levels[i]].find(key);
      if (it != (*source)[levels[i]].end()) {
        value = it->second;
        return true;
      }
    }
  }
  return Fail(std::string(key) + " value not found (level " + kLevelNames[level] + ")");
}

int CGDDA::GetSystemLevel(char* leveltext) {
  std::string value;
  int level = GDDA_INVALID;
  if (Lookup("SYSTEM_LEVEL", GDDA_GLOBAL, false, value)) {
    level = GddaLevelFromText(value.c_str());
    if (level == GDDA_INVALID) Fail("SYSTEM_LEVEL value '" + value + "' is not a level name");
  }
  if (leveltext) std::snprintf(leveltext, kGddaLevelTextSize, "%s", kLevelNames[level]);
  return level;
}

bool CGDDA::GetValue(const char* key, bool& out, int level, bool global_fallback) {
  std::string value;
  if (!Lookup(key, level, global_fallback, value)) return false;
  if (!ParseFlag(value, out)) {
    return Fail(std::string(key) + " value '" + value + "' is not Y/N, yes/no, true/false or 1/0");
  }
  return true;
}

bool CGDDA::GetValue(const char* key, long& out, int level, bool global_fallback) {
  std::string value;
  if (!Lookup(key, level, global_fallback, value)) return false;
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || errno == ERANGE) {
    return Fail(std::string(key) + " value '" + value + "' is not a whole number");
  }
  out = number;
  return true;
}

bool CGDDA::GetValue(const char* key, char* out, size_t size, int level, bool global_fallback) {
  std::string value;
  if (!out || size == 0) return Fail("no buffer for the value of " + std::string(key ? key : ""));
  if (!Lookup(key, level, global_fallback, value)) return false;
  if (value.size() >= size) {
    return Fail(std::string(key) + " value is " + std::to_string(value.size()) +
                " characters, the buffer holds " + std::to_string(size - 1));
  }
  std::memcpy(out, value.c_str(), value.size() + 1);
  return true;
}

bool CGDDA::GetValue(const char* key, std::string& out, int level, bool global_fallback) {
  std::string value;
  if (!Lookup(key, level, global_fallback, value)) return false;
  out = value;
  return true;
}

bool CGDDA::SetValue(const char* key, const char* value, int level, int kind, bool create) {
  if (CreateError) return Fail("dictionary not available: configuration could not be read");
  std::string problem = KeyProblem(key);
  if (problem.empty()) problem = ValueProblem(key, value);
  if (!problem.empty()) return Fail(problem);
  if (!ValidLevel(level)) return Fail("invalid level " + std::to_string(level));
  if (kind != kTextKind) return Fail("value kind " + std::to_string(kind) + " not supported");

  std::string err;
  if (QdMakeDirs(QdPath(kStateDir)) != 0) {
    return Fail(std::string("could not create \"") + QdPath(kStateDir) + "\": " + strerror(errno));
  }
  QdFileLock lock;
  if (lock.Acquire(QdPath(kStateLock), err) != 0) return Fail(err);
  // Re-read under the lock: another process may have written since.
  GddaSections state;
  if (!ReadState(state)) return false;
  if (!create && !state[level].count(key) && !conf_[level].count(key)) {
    return Fail(std::string(key) + " value not found (level " + kLevelNames[level] + ")");
  }
  state[level][key] = value;
  if (QdReplaceFile(QdPath(kStateFile), FormatSections(state), err) != 0) return Fail(err);
  return true;
}

bool CGDDA::SetValue(const char* key, const std::string& value, int level, int kind,
                     bool create) {
  // An embedded NUL would silently cut the value.
  if (value.find('\0') != std::string::npos) {
    return Fail(std::string("value for ") + (key ? key : "") + " contains a NUL character");
  }
  return SetValue(key, value.c_str(), level, kind, create);
}

bool CGDDA::SetValue(const char* key, long value, int level, int kind, bool create) {
  return SetValue(key, std::to_string(value).c_str(), level, kind, create);
}

int CGDDA::List(std::vector<GddaEntry>& out) {
  out.clear();
  GddaSections state;
  if (CreateError) {
    Fail("dictionary not available: configuration could not be read");
    return -1;
  }
  if (!ReadState(state)) return -1;
  for (int level = GDDA_GLOBAL; level <= GDDA_PROD; ++level) {
    std::map<std::string, GddaEntry> merged;
    for (const auto& kv : conf_[level]) {
      merged[kv.first] = {level, kv.first, kv.second, false, false};
    }
    for (const auto& kv : state[level]) {
      bool in_conf = conf_[level].count(kv.first) != 0;
      merged[kv.first] = {level, kv.first, kv.second, true, in_conf};
    }
    for (auto& kv : merged) out.push_back(kv.second);
  }
  return 0;
}
