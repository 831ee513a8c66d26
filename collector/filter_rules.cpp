#include "filter_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "prefilter.h"
#include "qd_path.h"

namespace {

bool ParseInt(const std::string& text, int32_t& out) {
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

bool CopyText(const std::string& text, char* field, size_t cap) {
  if (text.empty() || text.size() >= cap) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}

bool Blank(const char* field) { return field[0] == ' ' || field[0] == '\0'; }

}  // namespace

bool ParseFilterLine(const std::string& line, FilterEntry& out) {
  std::vector<std::string> f;
  size_t at = 0;
  for (int i = 0; i < 12; ++i) {
    size_t comma = line.find(',', at);
    if (comma == std::string::npos) return false;
    f.push_back(line.substr(at, comma - at));
    at = comma + 1;
  }
  size_t semi = line.rfind(';');
  if (semi == std::string::npos || semi < at) return false;
  f.push_back(line.substr(at, semi - at));
  std::memset(&out, 0, sizeof out);
  if (!CopyText(f[0], out.type, sizeof out.type) || !ParseInt(f[1], out.sev) ||
      !ParseInt(f[2], out.eclass) || !ParseInt(f[3], out.action) || !ParseInt(f[4], out.number)) {
    return false;
  }
  for (int k = 0; k < 5; ++k) {
    if (!CopyText(f[5 + k], out.comp[k], sizeof out.comp[k])) return false;
  }
  return CopyText(f[10], out.level, sizeof out.level) &&
         CopyText(f[11], out.cmpstr, sizeof out.cmpstr) &&
         CopyText(f[12], out.command, sizeof out.command);
}

int ReadFilterRules(const std::string& sysid, FilterTable& table, std::vector<std::string>& notes) {
  table.rules.clear();
  table.path.clear();
  const std::string own = "/sp/prod/control/appconf/" + sysid + ".filt";
  const std::string common = "/sp/prod/control/appconf/common.filt";
  FILE* in = nullptr;
  char line[4096];
  for (const std::string& path : {own, common}) {
    in = std::fopen(QdPath(path).c_str(), "r");
    if (in && std::fgets(line, sizeof line, in)) {
      table.path = path;
      break;
    }
    notes.push_back(path == own ? "Cannot read header in special filter file"
                                : "Cannot read header in common filter file");
    if (in) std::fclose(in);
    in = nullptr;
  }
  if (!in) return 1;
  for (int skip = 0; skip < 2 && std::fgets(line, sizeof line, in); ++skip) {
  }
  int rc = 0;
  while (std::fgets(line, sizeof line, in)) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    FilterEntry rule;
    if (text.size() > kFilterLineMax || !ParseFilterLine(text, rule)) {
      notes.push_back("spfilter skipped rule line: " + text.substr(0, 80));
      continue;
    }
    if (table.rules.size() >= static_cast<size_t>(kFilterMaxRules)) {
      notes.push_back("spfilter pFE reached max entries");
      rc = -1;
      break;
    }
    table.rules.push_back(rule);
  }
  if (rc == 0 && std::ferror(in)) rc = -1;
  std::fclose(in);
  return rc;
}

const FilterEntry* ChooseRule(const FilterTable& table, const char* type_name,
                              const std::string& msgcode_text, const char* event_string,
                              const char* vqx_level) {
  for (const FilterEntry& r : table.rules) {
    if (std::strcmp(r.type, type_name) != 0 && msgcode_text != r.type) continue;
    if (!Blank(r.level) && cur_gt_filter_level(vqx_level, r.level)) continue;
    if (std::strcmp(r.cmpstr, " ") == 0 || std::strstr(event_string, r.cmpstr)) return &r;
  }
  return nullptr;
}

namespace {
// Keys are kept in 39 characters: a longer one is known by its start.
std::string Key(const std::string& proc) { return proc.substr(0, sizeof(ProcEntry::proc) - 1); }
}  // namespace

int check_proc(ProcTable& table, const std::string& name, time_t now, long window, bool* full) {
  const std::string proc = Key(name);
  if (full) *full = false;
  for (const ProcEntry& p : table.entries) {
    if (proc == p.proc) return difftime(now, p.last) > window ? 1 : 0;
  }
  ProcEntry fresh;
  std::memset(&fresh, 0, sizeof fresh);
  std::strncpy(fresh.proc, proc.c_str(), sizeof fresh.proc - 1);
  if (table.entries.size() >= kProcMaxKeys) {
    if (full) *full = true;
    table.entries.clear();
  }
  table.entries.push_back(fresh);
  return 1;
}

long proc_time(const ProcTable& table, const std::string& name) {
  const std::string proc = Key(name);
  for (const ProcEntry& p : table.entries) {
    if (proc == p.proc) return p.last;
  }
  return 0;
}

int update_proc_time(ProcTable& table, const std::string& name, time_t now) {
  const std::string proc = Key(name);
  for (ProcEntry& p : table.entries) {
    if (proc == p.proc) {
      p.last = static_cast<int32_t>(now);
      return 0;
    }
  }
  return 1;
}
