#include "event_request.h"

#include <cstdlib>

void EventRequestRun::SetUp() {
  AnalyzerRun::SetUp();
  if (HasFatalFailure() || IsSkipped()) return;
  std::string error;
  ASSERT_TRUE(LoadCorpus(&corpus_, &error)) << error;
}

const CorpusEvent& EventRequestRun::Corpus(const std::string& name) const {
  for (const CorpusEvent& ev : corpus_) {
    if (ev.name == name) return ev;
  }
  ADD_FAILURE() << "no corpus file " << name;
  static const CorpusEvent none;
  return none;
}

void EventRequestRun::Install(const std::string& name) {
  root_.write(kEventDir + name, Corpus(name).text);
}

std::string EventRequestRun::Request(const std::string& name, const std::string& seq, int type) {
  std::vector<std::string> rows = db_.query(
      "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
      "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
      "values ('Zarvek', 'VELMAR', '1400123', '2005-04-15 10:00:00', " + std::to_string(type) +
      ", '" + seq + "', 'EVENT', '" + kEventDir + name + "', '0', '0', 'A', 'X') returning objid");
  EXPECT_EQ(rows.size(), 1u);
  return Send(JoinSettings(kRequestSp, {"prod.vendor=Zarvek", "prod.prod=VELMAR",
                                        "prod.id=1400123", "FDB_Objid=" + rows.at(0)}));
}

long EventRequestRun::Number(const std::string& sql) const {
  std::vector<std::string> rows = db_.query(sql);
  return rows.size() == 1 ? std::atol(rows[0].c_str()) : -1;
}

std::string EventRequestRun::Rows(const std::string& sql) const {
  std::string out;
  for (const std::string& row : db_.query(sql)) out += row + "\n";
  return out;
}

namespace {

std::map<std::string, long> Counts(const std::vector<std::string>& rows) {
  std::map<std::string, long> out;
  for (const std::string& row : rows) {
    size_t bar = row.find('|');
    out[row.substr(0, bar)] = std::atol(row.substr(bar + 1).c_str());
  }
  return out;
}

}  // namespace

std::map<std::string, long> EventRequestRun::HistoryRows() const {
  return Counts(db_.query("select file_seq, count(*) from qd_anal_history group by 1"));
}

std::map<std::string, long> EventRequestRun::NotifyRequests() const {
  // The source field of the format 6 record: 256 characters at offset 640.
  return Counts(db_.query(
      "select substring(encode(substring(data from 641 for 256), 'escape') "
      "from ' file, seq ([^,]*),'), count(*) from wm.message where target = 2 "
      "and msgno = 2 group by 1"));
}
