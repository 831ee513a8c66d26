// Node power supplies and batteries.
//
// Stand-ins until the diagnostic rules of these events are built: each
// does what EH_generic does (template 0 of the event becomes the symptom),
// so events of these types are analyzed, recorded and notified all the
// same.
#include "event_handlers.h"

PatternEntry* EH_nodepower(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}

PatternEntry* EH_battery(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
