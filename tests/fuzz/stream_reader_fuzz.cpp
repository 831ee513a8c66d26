// The collector's stream reader fed arbitrary bytes in blocks of arbitrary
// sizes. The first two bytes seed the block sizes (1 to 8000 bytes, small
// sizes likely); the rest is the stream. Every event delivered must have
// bounded, terminated texts and counts within their slots.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "event_parser.h"

namespace {

void CheckTerminated(const char* field, size_t cap) {
  if (memchr(field, '\0', cap) == nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t state = (static_cast<uint32_t>(data[0]) << 8 | data[1]) * 2654435761u + 1;
  data += 2;
  size -= 2;
  static DescTable comps;
  if (comps.entries.empty()) comps.entries.push_back({"comp_sw_pd", "Physical Disk", true});
  EventParser p;
  p.comps = &comps;
  p.callback = [](evtmon_t& e, const std::string& raw) {
    CheckTerminated(e.type, sizeof e.type);
    CheckTerminated(e.comp_text, sizeof e.comp_text);
    CheckTerminated(e.short_desc, sizeof e.short_desc);
    CheckTerminated(e.event_string, sizeof e.event_string);
    CheckTerminated(e.raw_xml, sizeof e.raw_xml);
    CheckTerminated(e.param_text, sizeof e.param_text);
    CheckTerminated(e.cat_key, sizeof e.cat_key);
    if (e.comps.count < 0 || e.comps.count > kEvtMaxComps) abort();
    if (e.params.count < 0 || e.params.count > kEvtMaxParams) abort();
    if (raw.empty()) abort();
  };
  std::string block;
  std::string err;
  size_t at = 0;
  while (at < size) {
    state = state * 1103515245u + 12345u;
    size_t len = (state >> 16) % 4 == 0 ? 1 + (state >> 8) % 8000 : 1 + (state >> 8) % 64;
    if (len > size - at) len = size - at;
    block.assign(reinterpret_cast<const char*>(data) + at, len);
    process_buf(p, block.data(), static_cast<long>(block.size()), err);
    at += len;
  }
  return 0;
}
