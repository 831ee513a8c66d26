#include "event_process.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

#include "catch_up.h"
#include "dumps.h"
#include "event_file.h"
#include "spfilter.h"
#include "sw_update.h"
#include "prefilter.h"

namespace {

struct TestRow { const char* text; const char* type; const char* string; };
const TestRow kTestEvents[] = {
    {"test fwcore", "evt_fw_coredump",
     "Firmware COREDUMP: recovered file /var/core/hba/fwcore.no1.s05.p02.20031205.125146"},
    {"test core", "evt_coredump",
     "COREDUMP: recovered files: /var/core/proc/saved/analysis.sysmgr.2677.Jun20-18:19:38 "
     "/var/core/proc/saved/core.sysmgr.2677.Jun20-18:19:38 "
     "/var/core/proc/saved/log.sysmgr.2677.Jun20-18:19:38"},
    {"test update", "evt_software_update", "Applying VQX software version 2.2.4.114"},
    {"test middle update", "evt_membership_chg", "Meridian Cluster: Meridian Cluster formed"},
    {"test end update", "evt_membership_chg", "Meridian Cluster: Cluster Upgrade complete"},
    {"test cancelled update", "evt_notify", "System upgrade cancelled"},
    {"test eeprom", "evt_bios_eepr", "testevent 1 for bios_eeprom events"},
    {"test cage", "evt_jbod_jtype", "cage0- testevent for jbod_jtype events"},
    {"test ea_hw", "evt_ea_hw", "testevent for ea_hw events"},
    {"test dcstatus", "evt_ps_dcstatus", "testevent for ps_dcstatus events"},
    {"test ethmon", "evt_ethmon", "testevent for ethmon events"},
    {"test dskfail", "evt_dskfail", "testevent 1, for dskfail events"},
    {"test ldskfail", "evt_ldsk_setfail", "testevent (log4.0), for ldsk_setfail events"},
    {"test rawevlg", "evt_too_many_events", "testevent (log4.0), for too many saved_events/0"},
    {"test task", "evt_task_fail", "testevent TASK 12345 failed"},
};

template <size_t N>
void Put(char (&field)[N], const char* text) {
  std::strncpy(field, text, N - 1);
  field[N - 1] = '\0';
}

}  // namespace

void StoreLastEvent(EvtmonState& st, const std::string& node_seq) {
  if (!st.gdda) return;
  struct { const std::string& key; std::string value; bool changed; } stores[] = {
      {st.key_last_evt_time, std::to_string(st.last_event_time),
       st.last_event_time != st.stored_event_time},
      {st.key_last_node_seq, node_seq, node_seq != st.stored_node_seq},
  };
  for (const auto& s : stores) {
    if (!s.changed) continue;
    if (!st.gdda->SetValue(s.key.c_str(), s.value, st.system_level)) {
      LogSpe(st, 14, 'A', -1);
      Logme(st, "Set GDDA Value for " + s.key + " failed rc = -1, msg= " + st.gdda->szErrorMsg + " ");
    } else if (&s.key == &st.key_last_evt_time) {
      st.stored_event_time = st.last_event_time;
    } else {
      st.stored_node_seq = node_seq;
    }
  }
}

namespace {

// Stores the newest event time held back for deferred requests once none
// is left.
void StoreHeld(EvtmonState& st) {
  FilterState& f = st.filter;
  if (!f.deferred.empty() || f.held_node_seq.empty()) return;
  if (f.held_event_time > st.last_event_time) st.last_event_time = f.held_event_time;
  StoreLastEvent(st, f.held_node_seq);
  f.held_node_seq.clear();
  f.held_event_time = 0;
}

}  // namespace

void CollectorTick(EvtmonState& st, bool finishing) {
  (void)chk_dumps(st);
  (void)SendDeferred(st, finishing);
  StoreHeld(st);
}

bool ApplyTestEvent(evtmon_t& e) {
  if (std::strcmp(e.type, "evt_notify") != 0 || !std::strstr(e.event_string, "test ")) return false;
  bool applied = false;
  for (const TestRow& row : kTestEvents) {
    if (std::strstr(e.event_string, row.text)) {
      Put(e.type, row.type);
      Put(e.event_string, row.string);
      applied = true;
    }
  }
  return applied;
}

std::string FileSeq(const evtmon_t& e) {
  std::string digits = std::to_string(static_cast<long>(e.seq));
  if (digits.size() > 6) digits = digits.substr(digits.size() - 6);
  return std::to_string(e.node) + "-" + digits;
}

std::string convert_port(int port) {
  if (port < 0 || port > 1023) return "invalid";
  char text[32];
  std::snprintf(text, sizeof text, "%d:%d:%d", (port >> 7) & 7, (port >> 3) & 15, port & 7);
  return text;
}

