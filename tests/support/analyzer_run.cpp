#include "analyzer_run.h"

#include <regex>

const std::vector<std::string> kRequestSp = {"sp.vendor=Zarvek", "sp.prod=SPx", "sp.id=SP0042"};
const std::vector<std::string> kRequestProd = {"prod.vendor=Zarvek", "prod.prod=Velmar",
                                               "prod.id=1234567"};
const char kEventDir[] = "/sp/prod/data/files/1400123/event/";
const std::vector<std::string> kEventProd = {"prod.vendor=Zarvek", "prod.prod=VELMAR",
                                             "prod.id=1400123"};

void AnalyzerRun::Start(std::vector<std::string> args) {
  args.insert(args.begin(), "-d");
  ProgramRun::Start("qdAnalyze", args);
}

void AnalyzerRun::StartReady(const std::vector<std::string>& args) {
  Start(args);
  ASSERT_TRUE(LogShows("QDZ0102")) << Log();
}

std::string AnalyzerRun::Send(const std::vector<std::string>& settings, int fmt, long size) {
  return SendRecord("QDAN", "AIQ", settings, fmt, size);
}

namespace {

// `text` as an SQL string literal.
std::string Literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string AnalyzerRun::Catalogue(int type, const std::string& store, const std::string& seq) {
  std::vector<std::string> rows = db_.query(
      "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
      "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
      "values ('Zarvek', 'Velmar', '1234567', '2024-05-01 12:34:56', " +
      std::to_string(type) + ", " + Literal(seq) + ", 'CONFIG', " + Literal(store) +
      ", '0', '0', 'A', 'X') returning objid");
  EXPECT_EQ(rows.size(), 1u);
  return rows.empty() ? "" : rows[0];
}

std::string AnalyzerRun::CatalogueEvent(const std::string& name, const std::string& seq) {
  std::vector<std::string> rows = db_.query(
      "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, "
      "prod_filename, store_filename, encription, compression, char_set, hw_architecture) "
      "values ('Zarvek', 'VELMAR', '1400123', '2005-04-15 10:00:00', 100, " + Literal(seq) +
      ", 'EVENT', " + Literal(kEventDir + name) + ", '0', '0', 'A', 'X') returning objid");
  EXPECT_EQ(rows.size(), 1u);
  return rows.empty() ? "" : rows[0];
}

std::string AnalyzerRun::RequestEvent(const std::string& objid,
                                      const std::vector<std::string>& extra) {
  std::vector<std::string> settings =
      JoinSettings(JoinSettings(kRequestSp, kEventProd), {"FDB_Objid=" + objid});
  return Send(JoinSettings(settings, extra));
}

std::vector<std::string> AnalyzerRun::Statuses(const std::string& where) const {
  return db_.query("select status from qd_txn_log where " + where + " order by objid::int");
}

HistoryFields AnalyzerRun::HistoryRow(const std::string& seq) const {
  static const std::vector<std::string> columns = {
      "event_type", "component",     "component_loc", "symptom_keyword",
      "symptom_detail", "urgency",   "severity",      "template_used",
      "event_date", "keys",          "details"};
  // One column, fields apart by a character no value holds ('|' may).
  std::vector<std::string> rows = db_.query(
      "select concat_ws(chr(31), coalesce(event_type, ''), coalesce(component, ''), "
      "coalesce(component_loc, ''), coalesce(symptom_keyword, ''), "
      "coalesce(symptom_detail, ''), coalesce(urgency, ''), coalesce(severity, ''), "
      "coalesce(template_used::text, ''), "
      "coalesce(to_char(event_date, 'yyyy/mm/dd hh24:mi:ss'), ''), "
      "concat_ws(',', ea_key1, ea_key2, ea_key3, ea_key4, ea_key5, ea_key6), "
      "coalesce(ea_details, '')) from qd_anal_history where file_seq = " + Literal(seq));
  HistoryFields row;
  if (rows.size() != 1) return row;
  std::string rest = rows[0] + "\x1f";
  for (const std::string& column : columns) {
    size_t end = rest.find('\x1f');
    row[column] = rest.substr(0, end);
    rest.erase(0, end + 1);
  }
  return row;
}

std::string AnalyzerRun::EventReport(const std::string& name) const {
  return NormalizedReport(root_.read(kEventDir + name + ".analysis"));
}

std::string NormalizedReport(const std::string& report) {
  return std::regex_replace(report, std::regex("Analysis timestamp is [^\n]*\\."),
                            "Analysis timestamp is RUNDATE.");
}
