#include "analysis_db_fixture.h"

#include <cstring>

#include "anal_alert.h"
#include "anal_history.h"
#include "ecpg_connect.h"

const char kStoreFile[] = "/sp/prod/data/files/1400123/event/evt_0042";
const char kReportName[] = "/sp/prod/data/files/1400123/event/evt_0042.analysis";
const char kEvent[] = "evt_report_test";

namespace {

std::vector<std::string> g_alerts;

void Capture(char urgency, const std::string& abstract, const std::string& text) {
  g_alerts.push_back(std::string(1, urgency) + " " + abstract + " / " + text);
}

}  // namespace

std::vector<std::string>& AnalysisDbTest::Alerts() { return g_alerts; }

bool AnalysisDbTest::Alerted(const std::string& prefix) {
  for (const std::string& alert : g_alerts) {
    if (alert.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

void AnalysisDbTest::SetUp() {
  QD_REQUIRE_DB();
  root_.reset(new TempRoot());
  db_.reset(new TestDatabase());
  ASSERT_EQ(db_->error(), "");
  db_->exportAsDefault();
  std::string err;
  ASSERT_EQ(QdEcpgConnect(db_->name().c_str(), err), 0) << err;

  st_.module_name = "qdAnalyze";
  st_.log.reset(new CLogMessage("QDAN"));
  ASSERT_EQ(st_.log->CreateError, 0) << st_.log->szErrorMsg;
  std::strcpy(st_.message_prefix, "QDA");
  st_.envelope.nMessageID = 0x2a;

  CurrentFile& f = analyzer_.file;
  f = CurrentFile{};
  std::strcpy(f.Cvendor, "Zarvek");
  std::strcpy(f.Cproduct, "Velmar");
  std::strcpy(f.Cprod_id, "1400123");
  std::strcpy(f.Cfile_date, "2014/10/09 23:38:00");
  f.Cfile_type = 100;
  std::strcpy(f.Cfile_seq, "000042");
  std::strcpy(f.Cprod_filename, "EVENT");
  std::strcpy(f.Cstore_filename, kStoreFile);
  std::strcpy(analyzer_.Orun_date, "2014/10/09 23:40:01");
  analyzer_.Canal_filename_ind = -1;
  root_->write(kStoreFile, "<event/>\n");

  ResetEngine();
  Engine().daemon = &st_;
  Engine().analyzer = &analyzer_;
  std::strcpy(Engine().event_name, kEvent);
  g_alerts.clear();
  Engine().seams.alert = Capture;
}

void AnalysisDbTest::TearDown() {
  QdEcpgDisconnectAll();
  ResetEngine();
  Engine().daemon = nullptr;
  Engine().analyzer = nullptr;
  db_.reset();
  root_.reset();
}

void AnalysisDbTest::Sql(const std::string& sql) { ASSERT_EQ(db_->exec(sql), "") << sql; }

void AnalysisDbTest::Keys(const char* k1, const char* k2, const char* k3, const char* k4,
                          const char* k5, const char* k6) {
  const char* keys[] = {k1, k2, k3, k4, k5, k6};
  for (int i = 0; i < kMsgKeyCount; ++i) std::snprintf(Engine().Mkey[i], kMsgKeySize, "%s", keys[i]);
}