std::string format_port(const std::string& comp_text, const std::string& vqx_level) {
  if (comp_text.find("Port") == std::string::npos) return comp_text;
  std::istringstream words(comp_text);
  std::string word, first, number, second;
  int stage = 0;  // 0 before "Port", 1 the number, 2 after it
  while (words >> word) {
    if (stage == 0 && word == "Port") {
      first += "Port";
      stage = 1;
    } else if (stage == 0) {
      first += word + " ";
    } else if (stage == 1) {
      number = word;
      stage = 2;
    } else {
      second += word + " ";
    }
  }
  if (stage == 0) return comp_text;  // "Port" only inside a word
  int port = std::atoi(number.c_str());
  std::string location;
  if (!cur_gt_filter_level(vqx_level.c_str(), "2.3.1.0")) {
    char oct[16];
    std::snprintf(oct, sizeof oct, "%03o", static_cast<unsigned>(port) & 0777);
    location = std::string(1, oct[0]) + ":" + oct[1] + ":" + oct[2];
  } else {
    location = convert_port(port);
  }
  return first + " " + location + " " + second;
}

void process_event(EvtmonState& st, evtmon_t& e, const std::string& raw_xml) {
  ++st.events_seen;
  ApplyTestEvent(e);
  if (!st.filter.children.entries.empty()) CollectorTick(st, false);
  st.curr_node_seq = std::to_string(e.node) + "-" + std::to_string(static_cast<long>(e.seq));
  WriteHeartbeat(st);
  if (SkipProcessedEvent(st, e.time)) return;

  int keep = evt_is_alert(&e) ? 1 : 0;
  if (!st.prefilter_read) {
    st.prefilter_read = true;
    std::vector<std::string> notes;
    int rc = ReadPrefilter(st.sysid, st.prefilter, notes);
    for (const auto& note : notes) Logme(st, note);
    if (rc == 0) Logme(st, "Successful read of event file " + st.prefilter.path + ". Stored in array");
    else if (rc < 0) Logme(st, "Read of event file " + st.prefilter.path + " failed. Not at EOF");
  }
  std::string matched;
  keep = PrefilterDecision(st.prefilter, e, st.vqx_level.c_str(), keep, &matched);
  if (!matched.empty()) Logme(st, "evtmon in read_array, cmpstr matches " + matched);
  if (!keep) return;

  // One time names the file and stamps it: an event without a time gets now.
  time_t t = e.time > 0 ? static_cast<time_t>(e.time) : time(nullptr);
  PendingEvent p;
  p.seq = FileSeq(e);
  char stamp[16];
  build_timestamp(stamp, t);
  p.name = std::string(stamp) + "." + p.seq;
  std::string comp = format_port(e.comp_text, st.vqx_level);
  if (comp != e.comp_text) Logme(st, std::string("In format_port(), temp_component = ") + e.comp_text + " ");
  p.text = BuildEventText(e, raw_xml, t, comp, st.defs, st.sysid, st.model, st.vqx_level);
  p.filetime = t;
  p.event_time = e.time;
  p.node_seq = st.curr_node_seq;
  p.evt = std::make_shared<const evtmon_t>(e);
  st.pending.push_back(std::move(p));
}

void FlushEvents(EvtmonState& st) {
  if (st.pending.empty()) return;
  std::vector<PendingEvent> batch;
  batch.swap(st.pending);
  std::vector<std::string> pathname;
  const int filed = FileEvents(st, batch, pathname);
  const std::string* newest_seq = nullptr;
  long newest_time = st.last_event_time;
  for (size_t i = 0; i < batch.size(); ++i) {
    const PendingEvent& p = batch[i];
    if (pathname[i].empty()) {
      LogSpe(st, 21, 'A', filed < 0 ? -1 : -6);
      continue;
    }
    ++st.events_filed;
    const std::string summary = p.text.substr(0, p.text.find("XML FORMAT:"));
    (void)check_sw_update(st, summary, time(nullptr));
    // The filter rules start collections, then ask for the analysis.
    int rc = spfilter(st, *p.evt, p.name, pathname[i], p.seq, p.filetime, p.event_time);
    if (rc != 0) LogSpe(st, 22, 'A', rc);
    // An event of the same second as the newest one still moves the
    // node-sequence on, so a restart does not file it again.
    if (p.event_time > 0 && difftime(p.filetime, static_cast<time_t>(newest_time)) >= 0) {
      newest_time = p.event_time;
      newest_seq = &p.node_seq;
    }
  }
  if (!newest_seq) return;
  // Only now are the files and their requests durable: a restart catches up
  // from here, so an event not yet requested is never skipped. Requests
  // waiting for their collection hold the stored time back until sent.
  if (!st.filter.deferred.empty()) {
    if (newest_time > st.filter.held_event_time) {
      st.filter.held_event_time = newest_time;
      st.filter.held_node_seq = *newest_seq;
    }
    return;
  }
  st.last_event_time = newest_time;
  StoreLastEvent(st, *newest_seq);
}
