// Drive cage events through the running qdAnalyze with the installed rules:
// the event files of tests/corpus/handlers/cage (showcage listing attached)
// give the keys, urgency and details EXPECTED names, and the reports in
// that folder; on the service processor the same files give no report and
// no keys.
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analyzer_run.h"

namespace {

constexpr char kEventDir[] = "/sp/prod/data/files/1400123/event/";

std::string Folder() {
  const char* src = std::getenv("QD_SOURCE_DIR");
  return std::string(src ? src : ".") + "/tests/corpus/handlers/cage/";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

using Fields = std::map<std::string, std::string>;

// EXPECTED: "[name]" sections of "key = value" lines.
std::map<std::string, Fields> LoadExpected() {
  std::map<std::string, Fields> out;
  std::istringstream in(ReadFile(Folder() + "EXPECTED"));
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      out[section];
      continue;
    }
    size_t eq = line.find(" =");
    if (eq == std::string::npos) continue;
    size_t value = line.find_first_not_of(' ', eq + 2);
    out[section][line.substr(0, eq)] = value == std::string::npos ? "" : line.substr(value);
  }
  return out;
}

// The report without its line of the analysis time.
std::string MaskRunDate(std::string report) {
  size_t at = report.find("Analysis timestamp is ");
  if (at != std::string::npos) report.erase(at, report.find('\n', at) - at);
  return report;
}

class CageRun : public AnalyzerRun {
 protected:
  void SetUp() override {
    // The cage clock and the event time are both read as this zone's.
    setenv("TZ", "UTC0", 1);
    AnalyzerRun::SetUp();
  }

  void OnServiceProcessor() {
    std::string conf = root_.read("/etc/qd/gdda.conf");
    conf.replace(conf.find("[Global]\n"), 9, "[Global]\nRUNNINGONSP = Y\n");
    root_.write("/etc/qd/gdda.conf", conf);
  }

  std::string Analyze(const std::string& name, const std::string& seq) {
    root_.write(kEventDir + name, ReadFile(Folder() + name));
    std::vector<std::string> rows = db_.query(
        "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
        "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
        "values ('Zarvek', 'VELMAR', '1400123', '2005-04-15 10:00:00', 100, '" + seq +
        "', 'EVENT', '" + kEventDir + name + "', '0', '0', 'A', 'X') returning objid");
    EXPECT_EQ(rows.size(), 1u);
    return Send(JoinSettings(kRequestSp, {"prod.vendor=Zarvek", "prod.prod=VELMAR",
                                          "prod.id=1400123", "FDB_Objid=" + rows.at(0)}));
  }

  // History columns of sequence `seq`.
  Fields History(const std::string& seq) {
    static const std::vector<std::string> columns = {"urgency", "keys", "details", "detail"};
    std::vector<std::string> rows = db_.query(
        "select concat_ws(chr(31), urgency, concat_ws(',', ea_key1, ea_key2, ea_key3, ea_key4, "
        "ea_key5, ea_key6), coalesce(ea_details, ''), symptom_detail) from qd_anal_history "
        "where file_seq = '" + seq + "'");
    Fields row;
    if (rows.size() != 1) return row;
    std::string rest = rows[0] + "\x1f";
    for (const std::string& column : columns) {
      size_t end = rest.find('\x1f');
      row[column] = rest.substr(0, end);
      rest.erase(0, end + 1);
    }
    return row;
  }

  // Runs every file of EXPECTED; returns name -> sequence.
  std::map<std::string, std::string> RunAll(const std::map<std::string, Fields>& expected) {
    std::map<std::string, std::string> seqs, msgids;
    int n = 0;
    for (const auto& file : expected) {
      std::string seq = "k" + std::to_string(++n);
      seqs[file.first] = seq;
      msgids[seq] = Analyze(file.first, seq);
    }
    for (const auto& sent : msgids) EXPECT_TRUE(Ended(sent.second, "Deleted")) << Log();
    return seqs;
  }
};

TEST_F(CageRun, OffTheServiceProcessorKeysReportsAndUrgencyFollowTheListing) {
  std::map<std::string, Fields> expected = LoadExpected();
  ASSERT_FALSE(expected.empty());
  StartReady({"-t", "60"});
  std::map<std::string, std::string> seqs = RunAll(expected);
  for (const auto& file : expected) {
    SCOPED_TRACE(file.first);
    const Fields& want = file.second;
    Fields got = History(seqs[file.first]);
    ASSERT_FALSE(got.empty()) << "no history row";
    EXPECT_EQ(want.at("urgency"), got["urgency"]);
    EXPECT_EQ(want.at("keys"), got["keys"]);
    EXPECT_EQ(want.at("details"), got["details"]);
    EXPECT_EQ(want.at("detail"), got["detail"]);
    const std::string report = root_.read(kEventDir + file.first + ".analysis");
    if (want.at("report") == "none") {
      EXPECT_EQ("", report);
    } else {
      EXPECT_EQ(MaskRunDate(ReadFile(Folder() + want.at("report"))), MaskRunDate(report));
      // The report as written, to review against the expected one.
      std::ofstream(std::string(std::getenv("QD_BUILD_DIR")) + "/" + want.at("report"),
                    std::ios::binary) << report;
    }
  }
  EXPECT_EQ(std::string::npos, Log().find("Unable to find requested fru callout"));
}

TEST_F(CageRun, OnTheServiceProcessorNoReportAndNoKeys) {
  std::map<std::string, Fields> expected = LoadExpected();
  OnServiceProcessor();
  StartReady({"-t", "60"});
  std::map<std::string, std::string> seqs = RunAll(expected);
  for (const auto& file : expected) {
    SCOPED_TRACE(file.first);
    Fields got = History(seqs[file.first]);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ("", got["keys"]);
    EXPECT_EQ("", root_.read(kEventDir + file.first + ".analysis"));
    // The symptom still comes from the code's message text.
    EXPECT_EQ(expected[file.first].at("detail_on_sp"), got["detail"]);
  }
}

// The history count of a serial controller chip error fails (the database
// refuses the select, the connection lives on): the rest of the analysis
// still runs, and the report is written with "Monitor" as if no earlier
// error had been counted.
TEST_F(CageRun, AChipErrorCountTheDatabaseRefusesStillGivesTheMonitorReport) {
  // "ea_details like $7" on a number is no statement the database takes.
  ASSERT_EQ("", db_.exec("alter table qd_anal_history drop column ea_details;"
                         "alter table qd_anal_history add column ea_details integer"));
  StartReady({"-t", "60"});
  ASSERT_TRUE(Ended(Analyze("cage_chip_loop", "k2"), "Deleted")) << Log();
  EXPECT_NE(Log().find("evt_jbod_jtype code 17 Monitor select"), std::string::npos) << Log();
  EXPECT_EQ(MaskRunDate(ReadFile(Folder() + "cage_chip_loop.analysis")),
            MaskRunDate(root_.read(kEventDir + std::string("cage_chip_loop.analysis"))));
}

}  // namespace
