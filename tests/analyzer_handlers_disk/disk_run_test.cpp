// The disk handlers in the running qdAnalyze. Every event file of
// tests/corpus/handlers/disk is catalogued and analyzed; the history row
// (urgency, keys, details) and the report are compared with EXPECTED and
// the expected report files beside the events. Off the service processor
// the handlers write their reports; on it they only choose the template.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analyzer_run.h"
#include "temp_root.h"
#include "child_process.h"

namespace {

constexpr char kEventDir[] = "/sp/prod/data/files/1400123/event/";

using Section = std::map<std::string, std::string>;

std::string SourceDir() {
  const char* src = std::getenv("QD_SOURCE_DIR");
  return src ? src : ".";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string FixtureDir() { return SourceDir() + "/tests/corpus/handlers/disk/"; }

// EXPECTED: "[name]" sections of "key = value" lines, "#" comments.
std::map<std::string, Section> LoadExpected() {
  std::map<std::string, Section> out;
  std::istringstream in(ReadFile(FixtureDir() + "EXPECTED"));
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
      out[current];
      continue;
    }
    size_t eq = line.find(" = ");
    if (eq != std::string::npos) out[current][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return out;
}

// A report with its run time (which differs per run) written as RUNDATE.
std::string Normalized(const std::string& report) {
  return std::regex_replace(report, std::regex("Analysis timestamp is [^\n]*\\."),
                            "Analysis timestamp is RUNDATE.");
}

class DiskRun : public AnalyzerRun {
 protected:
  void Configure(bool on_sp) {
    root_.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\nRUNNINGONSP = " +
                                         std::string(on_sp ? "Y" : "N") + "\nWM_CONNINFO = dbname=" +
                                         db_.name() + "\n[Prod]\nORASID = " + db_.name() + "\nORAID = qd\n");
  }

  // Catalogues and requests every fixture; waits for all. Sequence = name.
  void AnalyzeAll(const std::map<std::string, Section>& expected) {
    StartReady({"-t", "60"});
    std::vector<std::string> msgids;
    for (const auto& fixture : expected) {
      const std::string& name = fixture.first;
      root_.write(kEventDir + name, ReadFile(FixtureDir() + name + ".event"));
      std::vector<std::string> rows = db_.query(
          "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
          "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
          "values ('Zarvek', 'VELMAR', '1400123', '2005-04-15 10:00:00', 100, '" + Seq(name) +
          "', 'EVENT', '" + kEventDir + name + "', '0', '0', 'A', 'X') returning objid");
      ASSERT_EQ(rows.size(), 1u);
      msgids.push_back(Send(JoinSettings(kRequestSp, {"prod.vendor=Zarvek", "prod.prod=VELMAR",
                                                      "prod.id=1400123", "FDB_Objid=" + rows[0]})));
    }
    for (const std::string& id : msgids) ASSERT_TRUE(Ended(id, "Deleted")) << Log();
    daemon_.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(Exit()), 100);
  }

  // file_seq holds 10 characters: the fixture's number in EXPECTED order.
  std::string Seq(const std::string& name) {
    if (!seqs_.count(name)) seqs_[name] = "d" + std::to_string(seqs_.size() + 1);
    return seqs_[name];
  }

  // "urgency|key1,...,key6|details" of the fixture's history row.
  std::string History(const std::string& name) {
    std::vector<std::string> rows = db_.query(
        "select urgency || '|' || coalesce(concat_ws(',', ea_key1, ea_key2, ea_key3, ea_key4, ea_key5, "
        "ea_key6), '') || '|' || coalesce(ea_details, '') from qd_anal_history where file_seq = '" +
        Seq(name) + "'");
    return rows.size() == 1 ? rows[0] : "(" + std::to_string(rows.size()) + " rows)";
  }

  std::map<std::string, std::string> seqs_;
};

TEST_F(DiskRun, OffTheServiceProcessorReportsCarryTheCategoryAndCallouts) {
  std::map<std::string, Section> expected = LoadExpected();
  ASSERT_GE(expected.size(), 7u);
  Configure(false);
  AnalyzeAll(expected);
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    Section want = fixture.second;
    SCOPED_TRACE(name);
    std::string keys = want["keys"] == "none" ? "" : want["keys"];
    std::string details = want["details"] == "none" ? "" : want["details"];
    EXPECT_EQ(History(name), want["urgency"] + "|" + keys + "|" + details);
    std::string report_path = FixtureDir() + name + ".analysis";
    std::string report = root_.read(kEventDir + name + ".analysis");
    if (FileExists(report_path)) {
      EXPECT_EQ(Normalized(report), ReadFile(report_path));
    } else {
      EXPECT_EQ(report, "") << "no report expected";
    }
  }
  EXPECT_EQ(Count("QDA0042 A Extended analysis failed: 'showpd #'"), 0) << "the missing listing is quiet";
  EXPECT_EQ(Alerts().find("fru callout"), std::string::npos) << Alerts();
  EXPECT_EQ(Alerts().find("description not found"), std::string::npos) << Alerts();
}

TEST_F(DiskRun, OnTheServiceProcessorNoReportAndNoKeys) {
  std::map<std::string, Section> expected = LoadExpected();
  Configure(true);
  AnalyzeAll(expected);
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    Section want = fixture.second;
    SCOPED_TRACE(name);
    EXPECT_EQ(History(name), want["urgency.on_sp"] + "||");
    EXPECT_EQ(root_.read(kEventDir + name + ".analysis"), "");
  }
}

// Each fixture's attached listing is what the collection stand-in prints
// for that disk, so the demo and the tests show the same command output.
TEST(DiskFixtures, AttachedListingsAreTheStandInsOutputs) {
  std::map<std::string, Section> expected = LoadExpected();
  const char* build = std::getenv("QD_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  TempRoot root;  // what the stand-in prints, removed with the root
  for (const auto& fixture : expected) {
    if (fixture.second.count("command") == 0) continue;
    SCOPED_TRACE(fixture.first);
    std::string event = ReadFile(FixtureDir() + fixture.first + ".event");
    ChildSpec cmd;
    cmd.argv = {std::string(build) + "/sim-bin/spcmd"};
    std::istringstream words(fixture.second.at("command"));
    for (std::string word; words >> word;) cmd.argv.push_back(word);
    std::string out = root.under("/spcmd." + fixture.first);
    cmd.stdoutPath = out;
    int status = -1;
    char err[256] = {0};
    ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string printed = ReadFile(out);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(event.substr(event.size() - std::min(event.size(), printed.size())), printed);
  }
}

// Commands without a recorded output, and words that would leave the
// outputs folder, fail with one line and exit 1.
TEST(DiskFixtures, StandInRefusesUnknownCommands) {
  const char* build = std::getenv("QD_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  TempRoot root;
  std::string out = root.under("/spcmd.unknown");
  for (std::vector<std::string> words : {std::vector<std::string>{"showpd", "999"},
                                         std::vector<std::string>{"..", "outputs", "showpd", "7"},
                                         std::vector<std::string>{"../outputs/showpd", "7"}}) {
    ChildSpec cmd;
    cmd.argv = {std::string(build) + "/sim-bin/spcmd"};
    cmd.argv.insert(cmd.argv.end(), words.begin(), words.end());
    cmd.stdoutPath = out;
    cmd.stderrPath = "=stdout";
    int status = -1;
    char err[256] = {0};
    ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << words[0];
    std::string said = ReadFile(out);
    EXPECT_EQ(said.rfind("spcmd: unknown command '", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

}  // namespace
