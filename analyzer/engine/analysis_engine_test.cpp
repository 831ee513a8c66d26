#include "analysis_engine.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void Silent(char, const std::string&, const std::string&) {}

// What one analysis or test leaves in the engine must not reach the next:
// a reset takes back seams, indicators, the notifier id and every value,
// and keeps only the daemon and the program state it works for.
TEST(AnalysisEngine, ResetLeavesNothingButTheDaemonAndProgramState) {
  DaemonState daemon;
  AnalyzerState analyzer;
  AnalysisEngine& engine = Engine();
  engine.daemon = &daemon;
  engine.analyzer = &analyzer;
  engine.seams.alert = Silent;
  engine.indicators.keys_set = true;
  engine.indicators.details = "~Reason=x~";
  engine.notifier_id = 17;
  engine.tags[1] = new TAGENTRY[1];
  engine.result.ASymptom = "symptom";
  std::strcpy(engine.Mkey[0], "key");

  ResetEngine();

  EXPECT_EQ(engine.daemon, &daemon);
  EXPECT_EQ(engine.analyzer, &analyzer);
  EXPECT_EQ(engine.seams.alert, nullptr);
  EXPECT_FALSE(engine.indicators.keys_set);
  EXPECT_EQ(engine.indicators.details, "");
  EXPECT_EQ(engine.notifier_id, 0);
  EXPECT_EQ(engine.tags[1], nullptr);
  EXPECT_EQ(engine.result.ASymptom, "");
  EXPECT_STREQ(engine.Mkey[0], "");
  engine.daemon = nullptr;
  engine.analyzer = nullptr;
}

}  // namespace
