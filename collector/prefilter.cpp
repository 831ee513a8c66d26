#include "prefilter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  size_t at = 0;
  for (int i = 0; i < 5; ++i) {
    size_t comma = line.find(',', at);
    if (comma == std::string::npos) return false;
    fields.push_back(line.substr(at, comma - at));
    at = comma + 1;
  }
  size_t semi = line.find(';', at);
  if (semi == std::string::npos) return false;
  fields.push_back(line.substr(at, semi - at));
  std::memset(&out, 0, sizeof out);
  return CopyText(fields[0], out.type, sizeof out.type) && ParseInt(fields[1], out.sev) &&
         ParseInt(fields[2], out.number) && ParseInt(fields[3], out.process) &&
         CopyText(fields[4], out.level, sizeof out.level) &&
         CopyText(fields[5], out.cmpstr, sizeof out.cmpstr);
}

int ReadPrefilter(const std::string& sysid, PrefilterTable& table, std::vector<std::string>& notes) {
  table.entries.clear();
  table.path.clear();
  const std::string own = "/sp/prod/control/appconf/" + sysid + ".prefilt";
  const std::string common = "/sp/prod/control/appconf/common.prefilt";
  FILE* in = nullptr;
  char line[4096];
  for (const std::string& path : {own, common}) {
    in = std::fopen(QdPath(path).c_str(), "r");
    if (in && std::fgets(line, sizeof line, in)) {
      table.path = path;
      break;
    }
    if (in) std::fclose(in);
    in = nullptr;
  }
  if (!in) return 1;
  // The first header line is read; two more follow.
  for (int i = 0; i < 2 && std::fgets(line, sizeof line, in); ++i) {
  }
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
