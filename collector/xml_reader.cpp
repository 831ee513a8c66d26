#include "xml_reader.h"

#include <cctype>
#include <cstring>

const char* const kXmlErrNoStart = "1: Cannot find beginning of start tag.\n";
const char* const kXmlErrNoStartEnd = "2: Cannot find end of start tag.\n";
const char* const kXmlErrNoEndEnd = "3: End of tag not found.\n";
const char* const kXmlErrMismatch = "4: End tag does not match start tag.\n";
const char* const kXmlErrNoNextTag = "5: Cannot find next tag.\n";
const char* const kXmlErrTooDeep = "6: Elements nested too deeply.\n";

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

int Fail(const char* text, std::string& err) {
  err = text;
  return 1;
}

}  // namespace

std::string_view StripSpaces(std::string_view text) {
  size_t b = 0;
  while (b < text.size() && IsSpace(text[b])) ++b;
  size_t e = text.size();
  while (e > b && IsSpace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

int XmlProcessTag(std::string_view doc, size_t* pos, XmlElementHandler& h, int depth,
                  std::string& err) {
  size_t p = *pos;
  if (p >= doc.size() || doc[p] != '<' || (p + 1 < doc.size() && doc[p + 1] == '/')) {
    return Fail(kXmlErrNoStart, err);
  }
  if (depth >= kXmlMaxDepth) return Fail(kXmlErrTooDeep, err);
  size_t close = doc.find('>', p + 1);
  if (close == std::string_view::npos) return Fail(kXmlErrNoStartEnd, err);
  std::string_view name = doc.substr(p + 1, close - p - 1);
  const size_t start = p;
  if (!name.empty() && name.back() == '/') {
    name.remove_suffix(1);
    if (const char* e = h.Start(name, start)) return Fail(e, err);
    if (const char* e = h.End(name, start)) return Fail(e, err);
    *pos = close + 1;
    return 0;
  }
  if (const char* e = h.Start(name, start)) return Fail(e, err);
  p = close + 1;
  for (;;) {
    while (p < doc.size() && IsSpace(doc[p])) ++p;
    if (p >= doc.size() || doc[p] != '<') {
      size_t lt = doc.find('<', p);
      if (lt == std::string_view::npos) return Fail(kXmlErrNoNextTag, err);
      if (const char* e = h.Chars(doc.substr(p, lt - p), p)) return Fail(e, err);
      p = lt;
      continue;
    }
    if (p + 1 < doc.size() && doc[p + 1] == '/') {
      size_t gt = doc.find('>', p + 2);
      if (gt == std::string_view::npos) return Fail(kXmlErrNoEndEnd, err);
      if (doc.substr(p + 2, gt - p - 2).substr(0, name.size()) != name) {
        return Fail(kXmlErrMismatch, err);
      }
      if (const char* e = h.End(name, p)) return Fail(e, err);
      *pos = gt + 1;
      return 0;
    }
    if (XmlProcessTag(doc, &p, h, depth + 1, err) != 0) return 1;
  }
}

int XmlProcessString(std::string_view doc, XmlElementHandler& h, std::string& err) {
  size_t p = 0;
  while (p < doc.size() && IsSpace(doc[p])) ++p;
  size_t e = doc.size();
  while (e > p && IsSpace(doc[e - 1])) --e;
  std::string_view body = doc.substr(0, e);
  return XmlProcessTag(body, &p, h, 0, err);
}

void str_normalize(char* s) {
  static const struct { const char* ent; size_t len; char c; } kEntities[] = {
      {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&amp;", 5, '&'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''}};
  char* out = s;
  for (const char* in = s; *in;) {
    bool done = false;
    if (*in == '&') {
      for (const auto& ent : kEntities) {
        if (std::strncmp(in, ent.ent, ent.len) == 0) {
          *out++ = ent.c;
          in += ent.len;
          done = true;
          break;
        }
      }
    }
    if (!done) *out++ = *in++;
  }
  *out = '\0';
}
