#include "event_parse.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine_log.h"
#include "event_text.h"
#include "tag_table.h"
#include "text_util.h"

namespace {

const char kMarker[] = "\nXML FORMAT:\n";
const size_t kMarkerLength = sizeof kMarker - 1;
const char kEventEnd[] = "</Event>";
const size_t kEventEndLength = sizeof kEventEnd - 1;
const char kXmlHeader[] = "<?xml version='1.0'?>";
const char kBlankSet[] = " \t\n";
const char kNoValue[] = "<no value>";

// Entries outside every table: the whole subtree of a dropping element,
// and an element the table does not know. Neither collects anything, so
// they never change.
TAGENTRY MakeBuiltIn(const char* name, uint32_t flags) {
  TAGENTRY entry;
  std::snprintf(entry.tagname, sizeof entry.tagname, "%s", name);
  entry.flags = flags;
  return entry;
}
TAGENTRY g_droptag = MakeBuiltIn("DROPTAG", flag_nodata | flag_droptag);
TAGENTRY g_badtag = MakeBuiltIn("BADTAG", flag_nodata);

std::string TrimBlanks(const std::string& text) {
  size_t begin = text.find_first_not_of(kBlankSet);
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(kBlankSet);
  return text.substr(begin, end - begin + 1);
}

TAGENTRY* StackTable(const ParseStack& stack) {
  if (stack.table < 0 || stack.table >= kSlotCount) return nullptr;
  return Engine().tags[stack.table];
}

// The entry of a newly started element at `depth` (0 .. 9).
TAGENTRY* EntryForStart(ParseStack& stack, const char* name) {
  if (stack.depth > 0 && stack.slots[stack.depth - 1] &&
      (stack.slots[stack.depth - 1]->flags & flag_droptag)) {
    return &g_droptag;
  }
  TAGENTRY* entry = FindTagEntry(StackTable(stack), name);
  if (!entry) {
    stack.error = 1;
    AnalLog("0040", 'A', AnalMessageId(), QdFormat("Encountered unknown XML tag '%s'", name));
    return &g_badtag;
  }
  return entry;
}

// The first element beyond the stack's reach: dropped with its subtree
// (which stays beyond reach), said once, unless it sits in a subtree that
// is dropped anyway.
void StartTooDeep(ParseStack& stack, const char* name) {
  if (stack.depth != kParseDepth) return;
  TAGENTRY* parent = stack.slots[kParseDepth - 1];
  if (parent && (parent->flags & flag_droptag)) return;
  stack.error = 1;
  AnalLog("0040", 'A', AnalMessageId(),
          QdFormat("XML tag '%s' nested deeper than %d elements", name, kParseDepth));
}

void CollectStart(TAGENTRY* entry) {
  TAGENTRY* target = TagTarget(entry);
  if (target->flags & TAG_HAS_DATA) {
    if (entry->flags & flag_repdata) {
      target->data.clear();
      target->flags &= ~TAG_HAS_DATA;
    } else if (entry->flags & flag_catdata) {
      target->data += entry->separator;
    } else {
      entry->flags |= TAG_KEEP_FIRST;
    }
  } else {
    target->data.clear();
  }
}

// Reads a decimal long from the start of `text`, as "%ld" does.
bool ReadLong(const char* text, long& value) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text) return false;
  value = v;
  return true;
}

struct PortLayout {
  int a, b;
  unsigned long node_mask, slot_mask, port_mask;
};

void DecodePortToken(char* token, const PortLayout& layout) {
  long v = 0;
  if (std::strlen(token) <= 4 || !ReadLong(token + 4, v)) return;
  unsigned long u = static_cast<unsigned long>(v);
  int node = static_cast<int>((u >> (layout.a + layout.b)) & layout.node_mask);
  int slot = static_cast<int>((u >> layout.a) & layout.slot_mask);
  int port = static_cast<int>(u & layout.port_mask);
  std::snprintf(token + 4, kCaptureSize - 4, "[%d:%d:%d]", node, slot, port);
}

}  // namespace

// ------------------------------------------------------------- cutting

int CutEventXml(const std::string& file_text, std::string& xml) {
  AnalysisResult& result = Engine().result;
  result.AText = TrimBlanks(file_text);
  const std::string& text = result.AText;
  size_t marker = text.find(kMarker);
  if (marker == std::string::npos) {
    AnalLog("0040", '2', AnalMessageId(), "Unable to find XML at all");
    return kStepRefuse;
  }
  result.AXMLText = text.substr(marker);
  result.AFormattedText = text.substr(0, marker) + "\n";
  result.AExtraText.clear();
  result.AAddedData.clear();
  size_t begin = marker + kMarkerLength;
  size_t end = text.find(kEventEnd, begin);
  if (end == std::string::npos) {
    xml = text.substr(begin);
  } else {
    end += kEventEndLength;
    result.AAddedData = text.substr(end);
    xml = text.substr(begin, end - begin);
  }
  return kStepDone;
}

// ------------------------------------------------------------- parser

EventXmlParser::~EventXmlParser() { Free(); }

void EventXmlParser::Free() {
  if (parser) XML_ParserFree(parser);
  parser = nullptr;
  length = 0;
}

