#include "msg_text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "anal_alert.h"
#include "analysis_engine.h"

const char kMsgTextNotFound[] = "*MsgTextNotFound*";

namespace {

void CopyCut(char* destination, int length, const std::string& text) {
  if (!destination || length < 1) return;
  size_t n = std::min(text.size(), static_cast<size_t>(length - 1));
  std::memcpy(destination, text.data(), n);
  destination[n] = '\0';
}

}  // namespace

AnalKeys CurrentKeys() {
  AnalysisEngine& engine = Engine();
  AnalKeys keys;
  keys.file_type = engine.analyzer ? engine.analyzer->file.Cfile_type : 0;
  keys.event = engine.event_name;
  for (int i = 0; i < kMsgKeyCount; ++i) keys.key[i] = engine.Mkey[i];
  return keys;
}

int GetMsgText(char* destination, int length) {
  AnalysisEngine& engine = Engine();
  // The keys are fixed-size buffers a handler fills: never read past them.
  engine.event_name[sizeof engine.event_name - 1] = '\0';
  for (auto& key : engine.Mkey) key[kMsgKeySize - 1] = '\0';
  AnalKeys keys = CurrentKeys();

  std::string text;
  int rc = SelectMsgText(keys, text);
  if (rc == kAnalSqlRow) {
    CopyCut(destination, length, text);
    return 0;
  }
  CopyCut(destination, length, kMsgTextNotFound);
  if (rc == kAnalSqlError) {
    AnalSqlError("MsgText select");
    RollbackWork();
    return 1;
  }
  std::string abstract = std::string(keys.event) + " MsgText not found.";
  AnalAlert('H', abstract,
            std::string("key1='") + keys.key[0] + "', key2='" + keys.key[1] + "', key3='" +
                keys.key[2] + "'\nfile=" + AnalStoreFile());
  AnalLog("0033", 'A', AnalMessageId(), abstract, AnalStoreFile());
  return 1;
}
