#include "handler_patterns.h"

#include "daemon_log.h"

const std::vector<const char*>& EventHandlerPatternTexts() {
  static const std::vector<const char*> texts;
  return texts;
}

int CompileHandlerPatterns(DaemonState& st, const std::vector<const char*>& texts) {
  AnalyzerState& an = Analyzer(st);
  ReleaseHandlerPatterns(an);
  int failed = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    auto slot = std::make_unique<HandlerPattern>();
    int rc = regcomp(&slot->regex, texts[i], REG_EXTENDED);
    if (rc == 0) {
      slot->compiled = true;
    } else {
      char why[1024];
      regerror(rc, &slot->regex, why, sizeof why);
      DaemonLogOwn(st, "0036", '2', -1, "event handler patterns", static_cast<long>(i));
      DaemonLogOwn(st, "9999", '2', why);
      ++failed;
    }
    an.patterns.push_back(std::move(slot));
  }
  return failed;
}

void ReleaseHandlerPatterns(AnalyzerState& an) {
  for (auto& slot : an.patterns) {
    if (slot->compiled) regfree(&slot->regex);
  }
  an.patterns.clear();
}
