#include "pattern_table.h"

#include <cstdio>

#include "engine_log.h"
#include "tag_table.h"

int FillPatternEntry(PatternEntry& entry, long file_type, int slot, const char* apply, int lineseq,
                     int rule, const char* pattern, const char* const tags[kCaptureCount]) {
  int rc = regcomp(&entry.regex, pattern ? pattern : "", REG_EXTENDED);
  if (rc != 0) {
    char error[kRegexErrorMax + 1];
    regerror(rc, &entry.regex, error, sizeof error);
    AnalLog("0036", 'A', file_type, apply, lineseq);
    AnalLog("9999", '2', error);
    entry.apply[0] = '\0';
    return kPatternBadRegex;
  }
  entry.compiled = true;
  std::snprintf(entry.apply, sizeof entry.apply, "%s", apply ? apply : "");
  entry.lineseq = lineseq;
  entry.rule = rule;
  int result = kPatternFilled;
  for (int k = 0; k < kCaptureCount; ++k) {
    entry.tag[k] = nullptr;
    if (!tags[k]) continue;
    entry.tag[k] = FindTagEntry(slot, tags[k]);
    if (!entry.tag[k]) {
      AnalLog("0038", 'A', tags[k], file_type);
      result = kPatternTagMissing;
    }
  }
  return result;
}
