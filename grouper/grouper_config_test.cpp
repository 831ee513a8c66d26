// The grouper's use of the framework: options and start-up summary.
#include "grouper_config.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grouper_state.h"

namespace {

int Parse(DaemonState& st, std::vector<std::string> args) {
  static const DaemonConfig config = GrouperConfig();
  args.insert(args.begin(), "qdGrpNot");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  st.config = &config;
  return DaemonParseOptions(config, st, static_cast<int>(args.size()), argv.data());
}

TEST(GrouperConfig, SleepIntervalOptionAndRefusedLetters) {
  GrouperState g;
  DaemonState st;
  st.app = &g;
  EXPECT_EQ(Parse(st, {"-d", "-s", "7", "-o", "db", "-i", "id", "-p", "QDGX"}), 0);
  EXPECT_EQ(g.sleep_interval, 7);
  EXPECT_EQ(st.db_target, "db");
  EXPECT_EQ(st.process_name, "QDGX");

  GrouperState zero;
  DaemonState st0;
  st0.app = &zero;
  EXPECT_EQ(Parse(st0, {"-s", "0"}), 0);
  EXPECT_EQ(zero.sleep_interval, 60);
  EXPECT_EQ(GrouperState().sleep_interval, 120);

  GrouperState other;
  DaemonState refused;
  refused.app = &other;
  // The analyzer's and notifier's options are not the grouper's.
  EXPECT_EQ(Parse(refused, {"-C", "-t", "-m", "-r", "-l"}), 5);
}

TEST(GrouperConfig, SummaryLinesAreTheGroupersOwn) {
  DaemonConfig config = GrouperConfig();
  GrouperState g;
  g.sleep_interval = 5;
  DaemonState st;
  st.app = &g;
  std::vector<std::string> lines = {
      "DB node 'qd'",          "Process name 'QDGN(3)'",   "Work message name '(0)'",
      "Max inactivity=21600 (sec)", "Retry interval=900 (sec)", "Retry limit=43200 (sec)",
      "System level=Prod",     "Module version=1.0"};
  config.summary(st, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"DB node 'qd'", "Process name 'QDGN(3)'",
                                             "Sleep interval=5 (sec)", "System level=Prod",
                                             "Module version=1.0"}));
  std::vector<std::string> connections(config.connections.begin(), config.connections.end());
  EXPECT_EQ(connections, (std::vector<std::string>{"conn3", "conn2", "conn1"}));
}

}  // namespace
