#include "engine_log.h"

long CurrentFileType() {
  AnalyzerState* an = Engine().analyzer;
  return an ? an->file.Cfile_type : 0;
}

const char* CurrentProdId() {
  AnalyzerState* an = Engine().analyzer;
  return an ? an->file.Cprod_id : "";
}
