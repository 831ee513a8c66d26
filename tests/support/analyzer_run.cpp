#include "analyzer_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "hex_id.h"
#include "txn_build.h"
#include "txn_layout.h"
#include "work_messages.h"

const std::vector<std::string> kRequestSp = {"sp.vendor=Zarvek", "sp.prod=SPx", "sp.id=SP0042"};
const std::vector<std::string> kRequestProd = {"prod.vendor=Zarvek", "prod.prod=Velmar",
                                               "prod.id=1234567"};

std::vector<std::string> JoinSettings(std::vector<std::string> a,
                                      const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void AnalyzerRun::SetUp() {
  QD_REQUIRE_DB();
  ASSERT_FALSE(db_.name().empty()) << db_.error();
  db_.exportAsDefault();
  setenv("QD_TIME_SCALE", "0.01", 1);
  WriteConf(db_.name(), "qd");
  const char* build = std::getenv("QD_BUILD_DIR");
  ASSERT_NE(build, nullptr) << "QD_BUILD_DIR is not set";
  const char* path = std::getenv("PATH");
  saved_path_ = path ? path : "";
  path_set_ = true;
  setenv("PATH", (std::string(build) + "/sim-bin:" + saved_path_).c_str(), 1);
}

void AnalyzerRun::TearDown() {
  if (path_set_) setenv("PATH", saved_path_.c_str(), 1);
}

void AnalyzerRun::WriteConf(const std::string& orasid, const std::string& oraid) {
  std::string text = "[Global]\nSYSTEM_LEVEL = Prod\nWM_CONNINFO = dbname=" + db_.name() +
                     "\n[Prod]\n";
  if (!orasid.empty()) text += "ORASID = " + orasid + "\n";
  if (!oraid.empty()) text += "ORAID = " + oraid + "\n";
  root_.write("/etc/qd/gdda.conf", text);
}

void AnalyzerRun::Start(std::vector<std::string> args) {
  const char* build = std::getenv("QD_BUILD_DIR");
  ASSERT_NE(build, nullptr) << "QD_BUILD_DIR is not set";
  args.insert(args.begin(), "-d");
  ASSERT_TRUE(daemon_.Start(std::string(build) + "/bin/qdAnalyze", args, StderrPath()));
}

void AnalyzerRun::StartReady(const std::vector<std::string>& args) {
  Start(args);
  ASSERT_TRUE(LogShows("QDZ0102")) << Log();
}

bool AnalyzerRun::LogShows(const std::string& text, double seconds) const {
  return PollUntil([&] { return Log().find(text) != std::string::npos; }, seconds);
}

int AnalyzerRun::Count(const std::string& text) const {
  std::string log = Log();
  int n = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

std::string AnalyzerRun::Send(const std::vector<std::string>& settings, int fmt, long size) {
  QDTxn txn;
  std::string error;
  EXPECT_EQ(TxnBuild(fmt, settings, txn, error), 0) << error;
  std::vector<char> data(size >= 0 ? size : TxnFormatSize(fmt), '\0');
  std::copy_n(reinterpret_cast<const char*>(&txn), std::min(data.size(), sizeof txn),
              data.begin());
  CWorkMessages wm(true);
  int msgid = 0;
  int rc = wm.SendByName("QDDB", "QDAN", "AIQ", data.data(), data.size(), msgid);
  EXPECT_TRUE(rc == 0 || rc == WM_QUEUED) << rc << " " << wm.szErrorMsg;
  return HexId(msgid);
}

bool AnalyzerRun::Ended(const std::string& msgid, const std::string& how) const {
  return LogShows(how + " message " + msgid);
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

std::vector<std::string> AnalyzerRun::Statuses(const std::string& where) const {
  return db_.query("select status from qd_txn_log where " + where + " order by objid::int");
}

int AnalyzerRun::Exit() {
  int status = -1;
  EXPECT_TRUE(daemon_.Wait(kAnalyzerPatience, status)) << "daemon still running\n" << Log();
  return status;
}

int AnalyzerRun::ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
