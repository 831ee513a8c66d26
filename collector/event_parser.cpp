#include "event_parser.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xml_reader.h"

const char* const kEvtListStart = "<EventList>";
const char* const kEvtListEnd = "</EventList>";
const char* const kEvtTooBig = "Buffer is to big to process";

namespace {

constexpr size_t kStartLen = 11;  // strlen("<EventList>")
constexpr size_t kEndLen = 12;    // strlen("</EventList>")
constexpr size_t kRawMax = sizeof(evtmon_t::raw_xml) - 1;
const char* const kErrNul = "7: Document holds a NUL byte.\n";
const char* const kErrStack = "9: Tag stack out of balance.\n";

// Copies `text` into the field of `cap` bytes, cut to fit.
void CopyField(char* field, size_t cap, std::string_view text) {
  size_t n = text.size() < cap - 1 ? text.size() : cap - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// Appends `text` and one blank to the field of `cap` bytes, as much as fits.
void AppendField(char* field, size_t cap, std::string_view text) {
  size_t used = std::strlen(field);
  if (used >= cap - 1) return;
  size_t n = text.size() < cap - 1 - used ? text.size() : cap - 1 - used;
  std::memcpy(field + used, text.data(), n);
  used += n;
  if (used < cap - 1) field[used++] = ' ';
  field[used] = '\0';
}

// Whole decimal number in [lo, hi]; false for anything else.
bool ParseNumber(std::string_view text, long long lo, long long hi, long long& out) {
  if (text.empty() || text.size() > 30) return false;
  char buf[32];
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = '\0';
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(buf, &end, 10);
  if (errno != 0 || end == buf || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

class EventReader : public XmlElementHandler {
 public:
  EventReader(EventParser& p, std::string_view doc) : p_(p), doc_(doc) {}

  const char* Start(std::string_view name, size_t pos) override {
    tag_type_t t = tag_name_to_enum(name);
    if (t == TAG_PrimaryComp || t == TAG_Comp) ++p_.comp_depth;
    if (t == TAG_Parameter) ++p_.param_depth;
    if (t == TAG_Event) StartEvent(pos);
    if (p_.tags.size() >= kTagStackMax) return kXmlErrTooDeep;
    p_.tags.push_back(t);
    return nullptr;
  }

  const char* End(std::string_view name, size_t) override {
    tag_type_t t = tag_name_to_enum(name);
    if (p_.tags.empty() || p_.tags.back() != t) return kErrStack;
    evtmon_t& e = *p_.evt;
    if (t == TAG_PrimaryComp || t == TAG_Comp) {
      if (--p_.comp_depth == 0 && e.comps.count < kEvtMaxComps) ++e.comps.count;
    } else if (t == TAG_Parameter) {
      if (--p_.param_depth == 0 && e.params.count < kEvtMaxParams) ++e.params.count;
    } else if (t == TAG_Event) {
      ++p_.events;
      if (p_.callback) p_.callback(e, p_.raw);
    }
    p_.tags.pop_back();
    return nullptr;
  }

  const char* Chars(std::string_view text, size_t) override {
    if (p_.tags.empty()) return nullptr;
    text = StripSpaces(text);
    evtmon_t& e = *p_.evt;
    switch (p_.tags.back()) {
      case TAG_Node: return Int32(text, "Node", e.node);
      case TAG_Seq: return Int32(text, "Seq", e.seq);
      case TAG_Sev: return Int32(text, "Sev", e.sev);
      case TAG_Time: return Int32(text, "Time", e.time);
      case TAG_AlertId: return Int32(text, "AlertId", e.alert_id);
      case TAG_MessageCode: return Int32(text, "MessageCode", e.msgcode);
      case TAG_Type: CopyField(e.type, sizeof e.type, text); return nullptr;
      case TAG_Class: {
        int c = sp_class_name_to_enum(text);
        if (c != kClassInvalid) e.class_mask |= 1u << c;
        return nullptr;
      }
      case TAG_CompName:
        AppendField(e.comp_text, sizeof e.comp_text, text);
        if (p_.comp_depth == 1) CopyField(CurrentComp().name, sizeof(evt_comp_t::name), text);
        return nullptr;
      case TAG_CompType: CompType(text); return nullptr;
      case TAG_CompId: CompId(text); return nullptr;
      case TAG_ShortDesc: Decoded(e.short_desc, sizeof e.short_desc, text); return nullptr;
      case TAG_EventString: Decoded(e.event_string, sizeof e.event_string, text); return nullptr;
      case TAG_CatKey: Decoded(e.cat_key, sizeof e.cat_key, text); return nullptr;
      case TAG_PName:
      case TAG_PValue: Param(p_.tags.back() == TAG_PName, text); return nullptr;
      default: return nullptr;
    }
  }

 private:
  void StartEvent(size_t pos) {
    init_evtmon(p_.evt.get());
    p_.comp_depth = 0;
    p_.param_depth = 0;
    size_t end = doc_.find("</Event>", pos);
    if (end == std::string_view::npos) {
      p_.raw = "Start tag cannot parse " + std::string(doc_.substr(pos)) + "\n";
    } else {
      p_.raw.assign(doc_.substr(pos, end + 8 - pos));
    }
    CopyField(p_.evt->raw_xml, sizeof p_.evt->raw_xml, std::string_view(p_.raw).substr(0, kRawMax));
  }

  const char* Int32(std::string_view text, const char* what, int32_t& out) {
    long long v;
    if (!ParseNumber(text, INT32_MIN, INT32_MAX, v)) {
      err_ = std::string("8: Invalid number in ") + what + ".\n";
      return err_.c_str();
    }
    out = static_cast<int32_t>(v);
    return nullptr;
  }

  evt_comp_t& CurrentComp() { return p_.evt->comps.comp[p_.evt->comps.count]; }

  // The type record CompType and CompId fill: the component's own at depth
  // 1, container d-1 at depth d; none outside a component or deeper than
  // the container slots.
  evt_comp_type_t* Target() {
    int d = p_.comp_depth;
    if (d == 1) return &CurrentComp().type;
    if (d >= 2 && d - 1 < kEvtContainerSlots) return &CurrentComp().containers[d - 1];
    return nullptr;
  }

  void CompType(std::string_view text) {
    std::string value(text);
    AppendField(p_.evt->comp_text, sizeof p_.evt->comp_text, type_to_desc(p_.comps, value.c_str()));
    if (evt_comp_type_t* t = Target()) CopyField(t->type_name, sizeof t->type_name, text);
  }

  void CompId(std::string_view text) {
    evtmon_t& e = *p_.evt;
    long long id;
    if (!ParseNumber(text, LLONG_MIN, LLONG_MAX, id)) {
      AppendField(e.comp_text, sizeof e.comp_text, text);
      return;
    }
    evt_comp_type_t* t = Target();
    if (!t) {
      AppendField(e.comp_text, sizeof e.comp_text, text);
      return;
    }
    t->id_specified = 1;
    t->id = id;
    if (std::strcmp(t->type_name, "comp_hw_disk") == 0) {
      char hex[20];
      std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(id));
      AppendField(e.comp_text, sizeof e.comp_text, hex);
    } else if (std::strcmp(t->type_name, "comp_hw_cage_sled") == 0 && p_.comp_depth >= 2) {
      AppendField(e.comp_text, sizeof e.comp_text, CageSledText(id));
    } else {
      AppendField(e.comp_text, sizeof e.comp_text, text);
    }
  }

  void Decoded(char* field, size_t cap, std::string_view text) {
    CopyField(field, cap, text);
    str_normalize(field);
  }

  void Param(bool name, std::string_view text) {
    evtmon_t& e = *p_.evt;
    AppendField(e.param_text, sizeof e.param_text, text);
    if (p_.param_depth != 1) return;
    evt_param_t& slot = e.params.param[e.params.count];
    if (name) CopyField(slot.name, sizeof slot.name, text);
    else CopyField(slot.value, sizeof slot.value, text);
  }

  EventParser& p_;
  std::string_view doc_;
  std::string err_;
};

void KeepFirst(std::string& err, const std::string& text) {
  if (err.empty()) err = text;
}

}  // namespace

void init_evtmon(evtmon_t* e) {
  e->node = e->seq = e->sev = -1;
  e->time = e->alert_id = e->msgcode = 0;
  e->class_mask = 0;
  e->type[0] = e->comp_text[0] = e->short_desc[0] = e->event_string[0] = e->param_text[0] = '\0';
  std::memset(&e->comps, 0, sizeof e->comps);
  std::memset(&e->params, 0, sizeof e->params);
}

EventParser::EventParser() : evt(new evtmon_t()) {
  init_evtmon(evt.get());
  evt->raw_xml[0] = '\0';
  evt->cat_key[0] = '\0';
  tags.reserve(kTagStackMax);
}

void init_buf(EventParser& p) { p.doc.clear(); }

std::string CageSledText(long long id) {
  long long a = id & 0xFFFFFFFFLL;
  long long b = (id >> 32) & 0xFF;
  long long c = (id >> 40) & 0xFF;
  long long d = (id >> 48) & 0xFF;
  if (a == 0xFFFFFFFALL) return "N/A";
  char text[80];
  std::snprintf(text, sizeof text, "%lld:%s%lld:%lld", a, b == 1 ? "0." : b == 2 ? "1." : "", c, d);
  return text;
}

int process_eventlist(EventParser& p, std::string_view doc, std::string& err) {
  ++p.documents;
  p.tags.clear();
  p.comp_depth = p.param_depth = 0;
  if (doc.find('\0') != std::string_view::npos) {
    err = kErrNul;
    return 1;
  }
  EventReader reader(p, doc);
  return XmlProcessString(doc, reader, err);
}

void process_buf(EventParser& p, const char* buf, long len, std::string& err) {
  err.clear();
  if (len <= 0) {
    char text[80];
    std::snprintf(text, sizeof text, "process_buf: passed in buffer of length %ld", len);
    err = text;
    return;
  }
  std::string_view rest(buf, static_cast<size_t>(len));
  for (;;) {
    if (p.looking_for_end) {
      size_t before = p.doc.size();
      size_t from = before > kEndLen ? before - kEndLen : 0;
      p.doc.append(rest.data(), rest.size());
      size_t end = p.doc.find(kEvtListEnd, from);
      if (end == std::string::npos) {
        if (p.doc.size() >= kEvtListMax) {
          // Too big: the whole unfinished document goes, and its remainder
          // is skipped like any text between documents.
          KeepFirst(err, kEvtTooBig);
          p.doc.clear();
          p.looking_for_end = false;
          p.lastfew.clear();
        }
        return;
      }
      size_t docend = end + kEndLen;
      rest.remove_prefix(docend - before);
      if (docend >= kEvtListMax) {
        KeepFirst(err, kEvtTooBig);
      } else {
        p.doc.resize(docend);
        std::string docerr;
        if (process_eventlist(p, p.doc, docerr) != 0) KeepFirst(err, docerr);
      }
      p.doc.clear();
      p.looking_for_end = false;
    }
    if (rest.empty()) return;
    // A start tag may begin in the carried bytes: look across the seam first.
    size_t after = std::string::npos;  // offset in `rest` just behind the start tag
    if (!p.lastfew.empty()) {
      std::string seam = p.lastfew;
      seam.append(rest.data(), rest.size() < kStartLen ? rest.size() : kStartLen - 1);
      size_t at = seam.find(kEvtListStart);
      if (at != std::string::npos) after = at + kStartLen - p.lastfew.size();
    }
    if (after == std::string::npos) {
      size_t at = rest.find(kEvtListStart);
      if (at != std::string_view::npos) after = at + kStartLen;
    }
    if (after == std::string::npos) {
      std::string tail = p.lastfew;
      tail.append(rest.data(), rest.size());
      size_t keep = tail.size() < kStartLen - 1 ? tail.size() : kStartLen - 1;
      p.lastfew = tail.substr(tail.size() - keep);
      return;
    }
    rest.remove_prefix(after);
    p.doc.assign(kEvtListStart);
    p.lastfew.clear();
    p.looking_for_end = true;
  }
}
