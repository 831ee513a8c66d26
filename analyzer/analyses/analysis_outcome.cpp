#include "analysis_outcome.h"

#include <string>

#include "anal_alert.h"
#include "anal_history.h"
#include "analyzer_state.h"
#include "config_sql.h"
#include "daemon_sql.h"
#include "daemon_log.h"
#include "request_attempts.h"
#include "sql_error.h"

namespace {

constexpr size_t kCatalogueSymptomMax = 256;

enum class Piece { kHistory, kCatalogue, kStatus };

// Runs one statement of the outcome. True when it succeeded or had nothing
// to do; false after logging its failure (the failed transaction is then
// rolled back when the connection lives on).
bool Run(DaemonState& st, Piece piece, const HistoryRow* history) {
  const AnalyzerState& an = Analyzer(st);
  QdSqlClear();
  switch (piece) {
    case Piece::kHistory:
      if (!history || InsertHistory(*history) != kAnalSqlError) return true;
      DaemonSqlError(st, "History insert");
      AnalAlert('H', "History insert error", AnalStoreFile());
      return false;
    case Piece::kCatalogue: {
      const CurrentFile& f = an.file;
      if (f.Cobjid[0] == '\0') return true;
      std::string symptom = ColumnText(Engine().result.ASymptom, kCatalogueSymptomMax);
      if (FdbRecordAnalysis(f.Cobjid, symptom.c_str(), an.Orun_date, an.Canal_filename,
                            an.Canal_filename_ind) >= 0) {
        return true;
      }
      DaemonSqlError(st, "post analysis");
      return false;
    }
    case Piece::kStatus:
      return WriteAttemptStatus(st, "Done");
  }
  return false;
}

// True when the commit succeeded; else logged and rolled back.
bool Commit(DaemonState& st, const char* action) {
  QdSqlClear();
  if (CommitWork() != kAnalSqlError) return true;
  if (!DaemonSqlError(st, action)) RollbackWork();
  return false;
}

}  // namespace

void RecordOutcome(DaemonState& st, const HistoryRow* history) {
  const Piece pieces[] = {Piece::kHistory, Piece::kCatalogue, Piece::kStatus};
  const Piece* failed = nullptr;
  // The pieces commit together (the connection is in autocommit). A begin
  // that fails on a living connection leaves each piece to commit alone.
  bool began = false;
  QdSqlClear();
  if (DaemonSqlBegin(&began) < 0) {
    DaemonSqlError(st, "Begin analysis");
    if (st.reconnect) return;
  }
  for (const Piece& piece : pieces) {
    if (!Run(st, piece, history)) {
      failed = &piece;
      break;
    }
  }
  if (!failed) {
    if (Commit(st, "Commit analysis")) {
      Analyzer(st).attempts.status_written = true;
      return;
    }
    failed = &pieces[2];  // nothing known to be at fault: every piece once more
  }
  if (st.reconnect) return;  // the connection is gone
  for (const Piece& piece : pieces) {
    if (&piece == failed || piece == Piece::kStatus) continue;
    if (Run(st, piece, history)) (void)Commit(st, piece == Piece::kHistory ? "Commit history insert"
                                                                           : "Commit analysis");
    if (st.reconnect) return;
  }
}
