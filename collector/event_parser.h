#pragma once
// The stream reader: gathers the array's EventList documents from blocks
// cut at arbitrary places, reads each with the collector's XML reader, fills
// one event record per Event element and hands it to the event callback.
//
// Blocks: text between documents (heartbeats) is skipped; a document may
// start and end in any block, several may share one, and a start tag may be
// split over any number of blocks. A document longer than kEvtListMax is
// dropped whole with "Buffer is to big to process" (reported once) and the
// reader looks for the next document. An error in a document ends that
// document only; the next one is read normally.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "event_defs.h"
#include "event_names.h"
#include "evt_record.h"

// Largest document gathered.
constexpr size_t kEvtListMax = 64000;
// Capacity of the tag stack (elements open at once).
constexpr size_t kTagStackMax = 100;

extern const char* const kEvtListStart;  // "<EventList>"
extern const char* const kEvtListEnd;    // "</EventList>"
extern const char* const kEvtTooBig;     // "Buffer is to big to process"

// Called once per complete Event element with the filled record and the
// element's whole text, from its "<" up to and including its "</Event>".
// The record is reused for the next event; copy what must outlive the call.
// The callback must not feed the same parser.
using EventCallback = std::function<void(evtmon_t& event, const std::string& raw_xml)>;

struct EventParser {
  EventParser();
  // Reassembly state, kept for the life of the process.
  std::string doc;               // the document gathered so far
  bool looking_for_end = false;  // false: looking for "<EventList>"
  std::string lastfew;           // tail of earlier blocks (< 11 bytes) while looking for a start
  // Per document.
  std::vector<tag_type_t> tags;  // open elements
  int comp_depth = 0;
  int param_depth = 0;
  std::unique_ptr<evtmon_t> evt;  // the one event record
  std::string raw;                // whole text of the current event
  const DescTable* comps = nullptr;  // component descriptions (may be null)
  EventCallback callback;
  // Counters for the operator and the tests.
  long documents = 0;
  long events = 0;
};

// Empties the document gathered so far (not the start/end state).
void init_buf(EventParser& p);

// Feeds one block of `len` bytes. `err` is emptied, then holds the text of
// the first error met in this block, if any: "process_buf: passed in buffer
// of length %d" for len <= 0, kEvtTooBig, or a document error. Events found
// are delivered through p.callback during the call.
void process_buf(EventParser& p, const char* buf, long len, std::string& err);

// Reads one complete document (a NUL byte in it is an error). Returns 0, or
// 1 with the error text in `err`; events before the error were delivered.
[[nodiscard]] int process_eventlist(EventParser& p, std::string_view doc, std::string& err);

// The component id text of a cage sled: "N/A", or "A:[0.|1.]C:D".
std::string CageSledText(long long id);