int PrepareEventXml(const std::string& xml, EventXmlParser& out) {
  out.Free();
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) {
    AnalLog("0040", '2', AnalMessageId(), "Unable to create parser");
    return kStepRetry;
  }
  out.parser = parser;
  XML_SetUserData(parser, &Engine().stack);
  XML_SetElementHandler(parser, StartHandler, EndHandler);
  XML_SetCharacterDataHandler(parser, TextHandler);

  std::string text = kXmlHeader + xml;
  void* buffer = text.size() < static_cast<size_t>(INT_MAX)
                     ? XML_GetBuffer(parser, static_cast<int>(text.size()) + 1)
                     : nullptr;
  if (!buffer) {
    AnalLog("0040", '2', AnalMessageId(), XML_ErrorString(XML_GetErrorCode(parser)));
    out.Free();
    return kStepRetry;
  }
  // Scrubbing never lengthens the text, so it still fits the buffer.
  PrepTextForXML(text, "scrub");
  std::memcpy(buffer, text.data(), text.size());
  static_cast<char*>(buffer)[text.size()] = '\0';
  out.length = static_cast<int>(text.size());
  return kStepDone;
}

// -------------------------------------------------------------- parse

void ResetEventParse(int slot) {
  AnalysisEngine& engine = Engine();
  if (slot >= 0 && slot < kSlotCount && engine.tags[slot]) {
    for (TAGENTRY* entry = engine.tags[slot]; entry->tagname[0] != '\0'; ++entry) {
      entry->data = kNoValue;
      entry->flags &= ~kTagEventBits;
    }
  }
  engine.pd_number.clear();
  engine.pd_wwn.clear();
  engine.pd_location.clear();
  engine.ComponentNumber = 0;
  engine.PortCompNumber = -1;
  engine.stack = ParseStack();
  engine.stack.table = slot;
}

int ParseEventXml(EventXmlParser& parser) {
  if (!parser.parser) return kStepRetry;
  if (XML_ParseBuffer(parser.parser, parser.length, 1) == XML_STATUS_ERROR) {
    AnalLog("0040", '2', AnalMessageId(), XML_ErrorString(XML_GetErrorCode(parser.parser)));
    parser.Free();
    return kStepRetry;
  }
  parser.Free();
  if (Engine().stack.error) {
    AnalAlert('H', QdFormat("%s EVENT parse error", CurrentProdId()),
              QdFormat("Source file: %s", AnalStoreFile()));
  }
  return kStepDone;
}

void XMLCALL StartHandler(void* user, const XML_Char* name, const XML_Char**) {
  ParseStack& stack = *static_cast<ParseStack*>(user);
  ++stack.depth;
  if (stack.depth >= kParseDepth) {
    StartTooDeep(stack, name);
    return;
  }
  TAGENTRY* entry = EntryForStart(stack, name);
  stack.slots[stack.depth] = entry;
  if (entry == &g_droptag || entry == &g_badtag) return;
  CollectStart(entry);
  if (entry->start_exit) entry->start_exit(&stack);
}

void XMLCALL TextHandler(void* user, const XML_Char* text, int length) {
  ParseStack& stack = *static_cast<ParseStack*>(user);
  if (stack.depth < 0 || stack.depth >= kParseDepth || length <= 0) return;
  TAGENTRY* entry = stack.slots[stack.depth];
  if (!entry || (entry->flags & (flag_nodata | TAG_KEEP_FIRST))) return;
  if (entry->text_exit) {
    entry->text_exit(&stack, text, length);
    return;
  }
  TAGENTRY* target = TagTarget(entry);
  if (target->flags & TAG_HAS_DATA) {
    target->data.append(text, static_cast<size_t>(length));
  } else {
    target->data.assign(text, static_cast<size_t>(length));
    target->flags |= TAG_HAS_DATA;
  }
}

void XMLCALL EndHandler(void* user, const XML_Char*) {
  ParseStack& stack = *static_cast<ParseStack*>(user);
  if (stack.depth < 0) return;
  if (stack.depth < kParseDepth) {
    TAGENTRY* entry = stack.slots[stack.depth];
    if (entry && entry->end_exit) entry->end_exit(&stack);
    stack.slots[stack.depth] = nullptr;
  }
  --stack.depth;
}

// ------------------------------------------------------- after the parse

void DecodePorts() {
  AnalysisEngine& engine = Engine();
  if (engine.PortCompNumber < 0) return;
  TAGENTRY* id = FindTagEntry(0, "CompId");
  if (!id) return;
  TAGENTRY* target = TagTarget(id);

  PortLayout layout{3, 3, 7, 7, 7};
  if (ReleaseAtLeast(2, 3, 1)) {
    layout.b = 4;
    layout.slot_mask = 15;
  }

  std::vector<char> copy(target->data.begin(), target->data.end());
  copy.push_back('\0');
  char* tokens[kCaptureCount];
  int count = GetTokens(copy.data(), id->separator.c_str(), tokens, kCaptureCount, false, true);
  if (count < 0) count = 0;
  for (int i = 0; i < count; ++i) {
    std::snprintf(engine.capture[i], kCaptureSize, "%s", tokens[i]);
  }
  // With more than ten components the last token carries the rest of the
  // id unsplit; decoding it would cut that rest off.
  bool rest_in_last = count == kCaptureCount &&
                      std::strpbrk(engine.capture[count - 1], id->separator.c_str()) != nullptr;
  for (int k = engine.PortCompNumber; k >= 0; --k) {
    int p = engine.PortComponent[k];
    if (p < 0 || p >= count || (rest_in_last && p == count - 1)) continue;
    DecodePortToken(engine.capture[p], layout);
  }
  std::string rebuilt = count > 0 ? engine.capture[0] : "";
  for (int i = 1; i < count; ++i) rebuilt += id->separator + engine.capture[i];
  target->data.swap(rebuilt);
}

void TrimTagValues() {
  TAGENTRY* table = Engine().tags[0];
  if (!table) return;
  for (TAGENTRY* entry = table; entry->tagname[0] != '\0'; ++entry) {
    if (entry->flags & TAG_HAS_DATA) entry->data = TrimBlanks(entry->data);
  }
}
