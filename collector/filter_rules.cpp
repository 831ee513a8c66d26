#include "filter_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "prefilter.h"
#include "rule_fields.h"

namespace {

bool Blank(const char* field) { return field[0] == ' ' || field[0] == '\0'; }

}  // namespace

bool ParseFilterLine(const std::string& line, FilterEntry& out) {
  std::vector<std::string> f;
  if (!SplitRuleFields(line, 13, f)) return false;
  std::memset(&out, 0, sizeof out);
  if (!RuleText(f[0], out.type, sizeof out.type) || !RuleInt(f[1], out.sev) ||
      !RuleInt(f[2], out.eclass) || !RuleInt(f[3], out.action) || !RuleInt(f[4], out.number)) {
    return false;
  }
  for (int k = 0; k < 5; ++k) {
    if (!RuleText(f[5 + k], out.comp[k], sizeof out.comp[k])) return false;
  }
  return RuleText(f[10], out.level, sizeof out.level) &&
         RuleText(f[11], out.cmpstr, sizeof out.cmpstr) &&
         RuleText(f[12], out.command, sizeof out.command);
}

int ReadFilterRules(const std::string& sysid, FilterTable& table, std::vector<std::string>& notes) {
  table.rules.clear();
  table.path.clear();
  const std::string own = "/sp/prod/control/appconf/" + sysid + ".filt";
  const std::string common = "/sp/prod/control/appconf/common.filt";
  std::vector<std::string> missing;
  FILE* in = OpenRuleFile(own, common, table.path, missing);
  for (const auto& name : missing) {
    notes.push_back(name == own ? "Cannot read header in special filter file"
                                : "Cannot read header in common filter file");
  }
  if (!in) return 1;
  char line[4096];
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
