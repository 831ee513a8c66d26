// Fuzz target for event file parsing: arbitrary bytes as the XML part of an
// event file, run through the steps of the event analysis from the cut to
// the trim against a fixed tag table that uses every flag and every exit.
// Notifications are counted, not written; messages go to a platform log
// that is /dev/null; the translation is a table of the harness's own, so
// no database is used.
//
// Checks beyond the sanitizers: after a parse that succeeded the stack is
// empty again; the component bookkeeping stays within its arrays; an event
// is marked as badly parsed exactly when a notification said so; values
// that hold data of the event carry no blanks at either end.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "anal_alert.h"
#include "analysis_engine.h"
#include "event_parse.h"
#include "event_text.h"
#include "qd_path.h"
#include "tag_exits.h"
#include "tag_table.h"

namespace {

int g_parse_errors = 0;

void CountAlert(char, const std::string& abstract, const std::string&) {
  if (abstract.find("EVENT parse error") != std::string::npos) ++g_parse_errors;
}

int Translate(long, const char*, const char* value, char* data1, size_t size, bool* is_null) {
  static const char* const kRows[][2] = {{"comp_hw_disk", "Disk"}, {"comp_sw_port", "Port"},
                                         {"comp_hw_cage", "Cage"}, {"comp_hw_cage_sled", "Sled"},
                                         {"comp_sw_pd", "PD"},     {"nullrow", nullptr}};
  if (std::strcmp(value, "dberror") == 0) return -400;
  for (const auto& row : kRows) {
    if (std::strcmp(value, row[0]) != 0) continue;
    *is_null = row[1] == nullptr;
    std::snprintf(data1, size, "%s", row[1] ? row[1] : "");
    return 0;
  }
  return 100;
}

struct Row {
  const char* name;
  uint32_t flags;
  const char* separator;
  const char* redirect;
  TagExitFn end_exit;
};

void InstallTable() {
  static const Row kRows[] = {
      {"Alias", flag_redirect | flag_catdata, "|", "Target", nullptr},
      {"Cat", flag_catdata, ",", nullptr, nullptr},
      {"CompId", flag_catdata | flag_makehex, ",", nullptr, Exit_translateCID},
      {"CompName", flag_catdata, "(", nullptr, Exit_endingSeparator},
      {"CompType", flag_catdata, ",", nullptr, Exit_captureRawComponent},
      {"Drop", flag_droptag, nullptr, nullptr, nullptr},
      {"Event", 0, nullptr, nullptr, nullptr},
      {"Quiet", flag_nodata, nullptr, nullptr, nullptr},
      {"QuietAlias", flag_nodata | flag_redirect, nullptr, "Sev", nullptr},
      {"ReleaseLevel", 0, nullptr, nullptr, nullptr},
      {"Rep", flag_repdata, nullptr, nullptr, nullptr},
      {"RepAlias", flag_repdata | flag_redirect, nullptr, "Cat", nullptr},
      {"Sev", 0, nullptr, nullptr, nullptr},
      {"Target", 0, nullptr, nullptr, nullptr},
      {"Type", 0, nullptr, nullptr, Exit_translateTagData},
      {"tTime", 0, nullptr, nullptr, nullptr},
  };
  constexpr long n = sizeof kRows / sizeof kRows[0];
  TAGENTRY* table = NewTagTable(n);
  for (long i = 0; i < n; ++i) {
    static const uint32_t kBits[6] = {flag_nodata,   flag_repdata,  flag_catdata,
                                      flag_redirect, flag_makehex, flag_droptag};
    const char* columns[6];
    for (int b = 0; b < 6; ++b) columns[b] = (kRows[i].flags & kBits[b]) ? "Y" : "N";
    TAGENTRY& entry = table[kScratchTags + i];
    FillTagEntry(entry, kRows[i].name, kRows[i].separator,
                 kRows[i].redirect ? kRows[i].redirect : "<no redirect>", columns);
    entry.end_exit = kRows[i].end_exit;
  }
  if (ResolveTagRedirects(table, 100) != 0) std::abort();
  Engine().tags[0] = table;
}

char g_root[] = "/tmp/qdfuzz.XXXXXX";

void RemoveRoot() {
  const std::string root = g_root;
  for (const char* file : {"/var/log/qd/qd.log", "/var/log/qd/alerts.log"}) unlink((root + file).c_str());
  for (const char* dir : {"/var/log/qd", "/var/log", "/var", ""}) rmdir((root + dir).c_str());
}

// A root of the harness's own whose log files are /dev/null, removed at
// the end of the run.
void QuietRoot() {
  if (!mkdtemp(g_root)) std::abort();
  std::atexit(RemoveRoot);
  setenv("QD_ROOT", g_root, 1);
  std::string dir = std::string(g_root) + "/var/log/qd";
  if (QdMakeDirs(dir) != 0) std::abort();
  if (symlink("/dev/null", (dir + "/qd.log").c_str()) != 0) std::abort();
  if (symlink("/dev/null", (dir + "/alerts.log").c_str()) != 0) std::abort();
}

void SetUp() {
  QuietRoot();
  static DaemonState daemon;
  static AnalyzerState analyzer;
  daemon.module_name = "qdAnalyze";
  std::snprintf(daemon.message_prefix, sizeof daemon.message_prefix, "QDA");
  daemon.log.reset(new CLogMessage("QDAN"));
  analyzer.file.Cfile_type = 100;
  std::strcpy(analyzer.file.Cprod_id, "SN1234");
  std::strcpy(analyzer.file.Cstore_filename, "/sp/prod/data/files/1234/event/evt");
  Engine().daemon = &daemon;
  Engine().analyzer = &analyzer;
  Engine().seams.alert = CountAlert;
  Engine().seams.translate = Translate;
  InstallTable();
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

void CheckAfterParse() {
  const AnalysisEngine& engine = Engine();
  if (engine.stack.depth != -1) std::abort();
  for (TAGENTRY* slot : engine.stack.slots) {
    if (slot) std::abort();
  }
  if ((engine.stack.error != 0) != (g_parse_errors == 1)) std::abort();
}

void CheckBookkeeping() {
  const AnalysisEngine& engine = Engine();
  if (engine.ComponentNumber < 0 || engine.ComponentNumber > kRawComponents) std::abort();
  if (engine.PortCompNumber < -1 || engine.PortCompNumber >= kRawComponents) std::abort();
}

void CheckTrimmed() {
  for (TAGENTRY* entry = Engine().tags[0]; entry->tagname[0]; ++entry) {
    const std::string& data = entry->data;
    if (!(entry->flags & TAG_HAS_DATA) || data.empty()) continue;
    if (Blank(data.front()) || Blank(data.back())) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (SetUp(), true);
  (void)ready;
  g_parse_errors = 0;
  std::string file = "Event 1234 Disk failed\nXML FORMAT:\n" +
                     std::string(reinterpret_cast<const char*>(data), size);
  std::string xml;
  // The trim takes the marker's own line end when nothing but blanks follows.
  if (CutEventXml(file, xml) != 0) {
    if (file.find_first_not_of(" \t\n", file.find("XML FORMAT:\n") + 12) != std::string::npos) std::abort();
    return 0;
  }
  EventXmlParser parser;
  if (PrepareEventXml(xml, parser) != 0) return 0;
  ResetEventParse(0);
  int rc = ParseEventXml(parser);
  CheckBookkeeping();
  if (rc != 0) return 0;
  CheckAfterParse();
  DecodePorts();
  TrimTagValues();
  CheckTrimmed();
  CheckBookkeeping();
  if (TAGENTRY* time = FindTagEntry(0, "tTime")) ConvertTime(time->data.c_str());
  if (TAGENTRY* sev = FindTagEntry(0, "Sev")) {
    std::string copy = sev->data;
    squish_blanks(copy);
    RemoveChars(copy, " \t\n");
  }
  return 0;
}
