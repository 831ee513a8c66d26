#include "handler_run.h"

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace {

constexpr char kEventDir[] = "/sp/prod/data/files/1400123/event/";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string HandlerRun::FixtureDir() const {
  const char* src = std::getenv("QD_SOURCE_DIR");
  return std::string(src ? src : ".") + "/tests/corpus/handlers/" + group_ + "/";
}

std::map<std::string, FixtureSection> HandlerRun::LoadExpected() const {
  std::map<std::string, FixtureSection> out;
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

void HandlerRun::Configure(bool on_sp) {
  root_.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\nRUNNINGONSP = " +
                                       std::string(on_sp ? "Y" : "N") + "\nWM_CONNINFO = dbname=" +
                                       db_.name() + "\n[Prod]\nORASID = " + db_.name() +
                                       "\nORAID = qd\n");
}

std::string HandlerRun::Seq(const std::string& name) {
  if (!seqs_.count(name)) seqs_[name] = "h" + std::to_string(seqs_.size() + 1);
  return seqs_[name];
}

void HandlerRun::AnalyzeAll(const std::map<std::string, FixtureSection>& expected) {
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
    // One at a time: later fixtures read the history rows of earlier ones.
    std::string id = Send(JoinSettings(kRequestSp, {"prod.vendor=Zarvek", "prod.prod=VELMAR",
                                                    "prod.id=1400123", "FDB_Objid=" + rows[0]}));
    ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  }
  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100);
}

std::string HandlerRun::History(const std::string& name) {
  std::vector<std::string> rows = db_.query(
      "select urgency || '|' || coalesce(concat_ws(',', ea_key1, ea_key2, ea_key3, ea_key4, "
      "ea_key5, ea_key6), '') || '|' || coalesce(ea_details, '') || '|' || "
      "coalesce(component, '') || '|' || coalesce(symptom_keyword, '') "
      "from qd_anal_history where file_seq = '" + Seq(name) + "'");
  if (rows.empty()) return "none";
  return rows.size() == 1 ? rows[0] : "(" + std::to_string(rows.size()) + " rows)";
}

std::string HandlerRun::Report(const std::string& name) {
  std::string report = root_.read(kEventDir + name + ".analysis");
  return std::regex_replace(report, std::regex("Analysis timestamp is [^\n]*\\."),
                            "Analysis timestamp is RUNDATE.");
}

std::string HandlerRun::ExpectedReport(const std::string& name) const {
  return ReadFile(FixtureDir() + name + ".analysis");
}

std::string HandlerRun::Want(FixtureSection want) {
  if (want["history"] == "none") return "none";
  std::string keys = want["keys"] == "none" ? "" : want["keys"];
  std::string details = want["details"] == "none" ? "" : want["details"];
  return want["urgency"] + "|" + keys + "|" + details + "|" + want["component"] + "|" +
         want["keyword"];
}
