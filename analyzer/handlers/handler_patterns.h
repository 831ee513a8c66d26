#pragma once
// The event handlers' extended regular expressions, compiled once at
// start-up and kept for the life of the process.

#include <vector>

#include "analyzer_state.h"

// The patterns' texts, in slot order. Each handler adds its own.
const std::vector<const char*>& EventHandlerPatternTexts();

// Compiles every pattern into `Analyzer(st).patterns` (replacing what was
// there). A pattern that does not compile logs the daemon's message 0036
// ('2'; -1, "event handler patterns", its index) and 9999 ('2'; the
// expression error text); its slot stays empty and the others go on.
// Returns the number of patterns that failed.
int CompileHandlerPatterns(DaemonState& st, const std::vector<const char*>& texts);

// Frees the compiled patterns.
void ReleaseHandlerPatterns(AnalyzerState& an);

// Pattern `n` of the engine's analyzer state when it compiled, else null
// (also without an analyzer state or past the table's end).
const regex_t* HandlerPatternAt(int n);
