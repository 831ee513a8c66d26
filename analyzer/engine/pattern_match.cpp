#include "pattern_match.h"

#include <cstdio>
#include <cstring>

#include "engine_log.h"
#include "tag_table.h"

const char kGenericApply[] = " generic";

namespace {

const char kNoValue[] = "<no value>";

PatternEntry* SlotPatterns(int slot) {
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  return Engine().patterns[slot];
}

bool Matches(PatternEntry& entry, const char* text, regmatch_t (&match)[kCaptureCount + 1]) {
  return entry.compiled && regexec(&entry.regex, text, kCaptureCount + 1, match, 0) == 0;
}

std::string GroupText(const char* text, const regmatch_t& group) {
  if (group.rm_so < 0 || group.rm_eo < group.rm_so) return std::string();
  return std::string(text + group.rm_so, static_cast<size_t>(group.rm_eo - group.rm_so));
}

void ApplyMatch(PatternEntry& entry, const char* text,
                const regmatch_t (&match)[kCaptureCount + 1]) {
  AnalysisEngine& engine = Engine();
  for (int k = 0; k < kCaptureCount; ++k) {
    const regmatch_t& group = match[k + 1];
    char* buffer = engine.capture[k];
    if (group.rm_so < 0) {
      std::snprintf(buffer, kCaptureSize, "%s", kNoValue);
    } else {
      std::snprintf(buffer, kCaptureSize, "%s", GroupText(text, group).c_str());
    }
  }
  for (int k = 0; k < kCaptureCount; ++k) {
    if (entry.tag[k]) entry.tag[k]->data = engine.capture[k];
  }
}

void CollectGeneric(TAGENTRY* tag, const std::string& value) {
  TAGENTRY* target = TagTarget(tag);
  if (!(target->flags & TAG_HAS_DATA)) {
    target->data = value;
    target->flags |= TAG_HAS_DATA;
  } else if (tag->flags & flag_repdata) {
    target->data = value;
  } else if (tag->flags & flag_catdata) {
    target->data += tag->separator + value;
  }
}

}  // namespace

PatternEntry* Parse_entry(int slot, const char* apply, const std::string& text) {
  PatternEntry* entry = SlotPatterns(slot);
  const char* name = apply ? apply : "";
  while (entry && entry->apply[0] != '\0' && std::strcmp(entry->apply, name) != 0) ++entry;
  regmatch_t match[kCaptureCount + 1];
  for (; entry && entry->apply[0] != '\0' && std::strcmp(entry->apply, name) == 0; ++entry) {
    if (Matches(*entry, text.c_str(), match)) {
      ApplyMatch(*entry, text.c_str(), match);
      return entry;
    }
  }
  std::string report =
      QdFormat("Pattern search failed for filetype=%ld, apply='%s'\nFile='%s'\nData='%s'\n",
                   CurrentFileType(), name, AnalStoreFile(), text.c_str());
  AnalLog("9999", '0', report);
  AnalAlert('H', "Pattern search failed", report);
  return nullptr;
}

void RunGenericPatterns(int slot, const std::string& text) {
  regmatch_t match[kCaptureCount + 1];
  for (PatternEntry* entry = SlotPatterns(slot);
       entry && std::strcmp(entry->apply, kGenericApply) == 0; ++entry) {
    if (!Matches(*entry, text.c_str(), match)) continue;
    for (int k = 0; k < kCaptureCount; ++k) {
      if (entry->tag[k]) CollectGeneric(entry->tag[k], GroupText(text.c_str(), match[k + 1]));
    }
  }
}
