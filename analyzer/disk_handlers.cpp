// Disk events: command errors, failures, aborted commands and component notices.
//
// Stand-ins until the diagnostic rules of these events are built: each
// does what EH_generic does (template 0 of the event becomes the symptom),
// so events of these types are analyzed, recorded and notified all the
// same.
#include "event_handlers.h"

PatternEntry* EH_dskerr(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}

PatternEntry* EH_dskfail(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}

PatternEntry* EH_dskabrt(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}

PatternEntry* EH_notifycomp(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
