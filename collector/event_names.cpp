#include "event_names.h"

#include <cstdio>

namespace {

struct TagRow { int tag; const char* name; };
const TagRow kTags[] = {
    {0, "EventList"}, {1, "Version"}, {2, "Event"}, {3, "Node"}, {4, "Seq"}, {5, "Sev"},
    {6, "Time"}, {7, "Type"}, {8, "AlertId"}, {9, "Class"}, {10, "MessageCode"},
    {11, "PrimaryComp"}, {12, "Comp"}, {13, "CompName"}, {14, "CompType"}, {15, "CompId"},
    {16, "ShortDesc"}, {17, "EventString"}, {18, "Parameter"}, {19, "PName"}, {20, "PValue"},
    {21, "CatKey"}, {22, "InvalidTag"},
};

struct SevRow { int s; const char* name; };
const SevRow kSevs[] = {{0, "Fatal"}, {1, "Critical"}, {2, "Major"}, {3, "Minor"},
                        {4, "Degraded"}, {5, "Informational"}, {6, "Debug"}};

struct ClassRow { int c; const char* name; };
const ClassRow kClasses[] = {
    {0, "evt_class_sysmgr"}, {1, "evt_class_alert"}, {2, "evt_class_svcalert"},
    {3, "evt_class_config_add"}, {4, "evt_class_config_del"}, {5, "evt_class_config_mod"},
    {6, "evt_class_status_mod"}, {7, "evt_class_operational"}, {8, "evt_class_notify"},
    {9, "evt_class_debug"}, {10, "evt_invalid"},
};

struct TypeRow { int t; const char* name; };
const TypeRow kTypes[] = {{0, "evt_crashdump"}, {1, "evt_process_dead"}, {2, "evt_invalid"}};

std::string Assertion(const char* cond, int line) {
  char text[256];
  std::snprintf(text, sizeof text, "Assertion failed: %s\nAssertion point: file: %s, line: %d\n",
                cond, "splib", line);
  return text;
}

}  // namespace

tag_type_t tag_name_to_enum(std::string_view name) {
  for (int i = 0; i < TAG_InvalidTag; ++i) {
    if (name == kTags[i].name) return static_cast<tag_type_t>(kTags[i].tag);
  }
  return TAG_InvalidTag;
}

const char* tag_enum_to_name(int t) {
  return t >= 0 && t <= TAG_InvalidTag ? kTags[t].name : "InvalidTag";
}

const char* sp_sev_to_desc(int sev) { return sev >= 0 && sev <= 6 ? kSevs[sev].name : "Invalid Severity"; }

int sp_class_name_to_enum(std::string_view name) {
  for (int i = 0; i < kClassInvalid; ++i) {
    if (name == kClasses[i].name) return kClasses[i].c;
  }
  return kClassInvalid;
}

const char* sp_class_enum_to_name(int c) {
  return c >= 0 && c < kClassInvalid ? kClasses[c].name : "evt_invalid";
}

int sp_type_name_to_enum(std::string_view name) {
  for (int i = 0; i < kCrashTypeInvalid; ++i) {
    if (name == kTypes[i].name) return kTypes[i].t;
  }
  return kCrashTypeInvalid;
}

const char* sp_type_enum_to_name(int t) {
  return t >= 0 && t < kCrashTypeInvalid ? kTypes[t].name : "evt_invalid";
}

std::string CheckNameTables() {
  for (int i = 0; i < TAG_InvalidTag; ++i)
    if (kTags[i].tag != i) return Assertion("tag_to_name_table[i].tag == i", 122);
  for (int i = 0; i <= 6; ++i)
    if (kSevs[i].s != i) return Assertion("sp_sev_to_desc_table[i].s == i", 126);
  for (int i = 0; i < kClassInvalid; ++i)
    if (kClasses[i].c != i) return Assertion("classes[i].c == i", 130);
  for (int i = 0; i < kCrashTypeInvalid; ++i)
    if (kTypes[i].t != i) return Assertion("types[i].t == i", 134);
  return "";
}
