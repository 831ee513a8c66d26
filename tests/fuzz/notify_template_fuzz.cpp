// The notifier's template engine over arbitrary templates and record
// fields. Input: one flag byte (bit 0: prepare the free texts for XML),
// then NUL-separated chunks: the template text, then the record's texts in
// the order below, then the raw bytes of its four stamps (any bytes, no
// terminator needed).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mail_template.h"
#include "notify_data.h"

namespace {

#define QD_TEXT(field) {nd.field, sizeof nd.field}

void Fill(NotifyData& nd, const std::vector<std::string>& chunks) {
  struct Text {
    char* dst;
    size_t size;
  } texts[] = {QD_TEXT(NOTTYPE),      QD_TEXT(NOTID),          QD_TEXT(RAPLOC),
               QD_TEXT(HUBLOC),       QD_TEXT(HUBTZ),          QD_TEXT(NOTCOMMENTS),
               QD_TEXT(NOTUNIQUE),    QD_TEXT(VENDOR),         QD_TEXT(PRODUCT),
               QD_TEXT(SERIAL),       QD_TEXT(MODEL),          QD_TEXT(MODELID),
               QD_TEXT(SITE),         QD_TEXT(SITETZ),         QD_TEXT(SITENAME),
               QD_TEXT(SITENICKNAME), QD_TEXT(USERID),         QD_TEXT(SHIFT),
               QD_TEXT(CATEGORY),     QD_TEXT(ORGTYPE),        QD_TEXT(LANGUAGE),
               QD_TEXT(USERTZ),       QD_TEXT(EVENTLOCATION),  QD_TEXT(EVENTTZ),
               QD_TEXT(EVENTTIMESHORT), QD_TEXT(COUNTER),      QD_TEXT(URGENCY),
               QD_TEXT(SHORTURGENCY), QD_TEXT(NOTCLASS),       QD_TEXT(EVENT),
               QD_TEXT(SOURCE),       QD_TEXT(ABSTRACT),       QD_TEXT(TEXT)};
  Time_Stamp* stamps[] = {&nd.NotifyTime, &nd.UserTime, &nd.EventTimeFirst, &nd.EventTimeLast};
  size_t next = 1;
  for (const Text& t : texts) {
    if (next >= chunks.size()) break;
    std::snprintf(t.dst, t.size, "%s", chunks[next++].c_str());
  }
  NotifySetCustText(nd);
  std::string raw;
  for (; next < chunks.size(); ++next) raw += chunks[next] + '\0';
  for (size_t i = 0; i < 4 && raw.size() >= (i + 1) * sizeof(Time_Stamp); ++i) {
    std::memcpy(stamps[i], raw.data() + i * sizeof(Time_Stamp), sizeof(Time_Stamp));
  }
  if (raw.size() >= 3 * sizeof(Time_Stamp)) NotifySetEventTimeShort(nd);
}

#undef QD_TEXT

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  bool xml = data[0] & 1;
  std::vector<std::string> chunks(1);
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      chunks.emplace_back();
    } else {
      chunks.back().push_back(static_cast<char>(data[i]));
    }
  }
  static NotifyData nd;
  NotifyClear(nd);
  Fill(nd, chunks);
  const std::string& tmpl = chunks[0];
  if (tmpl.empty()) return 0;
  FILE* in = fmemopen(const_cast<char*>(tmpl.data()), tmpl.size(), "rb");
  char* buf = nullptr;
  size_t len = 0;
  FILE* out = open_memstream(&buf, &len);
  if (in && out) {
    int rc = TemplateCopy(in, "fuzz.tmplt", nd, out, nullptr, xml);
    std::fflush(out);
    // What comes out is whole lines, and never more than a line's worth of
    // fields per line: a cheap check that nothing ran past a field.
    if (rc == kTemplateDone && len > 0 && buf[len - 1] != '\n') std::abort();
  }
  if (in) std::fclose(in);
  if (out) std::fclose(out);
  std::free(buf);
  return 0;
}
