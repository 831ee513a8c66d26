#pragma once
// The analysis engine's shared state: the rule tables loaded per slot, the
// tag values of the event being analyzed, the capture and message buffers
// that patterns, handlers and templates exchange values through, the event
// data row, and the analysis result that the report, the history row and
// the notification request are made from.
//
// One engine per process, reached through Engine(). It is plain state, not
// an object with behaviour: the modules (event parsing, tag and pattern
// tables, templates, report and history, the handlers) each read and write
// their part of it, and all the analyzer's state but the program's own
// (AnalyzerState) lives here: the report's history indicators, the
// notifier's process id, the handlers' scratch state and the test seams.
// The daemon it works for (logger, reconnect request, received envelope)
// and the current file come in through `daemon` and `analyzer`, set by the
// program at start-up and by tests on a fresh DaemonState. ResetEngine()
// gives a clean engine: nothing of an earlier analysis or test survives
// it.

#include <regex.h>
#include <stdint.h>

#include <string>

#include "analyzer_seams.h"
#include "analyzer_state.h"
#include "time_stamp.h"

// ---------------------------------------------------------------- tags

struct TAGENTRY;
struct ParseStack;
using TagExitFn = void (*)(ParseStack* stack);
using TagTextExitFn = void (*)(ParseStack* stack, const char* text, int length);

// Table flags (high bits, from qd_tag_data) and per-event state (low 16).
constexpr uint32_t flag_nodata = 0x80000000u;    // character data ignored
constexpr uint32_t flag_repdata = 0x40000000u;   // a repeated element replaces the value
constexpr uint32_t flag_catdata = 0x20000000u;   // a repeated element appends separator + text
constexpr uint32_t flag_redirect = 0x10000000u;  // text goes to the entry `redirect`
constexpr uint32_t flag_makehex = 0x08000000u;   // component-id reformatting
constexpr uint32_t flag_droptag = 0x04000000u;   // nested elements are dropped
constexpr uint32_t TAG_HAS_DATA = 0x00000001u;   // data holds a value of this event (on the target)
constexpr uint32_t TAG_KEEP_FIRST = 0x00000004u; // further text ignored (on the element's own entry)
constexpr uint32_t kTagEventBits = 0x0000FFFFu;

// One tag of a file type's tag table. A table is an array ending with an
// entry whose tagname is empty: ten scratch entries "RV0".."RV9", the rows
// of qd_tag_data in tagname order, the terminator.
struct TAGENTRY {
  char tagname[41] = {0};
  char redirect_name[41] = {0};
  TAGENTRY* redirect = nullptr;
  uint32_t flags = 0;
  std::string separator;
  std::string data;
  TagExitFn start_exit = nullptr;
  TagExitFn end_exit = nullptr;
  TagTextExitFn text_exit = nullptr;
};

constexpr int kParseDepth = 10;  // open elements the parse stack holds

// The parser's user data: which table, how deep, the entry of each open
// element (outermost first).
struct ParseStack {
  uint8_t error = 0;       // 1 when an element without a table entry was met
  int32_t depth = -1;      // slot of the innermost open element; -1 before the root
  int32_t table = 0;       // slot whose tag table names are looked up in
  TAGENTRY* slots[kParseDepth] = {nullptr};
};

// ------------------------------------------------------------ patterns

constexpr int kCaptureCount = 10;        // capture groups 1..10 / capture buffers V0..V9
constexpr int kCaptureSize = 4096;

// One row of qd_anal_pattern. A pattern table is an array ending with an
// entry whose apply is empty.
struct PatternEntry {
  char apply[41] = {0};
  int32_t lineseq = 0;
  int32_t rule = 0;
  regex_t regex{};
  bool compiled = false;  // regex holds a compiled expression to release
  TAGENTRY* tag[kCaptureCount] = {nullptr};  // where groups 1..10 go
};

// ---------------------------------------------------- event data row

constexpr int kTemplateCount = 10;

// The qd_anal_evtdata row of the current event (null defaults applied;
// templates keep their null indicators).
struct EventData {
  bool found = false;
  char handlername[81] = {0};
  char suppress_svcalert = 'N';
  char nonalert_low = 'N';
  std::string templ[kTemplateCount];
  bool templ_present[kTemplateCount] = {false};  // false: the column was null
  char comp[kTemplateCount] = {0};      // null reads 'N'
  char skey[kTemplateCount] = {0};      // null reads 'N'
  char sev[kTemplateCount] = {0};       // null reads 'Y'
  int nu_rule[kTemplateCount] = {0};    // null reads 3
  std::string nu_value[kTemplateCount]; // null reads "none"
};

