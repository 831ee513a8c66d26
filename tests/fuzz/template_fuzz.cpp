// Fuzz target for template expansion: arbitrary bytes (up to the first NUL)
// as a template against a fixed tag table and filled capture and message
// buffers. Notifications are counted, not written; no database is used.
//
// Checks beyond the sanitizers: a template without "%" comes back as it
// is, and a template that raised a notification gives "*Template error*".
// (The converse cannot be checked: a value may itself read
// "*Template error*".)

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "anal_alert.h"
#include "analysis_engine.h"
#include "template_engine.h"

namespace {

int g_alerts = 0;

void CountAlert(char, const std::string&, const std::string&) { ++g_alerts; }

void Fill(char* buffer, const char* text) { std::snprintf(buffer, kCaptureSize, "%s", text); }

void SetUpEngine() {
  static AnalyzerState analyzer;
  std::strcpy(analyzer.file.Cstore_filename, "/sp/prod/data/files/fuzz/event/evt");
  AnalysisEngine& engine = Engine();
  engine.analyzer = &analyzer;
  const char* names[] = {"RV0", "RV1", "CompName", "CompId", "ShortDesc", "Type", "Empty", "Dup", "Dup"};
  const char* values[] = {"r0", "A=1|B=2", "node1", " 0x1a ", "  Disk \t failed \n", "disk_event", "",
                          "first", "second"};
  constexpr int n = sizeof names / sizeof names[0];
  TAGENTRY* table = new TAGENTRY[n + 1];
  for (int i = 0; i < n; ++i) {
    std::strcpy(table[i].tagname, names[i]);
    table[i].data = values[i];
  }
  engine.tags[0] = table;
  Fill(engine.capture[0], "95");
  Fill(engine.capture[1], "%V0.");  // template text inside a value
  Fill(engine.capture[2], "x|y=z|");
  std::memset(engine.capture[9], 'v', kCaptureSize);  // no terminator at all
  for (int i = 0; i < kCaptureCount; ++i) Fill(engine.msgval[i], "<no value>");
  Fill(engine.msgval[3], "A=1|B= two |C=3");
  Engine().seams.alert = CountAlert;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (SetUpEngine(), true);
  (void)ready;
  std::string templ(reinterpret_cast<const char*>(data), size);
  templ.resize(std::strlen(templ.c_str()));
  g_alerts = 0;
  std::string result = UseTemplate(0, templ.c_str());
  if (templ.find('%') == std::string::npos && result != templ) std::abort();
  if (g_alerts != 0 && result != kTemplateError) std::abort();
  return 0;
}
