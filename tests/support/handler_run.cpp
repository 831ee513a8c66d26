#include "handler_run.h"

#include <signal.h>

#include "test_files.h"

const std::vector<std::string> HandlerRun::kHistoryKeys = {"urgency", "keys", "details",
                                                           "component", "keyword"};

namespace {

// The history column an EXPECTED key names.
std::string Column(const std::string& key) {
  if (key == "keyword") return "symptom_keyword";
  if (key == "detail") return "symptom_detail";
  return key;
}

std::string Joined(const std::vector<std::string>& values) {
  std::string line;
  for (size_t i = 0; i < values.size(); ++i) line += (i ? "|" : "") + values[i];
  return line;
}

}  // namespace

std::string HandlerRun::FixtureDir() const {
  return SourcePath("tests/corpus/handlers/" + group_ + "/");
}

ExpectedSections HandlerRun::LoadExpected() const {
  ExpectedSections sections;
  std::string error;
  if (!::LoadExpected(FixtureDir() + "EXPECTED", &sections, &error)) {
    ADD_FAILURE() << error;
    sections.clear();
  }
  return sections;
}

void HandlerRun::Configure(bool on_sp) {
  WriteConf(db_.name(), "qd", {std::string("RUNNINGONSP = ") + (on_sp ? "Y" : "N")});
}

std::string HandlerRun::Seq(const std::string& name) {
  if (!seqs_.count(name)) seqs_[name] = seq_prefix_ + std::to_string(seqs_.size() + 1);
  return seqs_[name];
}

void HandlerRun::AnalyzeAll(const ExpectedSections& expected) {
  StartReady({"-t", "60"});
  for (const auto& fixture : expected) {
    const std::string& name = fixture.first;
    root_.write(kEventDir + name, FileText(FixtureDir() + name + ".event"));
    std::string objid = CatalogueEvent(name, Seq(name));
    ASSERT_FALSE(objid.empty());
    std::string id = RequestEvent(objid);
    ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  }
  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100);
}

std::string HandlerRun::History(const std::string& name, const std::vector<std::string>& keys) {
  HistoryFields row = HistoryRow(Seq(name));
  if (row.empty()) {
    std::vector<std::string> count =
        db_.query("select count(*) from qd_anal_history where file_seq = '" + Seq(name) + "'");
    if (count.empty() || count[0] == "0") return "none";
    return "(" + count[0] + " rows)";
  }
  std::vector<std::string> values;
  for (const std::string& key : keys) values.push_back(row[Column(key)]);
  return Joined(values);
}

std::string HandlerRun::Want(ExpectedSection want, const std::vector<std::string>& keys) {
  if (want["history"] == "none") return "none";
  std::vector<std::string> values;
  for (const std::string& key : keys) {
    bool none = (key == "keys" || key == "details") && want[key] == "none";
    values.push_back(none ? "" : want[key]);
  }
  return Joined(values);
}

std::string HandlerRun::ExpectedReport(const std::string& name) const {
  return NormalizedReport(FileText(FixtureDir() + name + ".analysis"));
}
