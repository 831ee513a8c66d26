// Stand-ins for the event handlers whose own diagnostic rules are not
// built yet (drive cages, node power and batteries, link errors, disks,
// component states, node integrity). Until then each one does what
// EH_generic does - template 0 of the event becomes the symptom - so that
// events of these types are analyzed, recorded and notified all the same.
// Each is replaced, and dropped from this file, when its handler is built.
#include "event_handlers.h"

PatternEntry* EH_jbodevt(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
PatternEntry* EH_nodepower(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
PatternEntry* EH_lesb(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
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
PatternEntry* EH_battery(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
PatternEntry* EH_compstate(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
PatternEntry* EH_nodeinteg(int slot, const char* name, const std::string& s) {
  return EH_generic(slot, name, s);
}
