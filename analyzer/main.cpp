// qdAnalyze: the analyzer daemon. Takes analysis requests ("AIQ" to
// "QDAN") and runs the analysis of the requested file's type.
#include "analyzer_state.h"
#include "daemon.h"
#include "handler_patterns.h"
#include "process_message.h"

namespace {

void CompilePatterns(DaemonState& st) {
  (void)CompileHandlerPatterns(st, EventHandlerPatternTexts());
}

DaemonConfig AnalyzerConfig() {
  DaemonConfig config;
  config.module_name = "qdAnalyze";
  config.process_name = "QDAN";
  config.message_name = "AIQ";
  config.option_string = "Cdo:i:m:p:t:r:l:";
  config.after_initialize = CompilePatterns;
  config.process = process_message;
  return config;
}

}  // namespace

int main(int argc, char** argv) {
  static const DaemonConfig config = AnalyzerConfig();
  static AnalyzerState analyzer;
  static DaemonState state;
  state.app = &analyzer;
  int rc = DaemonMain(config, state, argc, argv);
  ReleaseHandlerPatterns(analyzer);
  return rc;
}
