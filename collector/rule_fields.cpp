#include "rule_fields.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "qd_path.h"

bool SplitRuleFields(const std::string& line, int n, std::vector<std::string>& fields) {
  fields.clear();
  size_t at = 0;
  for (int i = 0; i < n - 1; ++i) {
    size_t comma = line.find(',', at);
    if (comma == std::string::npos) return false;
    fields.push_back(line.substr(at, comma - at));
    at = comma + 1;
  }
  size_t semi = line.find(';', at);
  if (semi == std::string::npos) return false;
  fields.push_back(line.substr(at, semi - at));
  return true;
}

bool RuleInt(const std::string& text, int32_t& out) {
  const char* s = text.c_str();
  while (*s == ' ' || *s == '\t') ++s;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (end == s || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool RuleText(const std::string& text, char* field, size_t cap) {
  if (text.empty() || text.size() >= cap) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

FILE* OpenRuleFile(const std::string& own, const std::string& common, std::string& path,
                   std::vector<std::string>& missing) {
  char line[4096];
  for (const std::string& name : {own, common}) {
    FILE* in = std::fopen(QdPath(name).c_str(), "r");
    if (in && std::fgets(line, sizeof line, in)) {
      path = name;
      for (int i = 0; i < 2 && std::fgets(line, sizeof line, in); ++i) {
      }
      return in;
    }
    if (in) std::fclose(in);
    missing.push_back(name);
  }
  return nullptr;
}
