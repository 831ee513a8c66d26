#pragma once
// Parsing an event file: the XML part cut out of the file text, fed to
// expat, and its elements collected into the values of the event tag table
// (slot 0) under the table's flag rules; then the port numbers inside the
// component id decoded and the values trimmed.
//
// The event analysis runs the steps in this order:
//   CutEventXml -> PrepareEventXml -> (tag table loaded) -> ResetEventParse
//   -> ParseEventXml -> (patterns) -> DecodePorts -> TrimTagValues
// Results of the steps that can fail are processing results (daemon.h):
// 0 go on, 1 retry later, -1 refuse.
//
// Collection rules, for the entry E of an element and its target T (the
// redirect target, or E): E's flags and separator decide, T's data and
// TAG_HAS_DATA receive. A repeated element keeps the first value (E gets
// TAG_KEEP_FIRST), replaces it (flag_repdata) or appends separator and
// text (flag_catdata). Elements inside one whose entry has flag_droptag are
// dropped without a word; elements without an entry are logged (0040 'A'
// "Encountered unknown XML tag '%s'"), dropped and mark the event. The
// stack holds 10 open elements: an element deeper than that is logged
// (0040 'A'), dropped with everything inside it, and marks the event.

#include <expat.h>

#include <string>

#include "analysis_engine.h"

// Cuts the event out of the whole file text. Sets AText (the text trimmed
// of blanks, tabs and newlines), AXMLText (the trimmed text from the
// "\nXML FORMAT:\n" marker on), AFormattedText (the text before the
// marker plus "\n"), AAddedData (what follows the first "</Event>" behind
// the marker) and empties AExtraText. `xml` receives the XML: from behind
// the marker up to and including that "</Event>" (to the end when there is
// none). Returns 0; -1 without the marker (0040 '2' "Unable to find XML at
// all"; AText set, the other texts and `xml` untouched).
[[nodiscard]] int CutEventXml(const std::string& file_text, std::string& xml);

// One expat parser and its buffer for one event; freed when the object
// goes, whatever step stopped.
class EventXmlParser {
 public:
  EventXmlParser() = default;
  ~EventXmlParser();
  EventXmlParser(const EventXmlParser&) = delete;
  EventXmlParser& operator=(const EventXmlParser&) = delete;

  XML_Parser parser = nullptr;
  int length = 0;  // bytes of the prepared buffer
  void Free();
};

// Creates the parser (user data: Engine().stack; the three handlers
// below) and fills its buffer with "<?xml version='1.0'?>" and `xml`,
// scrubbed by PrepTextForXML so that any bytes parse as UTF-8 text.
// Returns 0; 1 when the parser or its buffer cannot be had (0040 '2'
// "Unable to create parser" or the parser's error string), the parser
// then freed.
[[nodiscard]] int PrepareEventXml(const std::string& xml, EventXmlParser& parser);

// Per-event reset of the tag table in `slot` (every value "<no value>",
// the per-event flag bits cleared), of the physical-disk buffers and the
// component bookkeeping; the stack starts empty on table `slot`.
void ResetEventParse(int slot = 0);

// Parses the prepared buffer in one final call and frees the parser.
// Returns 0; 1 when the parser reports an error (0040 '2' with its error
// string). When an element was unknown or too deep, a process notification
// 'H' "%s EVENT parse error" (product id), "Source file: %s" follows a
// successful parse. Calling it without a prepared parser returns 1.
[[nodiscard]] int ParseEventXml(EventXmlParser& parser);

// Decodes the port numbers of the component ids that Exit_translateCID
// recorded: "CompId"'s value is split on its separator (10 tokens at most,
// the last holding the rest unsplit and then left undecoded; each token is
// cut to 4095 characters in the capture buffers V0..V9, which hold the
// tokens afterwards) and each recorded token "xxxxN" becomes
// "xxxx[node:slot:port]" of the number N; the value is rebuilt from the
// tokens. The slot field is one bit wider
// from release 2.3.1 on (ReleaseAtLeast). Nothing when no port was
// recorded or the table has no "CompId".
void DecodePorts();

// Trims blanks, tabs and newlines at both ends of every value of slot 0's
// table that holds data of this event.
void TrimTagValues();

// The expat callbacks; `user` is the ParseStack. Attributes are ignored.
void XMLCALL StartHandler(void* user, const XML_Char* name, const XML_Char** attributes);
void XMLCALL EndHandler(void* user, const XML_Char* name);
void XMLCALL TextHandler(void* user, const XML_Char* text, int length);
