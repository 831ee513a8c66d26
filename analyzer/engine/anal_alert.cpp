#include "anal_alert.h"

#include "alerts.h"
#include "analysis_engine.h"
#include "hex_id.h"

void AnalAlert(char urgency, const std::string& abstract, const std::string& text) {
  if (auto seam = Engine().seams.alert) {
    seam(urgency, abstract, text);
    return;
  }
  const DaemonState* st = Engine().daemon;
  const char* module = st && !st->module_name.empty() ? st->module_name.c_str() : "qdAnalyze";
  (void)ProcessNotify(module, urgency, abstract.c_str(), text.c_str());
}

const char* AnalStoreFile() {
  const AnalyzerState* an = Engine().analyzer;
  return an ? an->file.Cstore_filename : "";
}

void AnalSqlError(const char* action) {
  if (DaemonState* st = Engine().daemon) DaemonSqlError(*st, action);
}

std::string AnalMessageId() {
  const DaemonState* st = Engine().daemon;
  return HexId(st ? st->envelope.nMessageID : 0);
}