// ------------------------------------------------------ analysis result

struct AnalysisResult {
  std::string AText;           // the whole file text, trimmed
  std::string AXMLText;        // the file text from the XML marker on
  std::string AFormattedText;  // the text before the marker, plus a newline
  std::string AExtraText;      // added for the notification (emptied per event)
  std::string AAddedData;      // what follows the event's closing tag
  std::string ASymptom;
  std::string ADescription;
  std::string AEvent;          // vendor, product and event type
  std::string AModel;
  char AUrgency = 'H';         // 'H', 'L', 'I'
  int AClass = 0;
  long ACount = 1;
  Time_Stamp AEventTimeFirst{};
  Time_Stamp AEventTimeLast{};
  char AEventLocation = 'R';
  std::string Anot_unique;     // repeat key built with the history row
  std::string EADetails;       // extended analysis details from handlers
  bool Alert_event = false;
  bool SVCAlert_event = false;
  bool ForceUrgencyLow = false;
  bool ForceUrgencyIgnore = false;
};

// ---------------------------------------------------- history indicators

// What the history row carries besides the analysis result: null unless
// the report was written.
struct HistoryIndicators {
  bool keys_set = false;     // ea_key1..ea_key6 carry Mkey1..Mkey6
  bool details_set = false;  // ea_details carries `details`
  std::string details;       // EADetails as the report was written, cut to 4000
};

// ------------------------------------------------------- handler state

// The handlers' scratch state (handlers/handler_state.h). The engine owns
// it without knowing its shape: the handlers make it on first use and
// leave how to free it, so that ResetEngine clears it with the rest.
struct HandlerState;
struct HandlerStateSlot {
  HandlerState* state = nullptr;
  void (*release)(HandlerState* state) = nullptr;

  HandlerStateSlot() = default;
  ~HandlerStateSlot() {
    if (state && release) release(state);
  }
  HandlerStateSlot(const HandlerStateSlot&) = delete;
  HandlerStateSlot& operator=(const HandlerStateSlot&) = delete;
};

// --------------------------------------------------------------- engine

constexpr int kSlotCount = 4;       // table slots; event analysis uses slot 0
constexpr int kRawComponents = 10;
constexpr int kMsgKeyCount = 6;     // Mkey1..Mkey6
constexpr int kMsgKeySize = 256;

struct AnalysisEngine {
  DaemonState* daemon = nullptr;      // logger, reconnect request, envelope
  AnalyzerState* analyzer = nullptr;  // current file, run date, report name

  TAGENTRY* tags[kSlotCount] = {nullptr};          // loaded tag tables
  PatternEntry* patterns[kSlotCount] = {nullptr};  // loaded pattern tables
  long tag_file_type[kSlotCount] = {0};            // file type each slot was loaded for

  ParseStack stack;
  std::string RawComponent[kRawComponents];
  int ComponentNumber = 0;
  int PortComponent[kRawComponents] = {0};
  int PortCompNumber = -1;
  std::string pd_number, pd_wwn, pd_location;  // physical-disk lookup buffers

  char capture[kCaptureCount][kCaptureSize] = {{0}};  // 'V' values
  char msgval[kCaptureCount][kCaptureSize] = {{0}};   // 'M' values
  char Mkey[kMsgKeyCount][kMsgKeySize] = {{0}};       // Mkey1..Mkey6 at [0]..[5]
  char event_name[41] = {0};                          // the seventh message key

  PatternEntry dummy;   // what EH_generic returns
  EventData evtdata;    // the current event's qd_anal_evtdata row
  // The handler name last read from qd_anal_evtdata, kept across events: an
  // event whose handler cannot be found (one without a type included) is
  // notified with it.
  char handlername_read[81] = {0};
  AnalysisResult result;
  HistoryIndicators indicators;  // of the current analysis

  long notifier_id = 0;  // QDNOT's process id once looked up; 0 before
  HandlerStateSlot handlers;
  AnalyzerSeams seams;
};

// The process's engine.
AnalysisEngine& Engine();

// Tables are arrays made with new[]. These release one (compiled
// expressions included); null is fine.
void ReleaseTagTable(TAGENTRY* table);
void ReleasePatternTable(PatternEntry* table);

// Frees every loaded table and the handlers' state, and returns the engine
// to its initial state (no seams, no notifier id, null indicators),
// keeping `daemon` and `analyzer`. For re-initialisation and tests.
void ResetEngine();
