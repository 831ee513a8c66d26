#include "disk_analysis.h"

#include <cstdio>

#include "analyzer_state.h"
#include "handler_patterns.h"

bool ExtendedAnalysisOn() {
  DaemonState* st = Engine().daemon;
  return st && !st->on_sp;
}

int RunHandlerPattern(int number, const std::string& text, regmatch_t groups[11]) {
  const regex_t* re = HandlerPatternAt(number);
  if (!re) return -1;
  return regexec(re, text.c_str(), 11, groups, 0) == 0 ? 1 : 0;
}

std::string MatchGroup(const std::string& text, const regmatch_t groups[11], int n) {
  if (n < 0 || n > 10 || groups[n].rm_so < 0) return "";
  return text.substr(groups[n].rm_so, groups[n].rm_eo - groups[n].rm_so);
}

void SetMsgValue(int n, const std::string& value) {
  if (n < 0 || n >= kCaptureCount) return;
  std::snprintf(Engine().msgval[n], kCaptureSize, "%s", value.c_str());
}

void SetDiskKeys(const std::string& category) {
  AnalysisEngine& engine = Engine();
  for (int k = 0; k < kMsgKeyCount; ++k) {
    std::snprintf(engine.Mkey[k], kMsgKeySize, "%s", k == 3 ? category.c_str() : "na");
  }
}
