// qdAnalyze: the analyzer daemon. Takes analysis requests ("AIQ" to
// "QDAN") and runs the analysis of the requested file's type.
#include "analysis_engine.h"
#include "analyzer_state.h"
#include "daemon.h"
#include "handler_patterns.h"
#include "process_message.h"
#include "request_attempts.h"

namespace {

void CompilePatterns(DaemonState& st) {
  (void)CompileHandlerPatterns(st, EventHandlerPatternTexts());
}

// The tag and pattern tables are cached until re-initialisation or the end.
void ReleaseTables(DaemonState&) { ResetEngine(); }

DaemonConfig AnalyzerConfig() {
  DaemonConfig config;
  config.module_name = "qdAnalyze";
  config.process_name = "QDAN";
  config.message_name = "AIQ";
  config.option_string = "Cdo:i:m:p:t:r:l:";
  config.after_initialize = CompilePatterns;
  config.release = ReleaseTables;
  config.process = process_message;
  config.update_status = UpdateAttemptStatus;
  // Reads and the log row's insert commit themselves; the outcome's
  // statements, which must commit together, and the cursors open their
  // transaction themselves. This spares every analysis the round trips of
  // beginning and ending the transactions the reads would otherwise open.
  config.autocommit = true;
  return config;
}

}  // namespace

int main(int argc, char** argv) {
  static const DaemonConfig config = AnalyzerConfig();
  static AnalyzerState analyzer;
  static DaemonState state;
  state.app = &analyzer;
  Engine().daemon = &state;
  Engine().analyzer = &analyzer;
  int rc = DaemonMain(config, state, argc, argv);
  ReleaseHandlerPatterns(analyzer);
  return rc;
}
