#include "engine_log.h"

#include <cstdarg>
#include <cstdio>

#include "alerts.h"

void EngineSqlError(const std::string& action) {
  if (DaemonState* st = Engine().daemon) DaemonSqlError(*st, action.c_str());
}

void EngineNotify(char urgency, const std::string& abstract, const std::string& text) {
  DaemonState* st = Engine().daemon;
  const char* name = st && !st->module_name.empty() ? st->module_name.c_str() : "qdAnalyze";
  (void)ProcessNotify(name, urgency, abstract.c_str(), text.c_str());
}

std::string EngineFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(&text[0], text.size(), format, again);
    text.resize(static_cast<size_t>(length));
  }
  va_end(again);
  return text;
}

std::string EngineMessageId() {
  DaemonState* st = Engine().daemon;
  return DaemonHexId(st ? st->envelope.nMessageID : 0);
}

long CurrentFileType() {
  AnalyzerState* an = Engine().analyzer;
  return an ? an->file.Cfile_type : 0;
}

const char* CurrentProdId() {
  AnalyzerState* an = Engine().analyzer;
  return an ? an->file.Cprod_id : "";
}

const char* CurrentStoreFile() {
  AnalyzerState* an = Engine().analyzer;
  return an ? an->file.Cstore_filename : "";
}
