#include "event_handlers.h"

#include <cstring>

const EventHandlerEntry kEventHandlers[] = {
    {"pattern", EH_pattern},
    {"generic", EH_generic},
    {"jbodevt", EH_jbodevt},
    {"nodepower", EH_nodepower},
    {"lesb", EH_lesb},
    {"dskerr", EH_dskerr},
    {"dskfail", EH_dskfail},
    {"dskabrt", EH_dskabrt},
    {"notifycomp", EH_notifycomp},
    {"battery", EH_battery},
    {"PATbattery", EH_battery},
    {"compstate", EH_compstate},
    {"nodeinteg", EH_nodeinteg},
    {"noanalysis", EH_noanalysis},
    {nullptr, nullptr},
};

EventHandlerFn FindEventHandler(const char* name) {
  if (!name) return nullptr;
  for (const EventHandlerEntry* row = kEventHandlers; row->name; ++row) {
    if (std::strcmp(row->name, name) == 0) return row->handler;
  }
  return nullptr;
}

PatternEntry* EH_noanalysis(int, const char* event_name, const std::string&) {
  AnalysisResult& result = Engine().result;
  result.ForceUrgencyIgnore = true;
  result.ASymptom = std::string("Skip analysis for ") + (event_name ? event_name : "");
  return nullptr;
}
