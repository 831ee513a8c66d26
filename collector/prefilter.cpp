#include "prefilter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rule_fields.h"

namespace {

bool SplitLevel(const char* text, long parts[4]) {
  int n = 0;
  const char* s = text;
  for (;;) {
    if (n == 4) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || errno != 0 || v < 0) return false;
    parts[n++] = v;
    if (*end == '\0') break;
    if (*end != '.') return false;
    s = end + 1;
  }
  return n == 4;
}

}  // namespace

bool ParsePrefilterLine(const std::string& line, EventEntry& out) {
  std::vector<std::string> fields;
  if (!SplitRuleFields(line, 6, fields)) return false;
  std::memset(&out, 0, sizeof out);
  return RuleText(fields[0], out.type, sizeof out.type) && RuleInt(fields[1], out.sev) &&
         RuleInt(fields[2], out.number) && RuleInt(fields[3], out.process) &&
         RuleText(fields[4], out.level, sizeof out.level) &&
         RuleText(fields[5], out.cmpstr, sizeof out.cmpstr);
}

int ReadPrefilter(const std::string& sysid, PrefilterTable& table, std::vector<std::string>& notes) {
  table.entries.clear();
  table.path.clear();
  const std::string own = "/sp/prod/control/appconf/" + sysid + ".prefilt";
  const std::string common = "/sp/prod/control/appconf/common.prefilt";
  std::vector<std::string> missing;
  FILE* in = OpenRuleFile(own, common, table.path, missing);
  if (!in) return 1;
  char line[4096];
  int lineno = 3;
  bool full = false;
  while (std::fgets(line, sizeof line, in)) {
    ++lineno;
    std::string text(line);
    bool whole = !text.empty() && text.back() == '\n';
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!whole && !std::feof(in)) {
      // An overlong line: skip the rest of it.
      int c;
      while ((c = std::fgetc(in)) != EOF && c != '\n') {
      }
      notes.push_back("Prefilter " + table.path + " line " + std::to_string(lineno) +
                      " longer than 199 characters, skipped");
      continue;
    }
    if (text.find_first_not_of(" \t") == std::string::npos) {
      notes.push_back("Prefilter " + table.path + " line " + std::to_string(lineno) +
                      " is blank, skipped");
      continue;
    }
    if (text.size() > kPrefilterLineMax) {
      notes.push_back("Prefilter " + table.path + " line " + std::to_string(lineno) +
                      " longer than 199 characters, skipped");
      continue;
    }
    EventEntry entry;
    if (!ParsePrefilterLine(text, entry)) {
      notes.push_back("Prefilter " + table.path + " line " + std::to_string(lineno) +
                      " is not an entry, skipped: " + text);
      continue;
    }
    if (static_cast<int>(table.entries.size()) >= kPrefilterSlots - 1) {
      notes.push_back("evtmon pEE reached max entries");
      full = true;
      break;
    }
    table.entries.push_back(entry);
  }
  bool at_eof = full || std::feof(in);
  std::fclose(in);
  return at_eof ? 0 : -1;
}

int PrefilterDecision(const PrefilterTable& table, const evtmon_t& e, const char* vqx_level,
                      int initial, std::string* matched) {
  if (matched) matched->clear();
  for (const EventEntry& entry : table.entries) {
    if (std::strcmp(entry.type, e.type) != 0) continue;
    if (entry.level[0] != ' ' && cur_gt_filter_level(vqx_level, entry.level)) continue;
    if (std::strcmp(entry.cmpstr, " ") != 0 && !std::strstr(e.event_string, entry.cmpstr)) continue;
    if (matched) *matched = entry.cmpstr;
    if (e.sev <= entry.sev) return entry.process;
    return entry.process == 1 ? 0 : 1;
  }
  return initial;
}

bool cur_gt_filter_level(const char* cur, const char* filt) {
  long a[4], b[4];
  if (!cur || !filt || !SplitLevel(cur, a) || !SplitLevel(filt, b)) return false;
  for (int i = 0; i < 4; ++i) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return false;
}
