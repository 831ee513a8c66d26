// Link error counts, component states and node integrity.
#include <cstdio>
#include <cstring>
#include <vector>

#include "event_handlers.h"
#include "handler_patterns.h"
#include "tag_table.h"
#include "text_util.h"

namespace {

constexpr int kLesbHeading = 0;  // "Zarvekdata LESB counts"
constexpr int kLesbCage = 1;     // a "cage" line of the counts
constexpr int kLesbHost = 2;     // a "host" line of the counts

const char kLesbPlaceholder[] = "FCLESB_ERR";
const char kMemvalSection[] = "----- showmemval";
const char kFlusherNode[] = " flusher_speed for node";
const char kFlusherValue[] = "flusher_speed+0x000:";

bool Matches(const regex_t* re, const std::string& text) {
  return regexec(re, text.c_str(), 0, nullptr, 0) == 0;
}

// Gives a component-state tag without a value of this event the text
// `value`; the template reads the table entry itself, and the value goes to
// its redirect target as well so that both agree.
void DefaultTagValue(int slot, const char* name, const char* value) {
  TAGENTRY* entry = FindTagEntry(slot, name);
  if (!entry) return;
  TAGENTRY* holder = TagTarget(entry);
  if (holder->flags & TAG_HAS_DATA) return;
  entry->data = value;
  holder->data = value;
}

// The state and detail of one memory-dump section's flusher line; false
// when the section has none (or it cannot be read).
struct FlusherState {
  char node = '?';
  std::string state;
  std::string detail;
};

bool ReadFlusher(const std::string& text, size_t from, size_t to, FlusherState& out) {
  size_t at = text.find(kFlusherNode, from);
  size_t node_at = at + sizeof kFlusherNode - 1;
  if (at == std::string::npos || node_at >= to) return false;
  out.node = text[node_at];
  size_t value = text.find(kFlusherValue, node_at);
  if (value == std::string::npos || value >= to) return false;
  size_t eol = text.find('\n', value);
  if (eol == std::string::npos || eol > to) return false;
  std::vector<char> line(text.begin() + value, text.begin() + eol);
  line.push_back('\0');
  char* tokens[4] = {nullptr};
  int n = GetTokens(line.data(), " \t", tokens, 4, true, false);
  // A value line without a state says nothing about the flusher.
  if (n < 2) return false;
  out.state = tokens[1];
  out.detail = n > 2 ? tokens[2] : "";
  return true;
}

}  // namespace

PatternEntry* EH_lesb(int slot, const char* name, const std::string& s) {
  PatternEntry* entry = EH_pattern(slot, name, s);
  const regex_t* heading = HandlerPatternAt(kLesbHeading);
  const regex_t* cage = HandlerPatternAt(kLesbCage);
  const regex_t* host = HandlerPatternAt(kLesbHost);
  if (!entry || !heading || !cage || !host) return entry;
  AnalysisResult& result = Engine().result;
  const std::string& added = result.AAddedData;
  if (!Matches(heading, added)) return entry;
  const char* replacement = nullptr;
  if (Matches(cage, added)) {
    replacement = "FCLESB_CAGE";
  } else if (Matches(host, added)) {
    replacement = "FCLESB_HOST";
  }
  size_t at = result.ASymptom.find(kLesbPlaceholder);
  if (replacement && at != std::string::npos) {
    result.ASymptom.replace(at, sizeof kLesbPlaceholder - 1, replacement);
  }
  return entry;
}

PatternEntry* EH_compstate(int slot, const char* name, const std::string& s) {
  DefaultTagValue(slot, "OverallState", "unknown state");
  DefaultTagValue(slot, "StCompType", "");
  DefaultTagValue(slot, "StCompState", "");
  return EH_generic(slot, name, s);
}

PatternEntry* EH_nodeinteg(int slot, const char* name, const std::string& s) {
  AnalysisEngine& engine = Engine();
  AnalysisResult& result = engine.result;
  const std::string added = result.AAddedData;
  const size_t marker = sizeof kMemvalSection - 1;
  int bad = 0;
  for (size_t at = added.find(kMemvalSection); at != std::string::npos;) {
    size_t from = at + marker;
    size_t next = added.find(kMemvalSection, from);
    // A section is read up to the next one, so that a section without a
    // flusher line does not report the following section's node again.
    size_t to = next == std::string::npos ? added.size() : next;
    FlusherState f;
    if (ReadFlusher(added, from, to, f) && f.state != "0") {
      if (bad++ == 0) {
        std::snprintf(engine.capture[0], kCaptureSize, "NODE%c", f.node);
        result.AExtraText += "\n";
      }
      char line[kCaptureSize];
      std::snprintf(line, sizeof line, "Node%c flusher_speed has a bad state (%s)\n", f.node,
                    f.detail.c_str());
      result.AExtraText += line;
    }
    at = next;
  }
  if (bad > 0) {
    result.AExtraText += "\nContact Zarvek Support to resolve this problem.\n";
    PatternEntry* entry = EH_generic(slot, name, s);
    result.AUrgency = 'H';
    return entry;
  }
  result.ForceUrgencyIgnore = true;
  result.ASymptom = s + "; No flusher state problem";
  return nullptr;
}
