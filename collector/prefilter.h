#pragma once
// The prefilter: a table of event types that decides, before an event is
// filed, whether it is kept. Read once per worker from
// "/sp/prod/control/appconf/<sysid>.prefilt", else "common.prefilt".
//
// File: three header lines, then one entry a line, six fields
//   type,sev,number,process,level,cmpstr;
// `process` 1 keeps events up to severity `sev` (and drops the others), 0
// drops them (and keeps the others); `level` is the highest software level
// the entry applies to, or a single blank for any; `cmpstr` must occur in
// the event string, or is a single blank.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "evt_record.h"

struct EventEntry {
  char type[40];
  int32_t sev;
  int32_t number;   // read, not used
  int32_t process;  // 1 keep, 0 drop
  char level[20];
  char cmpstr[40];
};
static_assert(sizeof(EventEntry) == 112, "EventEntry is 112 bytes");
static_assert(offsetof(EventEntry, sev) == 40, "EventEntry.sev");
static_assert(offsetof(EventEntry, process) == 48, "EventEntry.process");
static_assert(offsetof(EventEntry, level) == 52, "EventEntry.level");
static_assert(offsetof(EventEntry, cmpstr) == 72, "EventEntry.cmpstr");

constexpr int kPrefilterSlots = 200;  // at most 199 entries
constexpr size_t kPrefilterLineMax = 199;

struct PrefilterTable {
  std::vector<EventEntry> entries;
  std::string path;  // system path of the file read, "" when none
};

// Reads the table for `sysid`. Returns 0 when a file was read to its end, 1
// when neither file could be opened (table empty), -1 when reading stopped
// early. Lines that are blank, longer than kPrefilterLineMax or not of six
// fields are skipped; each skip and the table limit add a line to `notes`
// for the caller's log.
int ReadPrefilter(const std::string& sysid, PrefilterTable& table, std::vector<std::string>& notes);

// Parses one entry line; false when it is not one.
bool ParsePrefilterLine(const std::string& line, EventEntry& out);

// The decision for `e`: starts with `initial`; the first entry of the
// event's type that applies at `vqx_level` and whose cmpstr is a blank or
// occurs in the event string decides (see the file comment). `matched`,
// when given, receives the cmpstr of the deciding entry ("" when none).
int PrefilterDecision(const PrefilterTable& table, const evtmon_t& e, const char* vqx_level,
                      int initial, std::string* matched = nullptr);

// True when both levels have exactly four dot-separated numbers and `cur`
// is greater than `filt`, comparing the numbers in order; false otherwise.
bool cur_gt_filter_level(const char* cur, const char* filt);
