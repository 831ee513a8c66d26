#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon.h"
#include "daemon_db.h"
#include "daemon_log.h"
#include "hex_id.h"

namespace {

// Runs the option parser over `args` (program name added).
int Parse(const DaemonConfig& config, DaemonState& st, std::vector<std::string> args) {
  args.insert(args.begin(), "qdTest");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  st.config = &config;
  return DaemonParseOptions(config, st, static_cast<int>(args.size()), argv.data());
}

DaemonConfig AnalyzerLike() {
  DaemonConfig c;
  c.module_name = "qdTest";
  c.option_string = "Cdo:i:m:p:t:r:l:";
  return c;
}

// The grouper's sleep option: -s seconds, below 1 becomes 60.
int SleepOption(DaemonState& st, int option, const char* arg) {
  if (option != 's') return -1;
  long value = std::atol(arg);
  st.receive_wait = value < 1 ? 60 : value;
  return 0;
}

TEST(DaemonOptions, TimesNotAboveZeroBecomeOneSecond) {
  DaemonConfig c = AnalyzerLike();
  DaemonState st;
  EXPECT_EQ(Parse(c, st, {"-t", "0", "-r", "-5", "-l", "0"}), 0);
  EXPECT_EQ(st.max_inactivity, 1);
  EXPECT_EQ(st.retry_interval, 1);
  EXPECT_EQ(st.retry_limit, 1);
  EXPECT_EQ(st.receive_wait, 1);  // never longer than the retry interval

  DaemonState other;
  EXPECT_EQ(Parse(c, other, {"-t", "7", "-r", "900", "-l", "abc"}), 0);
  EXPECT_EQ(other.max_inactivity, 7);
  EXPECT_EQ(other.retry_limit, 1);
  EXPECT_EQ(other.receive_wait, 2);
}

TEST(DaemonOptions, NamesAndDatabaseFromOptionsAreMarked) {
  DaemonConfig c = AnalyzerLike();
  DaemonState st;
  EXPECT_EQ(Parse(c, st, {"-d", "-C", "-o", "db1", "-p", "QDX", "-m", "XIQ"}), 0);
  EXPECT_TRUE(st.no_retry_cycles);
  EXPECT_EQ(st.db_target, "db1");
  EXPECT_TRUE(st.target_from_option);
  EXPECT_FALSE(st.id_from_option);
  EXPECT_EQ(st.process_name, "QDX");
  EXPECT_EQ(st.message_name, "XIQ");
  // A second parse in the same process starts from the first argument again.
  DaemonState again;
  EXPECT_EQ(Parse(c, again, {"-i", "id2"}), 0);
  EXPECT_EQ(again.db_id, "id2");
  EXPECT_TRUE(again.db_target.empty());
}

TEST(DaemonOptions, EachUnknownOrIncompleteOptionCounts) {
  DaemonConfig c = AnalyzerLike();
  DaemonState st;
  EXPECT_EQ(Parse(c, st, {"-x", "-y", "-t", "5"}), 2);
  EXPECT_EQ(st.max_inactivity, 5);
  DaemonState missing;
  EXPECT_EQ(Parse(c, missing, {"-o"}), 1);
}

TEST(DaemonOptions, NotifierHasNoRetryCycleOption) {
  DaemonConfig c = AnalyzerLike();
  c.option_string = "do:i:m:p:t:r:l:";
  DaemonState st;
  EXPECT_EQ(Parse(c, st, {"-C", "-d"}), 1);
  EXPECT_FALSE(st.no_retry_cycles);
}

TEST(DaemonOptions, GrouperOptionsGoThroughItsOwnHandler) {
  DaemonConfig c = AnalyzerLike();
  c.option_string = "do:i:p:s:";
  c.extra_option = SleepOption;
  DaemonState st;
  EXPECT_EQ(Parse(c, st, {"-s", "0", "-o", "db"}), 0);
  EXPECT_EQ(st.receive_wait, 60);
  DaemonState refused;
  EXPECT_EQ(Parse(c, refused, {"-C", "-m", "-t", "5"}), 3);
  EXPECT_EQ(refused.max_inactivity, 21600);
}

TEST(DaemonTexts, StatusOfEachResultAndOwnMessageIds) {
  EXPECT_STREQ(TxnStatusText(kStepDone), "Done");
  EXPECT_STREQ(TxnStatusText(kStepRetry), "Retry");
  EXPECT_STREQ(TxnStatusText(kStepRefuse), "Reject");
  EXPECT_STREQ(TxnStatusText(kStepDbFailure), "unknown");
  EXPECT_STREQ(TxnStatusText(7), "unknown");
  DaemonState st;
  st.message_prefix[2] = 'N';
  EXPECT_EQ(DaemonMsgId(st, "0011"), "QDN0011");
  EXPECT_EQ(HexId(0x2a), "0000002A");
  EXPECT_EQ(HexId(-1), "FFFFFFFF");
}

}  // namespace
