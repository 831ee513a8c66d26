#pragma once
// The event record: one array event as the stream reader fills it and the
// rest of the collector reads it. One plain record of fixed-width fields;
// every text is NUL-terminated inside its field.
//
//   offset  field          width
//        0  node               4  -1 when absent
//        4  seq                4  -1 when absent
//        8  sev                4  0 Fatal .. 6 Debug, -1 when absent
//       12  time               4  seconds since 1970, 0 when absent
//       16  alert_id           4  0 when absent
//       20  msgcode            4  component << 16 | failure, 0 when absent
//       24  type             200  event type name ("evt_dskfail")
//      224  class_mask         4  bit n set for class n
//      228  comp_text       1024  component names, descriptions, ids
//     1252  short_desc       200
//     1452  event_string    2048
//     3500  raw_xml         4096  the Event element, first 4095 characters
//     7596  comps          10964  count (4) and 10 component slots of 1096
//    18560  param_text      1024
//    19584  params          1604  count (4) and 10 slots of name/value 80+80
//    21188  cat_key          200  kept from the previous event when absent
//    21388  (end)
//
// Component slot (1096): name (80), own type record (92), an int the reader
// leaves 0 (4), 10 container type records (920). Type record (92): type
// name (80), id_specified (4), id (8, on a 4-byte boundary).
//
// The raw text of an event can be longer than raw_xml holds; the reader
// hands the whole text to its callback beside the record (event_parser.h).
#include <cstddef>
#include <cstdint>

constexpr int kEvtMaxComps = 9;        // components counted per event
constexpr int kEvtMaxParams = 9;       // parameters counted per event
constexpr int kEvtContainerSlots = 10; // container type records per component

#pragma pack(push, 4)
struct evt_comp_type_t {
  char type_name[80];
  int32_t id_specified;
  int64_t id;
};
#pragma pack(pop)
static_assert(sizeof(evt_comp_type_t) == 92, "type record is 92 bytes");
static_assert(offsetof(evt_comp_type_t, id_specified) == 80, "type.id_specified");
static_assert(offsetof(evt_comp_type_t, id) == 84, "type.id");

struct evt_comp_t {
  char name[80];
  evt_comp_type_t type;
  int32_t unused;
  evt_comp_type_t containers[kEvtContainerSlots];
};
static_assert(sizeof(evt_comp_t) == 1096, "component slot is 1096 bytes");
static_assert(offsetof(evt_comp_t, type) == 80, "comp.type");
static_assert(offsetof(evt_comp_t, containers) == 176, "comp.containers");

struct evt_comp_list_t {
  int32_t count;
  evt_comp_t comp[kEvtMaxComps + 1];
};
static_assert(sizeof(evt_comp_list_t) == 10964, "component list is 10964 bytes");

struct evt_param_t {
  char name[80];
  char value[80];
};

struct evt_param_list_t {
  int32_t count;
  evt_param_t param[kEvtMaxParams + 1];
};
static_assert(sizeof(evt_param_list_t) == 1604, "parameter list is 1604 bytes");

struct evtmon_t {
  int32_t node;
  int32_t seq;
  int32_t sev;
  int32_t time;
  int32_t alert_id;
  int32_t msgcode;
  char type[200];
  uint32_t class_mask;
  char comp_text[1024];
  char short_desc[200];
  char event_string[2048];
  char raw_xml[4096];
  evt_comp_list_t comps;
  char param_text[1024];
  evt_param_list_t params;
  char cat_key[200];
};
static_assert(sizeof(evtmon_t) == 21388, "event record is 21388 bytes");
static_assert(offsetof(evtmon_t, type) == 24, "evt.type");
static_assert(offsetof(evtmon_t, class_mask) == 224, "evt.class_mask");
static_assert(offsetof(evtmon_t, comp_text) == 228, "evt.comp_text");
static_assert(offsetof(evtmon_t, short_desc) == 1252, "evt.short_desc");
static_assert(offsetof(evtmon_t, event_string) == 1452, "evt.event_string");
static_assert(offsetof(evtmon_t, raw_xml) == 3500, "evt.raw_xml");
static_assert(offsetof(evtmon_t, comps) == 7596, "evt.comps");
static_assert(offsetof(evtmon_t, param_text) == 18560, "evt.param_text");
static_assert(offsetof(evtmon_t, params) == 19584, "evt.params");
static_assert(offsetof(evtmon_t, cat_key) == 21188, "evt.cat_key");

// Class numbers whose bits the predicates test.
constexpr int kEvtClassAlert = 1;
constexpr int kEvtClassSvcAlert = 2;

// Resets every field but raw_xml and cat_key: numbers -1 (node, seq, sev)
// or 0, texts empty, component and parameter lists zeroed.
void init_evtmon(evtmon_t* e);

inline int evt_get_msgcode_component(const evtmon_t* e) { return e->msgcode >> 16; }
inline int evt_get_msgcode_component_failure(const evtmon_t* e) { return e->msgcode & 0xFF; }
inline bool evt_is_custalert(const evtmon_t* e) { return (e->class_mask >> kEvtClassAlert) & 1u; }
inline bool evt_is_svcalert(const evtmon_t* e) { return (e->class_mask >> kEvtClassSvcAlert) & 1u; }
inline bool evt_is_alert(const evtmon_t* e) { return evt_is_custalert(e) || evt_is_svcalert(e); }
