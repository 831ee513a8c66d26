#include "tag_exits.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine_log.h"
#include "tag_table.h"
#include "tag_translate.h"

namespace {

// The innermost open element's entry, or null.
TAGENTRY* Innermost(const ParseStack* stack) {
  if (!stack || stack->depth < 0 || stack->depth >= kParseDepth) return nullptr;
  return stack->slots[stack->depth];
}

size_t SegmentStart(const TAGENTRY& entry, const TAGENTRY& target) {
  if (!(entry.flags & flag_catdata) || entry.separator.empty()) return 0;
  size_t last = target.data.find_last_of(entry.separator);
  return last == std::string::npos ? 0 : last + 1;
}

// A signed decimal number at the start of `text` (leading white space
// skipped, trailing text ignored), as "%lld" reads it; out-of-range
// numbers are held at the limits instead of being undefined.
bool ReadLongLong(const std::string& text, long long& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  long long v = std::strtoll(begin, &end, 10);
  if (end == begin) return false;
  value = v;
  return true;
}

// The text from `s` + 2 on, when there is any.
bool AfterPrefix(const std::string& data, size_t s, std::string& rest) {
  if (data.size() < s + 2) return false;
  rest = data.substr(s + 2);
  return true;
}

void HexDiskId(std::string& data, size_t s) {
  std::string rest;
  long long n = 0;
  if (!AfterPrefix(data, s, rest) || !ReadLongLong(rest, n)) return;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(n));
  data.replace(s + 2, std::string::npos, hex);
}

void SledId(std::string& data, size_t s) {
  std::string rest;
  long long n = 0;
  if (!AfterPrefix(data, s, rest) || !ReadLongLong(rest, n)) return;
  unsigned long long u = static_cast<unsigned long long>(n);
  unsigned long long low = u & 0xFFFFFFFFull;
  char text[96];
  if (low == 0xFFFFFFFAull) {
    std::snprintf(text, sizeof text, "HD?");
  } else {
    unsigned long long group = (u >> 32) & 0xFF;
    const char* prefix = group == 1 ? "0." : group == 2 ? "1." : "";
    std::snprintf(text, sizeof text, "HD[%lld:%s%lld:%lld]", static_cast<long long>(low), prefix,
                  static_cast<long long>((u >> 40) & 0xFF),
                  static_cast<long long>((u >> 48) & 0xFF));
  }
  data.replace(s, std::string::npos, text);
}

void RecordPort() {
  AnalysisEngine& engine = Engine();
  if (engine.PortCompNumber + 1 >= kRawComponents) return;  // the table is full
  engine.PortComponent[++engine.PortCompNumber] = engine.ComponentNumber - 1;
}

void OfferToLookupPD(std::string& data, size_t s) {
  std::string rest;
  if (!AfterPrefix(data, s, rest)) return;
  AnalysisEngine& engine = Engine();
  if (LookupPD(rest, engine.pd_number, engine.pd_wwn, engine.pd_location)) {
    data.replace(s + 2, std::string::npos, engine.pd_number);
  }
}

}  // namespace

bool LookupPD(const std::string&, std::string&, std::string&, std::string&) { return false; }

void Exit_endingSeparator(ParseStack* stack) {
  TAGENTRY* entry = Innermost(stack);
  if (!entry || entry->separator.empty()) return;
  const std::string& sep = entry->separator;
  const char* closer = sep == "("   ? ")"
                       : sep == "{" ? "}"
                       : sep == "[" ? "]"
                       : sep == "<" ? ">"
                                    : nullptr;
  TagTarget(entry)->data += closer ? std::string(closer) : sep;
}

void Exit_captureRawComponent(ParseStack* stack) {
  TAGENTRY* entry = Innermost(stack);
  if (!entry) return;
  AnalysisEngine& engine = Engine();
  if (engine.ComponentNumber < kRawComponents) {
    TAGENTRY* target = TagTarget(entry);
    engine.RawComponent[engine.ComponentNumber++] =
        target->data.substr(SegmentStart(*entry, *target));
  }
  Exit_translateTagData(stack);
}

void Exit_translateTagData(ParseStack* stack) {
  TAGENTRY* entry = Innermost(stack);
  if (!entry) return;
  TAGENTRY* target = TagTarget(entry);
  size_t s = SegmentStart(*entry, *target);
  std::string value = target->data.substr(s);
  long file_type = CurrentFileType();

  char data1[kTranslateMax + 1] = {0};
  bool is_null = false;
  int code = 100;  // a value longer than any fieldvalue has no row
  if (value.size() <= kTranslateMax) {
    auto lookup = Engine().seams.translate ? Engine().seams.translate : SelectTagTranslation;
    code = lookup(file_type, entry->tagname, value.c_str(), data1, sizeof data1, &is_null);
  }
  if (code == 0) {
    if (!is_null) target->data.replace(s, std::string::npos, data1);
  } else if (code == 100) {
    AnalAlert(
        'L', QdFormat("%s '%s' '%s' not found", CurrentProdId(), entry->tagname, value.c_str()),
        QdFormat("Source file: %s", AnalStoreFile()));
  } else {
    AnalSqlError(QdFormat("translate filetype %ld tag %s value '%s'", file_type, entry->tagname,
                              value.c_str())
                     .c_str());
  }
}

void Exit_translateCID(ParseStack* stack) {
  TAGENTRY* entry = Innermost(stack);
  AnalysisEngine& engine = Engine();
  if (!entry || engine.ComponentNumber < 1) return;
  TAGENTRY* target = TagTarget(entry);
  const std::string& type = engine.RawComponent[engine.ComponentNumber - 1];
  size_t s = SegmentStart(*entry, *target);
  if (entry->flags & flag_makehex) {
    if (type == "comp_hw_disk") {
      HexDiskId(target->data, s);
    } else if (type == "comp_sw_port") {
      RecordPort();
    } else if (type == "comp_hw_cage_sled" && s != 0) {
      SledId(target->data, s);
    }
  }
  if (type == "comp_hw_disk" || type == "comp_sw_pd") OfferToLookupPD(target->data, s);
}
