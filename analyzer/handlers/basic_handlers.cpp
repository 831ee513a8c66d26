#include "basic_handlers.h"

#include <cstdio>

#include "engine_log.h"
#include "pattern_match.h"
#include "tag_table.h"
#include "template_engine.h"

namespace {

void TemplateMissing(int number, const char* event_name) {
  AnalAlert('H', QdFormat("Template %d not found for event '%s'", number, event_name),
            QdFormat("Source file: %s", AnalStoreFile()));
  AnalLog("0039", 'A', number, event_name);
}

bool TemplatePresent(int number) {
  return number >= 0 && number < kTemplateCount && Engine().evtdata.templ_present[number];
}

}  // namespace

PatternEntry* EH_pattern(int slot, const char* event_name, const std::string& event_string) {
  const char* name = event_name ? event_name : "";
  PatternEntry* entry = Parse_entry(slot, name, event_string);
  if (!entry) return nullptr;
  if (TemplatePresent(entry->rule)) {
    Engine().result.ASymptom = UseTemplate(slot, Engine().evtdata.templ[entry->rule].c_str());
  } else {
    TemplateMissing(entry->rule, name);
  }
  return entry;
}

PatternEntry* EH_generic(int slot, const char* event_name, const std::string&) {
  AnalysisEngine& engine = Engine();
  if (!TemplatePresent(0)) {
    TAGENTRY* type = FindTagEntry(slot, "Type");
    TemplateMissing(0, type ? type->data.c_str() : "");
    return nullptr;
  }
  std::snprintf(engine.dummy.apply, sizeof engine.dummy.apply, "%s", event_name ? event_name : "");
  engine.result.ASymptom = UseTemplate(slot, engine.evtdata.templ[0].c_str());
  return &engine.dummy;
}
