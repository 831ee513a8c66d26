#include "analysis_engine.h"

#include <new>

AnalysisEngine& Engine() {
  static AnalysisEngine engine;
  return engine;
}

void ReleaseTagTable(TAGENTRY* table) { delete[] table; }

void ReleasePatternTable(PatternEntry* table) {
  if (!table) return;
  for (PatternEntry* entry = table; entry->apply[0] != '\0'; ++entry) {
    if (entry->compiled) regfree(&entry->regex);
  }
  delete[] table;
}

void ResetEngine() {
  AnalysisEngine& engine = Engine();
  DaemonState* daemon = engine.daemon;
  AnalyzerState* analyzer = engine.analyzer;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    ReleaseTagTable(engine.tags[slot]);
    ReleasePatternTable(engine.patterns[slot]);
  }
  engine.~AnalysisEngine();
  new (&engine) AnalysisEngine();
  engine.daemon = daemon;
  engine.analyzer = analyzer;
}
