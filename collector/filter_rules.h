#pragma once
// The filter rules: per array "/sp/prod/control/appconf/<sysid>.filt", else
// "common.filt". Three header lines (the first must be readable), then one
// rule a line of 13 fields, twelve ended by "," and the last by ";":
//   type,sev,eclass,action,number,comp0,comp1,comp2,comp3,comp4,level,cmpstr,command;
// `type` is an event type name or a message code in lower-case hex; `sev`
// the least severe severity the rule acts on; `level` the highest software
// level it acts on (a single blank: any); `cmpstr` text that must occur in
// the event string (a single blank: any); comp0..4 component type names (a
// single blank: none) and `command` the collection command of actions 9,
// 90, 91, 92 and 95.
//
// The suppression table keeps a collection from starting again within
// max_proc_secs of its last start.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "evt_record.h"

//   offset  field     width
//        0  type         40
//       40  sev           4
//       44  eclass        4
//       48  action        4
//       52  number        4  read, not used
//       56  comp       5x80
//      456  level        20
//      476  cmpstr       40
//      516  command     200
//      716  (end)
struct FilterEntry {
  char type[40];
  int32_t sev;
  int32_t eclass;
  int32_t action;
  int32_t number;
  char comp[5][80];
  char level[20];
  char cmpstr[40];
  char command[200];
};
static_assert(sizeof(FilterEntry) == 716, "FilterEntry is 716 bytes");
static_assert(offsetof(FilterEntry, sev) == 40, "FilterEntry.sev");
static_assert(offsetof(FilterEntry, action) == 48, "FilterEntry.action");
static_assert(offsetof(FilterEntry, comp) == 56, "FilterEntry.comp");
static_assert(offsetof(FilterEntry, level) == 456, "FilterEntry.level");
static_assert(offsetof(FilterEntry, cmpstr) == 476, "FilterEntry.cmpstr");
static_assert(offsetof(FilterEntry, command) == 516, "FilterEntry.command");

constexpr int kFilterMaxRules = 199;
constexpr size_t kFilterLineMax = 199;

struct FilterTable {
  std::vector<FilterEntry> rules;
  std::string path;  // system path of the file read, "" when none
};

// Parses one rule line; false when it is not one (fields too long, numbers
// that are not numbers, fields missing). Texts are kept as written.
bool ParseFilterLine(const std::string& line, FilterEntry& out);

// Reads the rules for `sysid`. 0 read to the end; 1 neither file readable
// (table empty, "Cannot read header in ..." in `notes`); -1 reading stopped
// early (the 200th rule: "spfilter pFE reached max entries"). Lines that are
// not rules are skipped with a note each.
int ReadFilterRules(const std::string& sysid, FilterTable& table, std::vector<std::string>& notes);

// The rule for an event of `type_name`, message code text `msgcode_text`
// and event string `event_string` at software level `vqx_level`: the first
// rule of that type (or code) that applies at the level and whose cmpstr is
// a single blank or occurs in the string. nullptr when none.
const FilterEntry* ChooseRule(const FilterTable& table, const char* type_name,
                              const std::string& msgcode_text, const char* event_string,
                              const char* vqx_level);

// The suppression table: at most 1000 keys with the time of their last
// start (0 when never started).
struct ProcEntry {
  char proc[40];
  int32_t last;
};
static_assert(sizeof(ProcEntry) == 44, "ProcEntry is 44 bytes");

constexpr size_t kProcMaxKeys = 1000;
constexpr long kProcWindow = 300;

struct ProcTable {
  std::vector<ProcEntry> entries;
};

// 1 when `proc` may run now (new key, or its last start more than `window`
// seconds before `now`), 0 when suppressed. A new key is added with time 0;
// when 1000 keys are held and `proc` is not among the first 999 the table
// restarts with `proc` alone and `*full` is set (the caller logs it).
int check_proc(ProcTable& table, const std::string& proc, time_t now, long window, bool* full);

// The key's last start time (0 when unknown).
long proc_time(const ProcTable& table, const std::string& proc);

// Sets the key's time to `now`: 0, or 1 when the key is not in the table.
int update_proc_time(ProcTable& table, const std::string& proc, time_t now);
