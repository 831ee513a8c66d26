// The template engine (mail_template.h).
#include "mail_template.h"

#include <cerrno>
#include <cstring>

#include "text_util.h"

namespace {

// How a keyword's field is shown.
enum FieldKind { kPlain, kFree, kStamp };

struct Keyword {
  const char* name;
  size_t offset;  // of the field in NotifyData
  size_t width;
  FieldKind kind;
};

#define QD_FIELD(name, field, kind) \
  { name, offsetof(NotifyData, field), sizeof(NotifyData::field), kind }

const Keyword kKeywords[] = {
    QD_FIELD("NOTTYPE", NOTTYPE, kPlain),
    QD_FIELD("NOTID", NOTID, kPlain),
    QD_FIELD("RAPLOC", RAPLOC, kPlain),
    QD_FIELD("HUBLOC", HUBLOC, kPlain),
    QD_FIELD("NOTTIME_HUB", NotifyTime, kStamp),
    QD_FIELD("NOTTIME_USER", UserTime, kStamp),
    QD_FIELD("HUBTZ", HUBTZ, kPlain),
    QD_FIELD("NOTCOMMENTS", NOTCOMMENTS, kFree),
    QD_FIELD("NOTUNIQUE", NOTUNIQUE, kPlain),
    QD_FIELD("VENDOR", VENDOR, kPlain),
    QD_FIELD("PRODUCT", PRODUCT, kPlain),
    QD_FIELD("SERIAL", SERIAL, kPlain),
    QD_FIELD("MODEL", MODEL, kPlain),
    QD_FIELD("MODELID", MODELID, kPlain),
    QD_FIELD("SITE", SITE, kPlain),
    QD_FIELD("SITETZ", SITETZ, kPlain),
    QD_FIELD("SITENAME", SITENAME, kPlain),
    QD_FIELD("SITENICKNAME", SITENICKNAME, kPlain),
    QD_FIELD("USERID", USERID, kPlain),
    QD_FIELD("SHIFT", SHIFT, kPlain),
    QD_FIELD("CATEGORY", CATEGORY, kPlain),
    QD_FIELD("ORGTYPE", ORGTYPE, kPlain),
    QD_FIELD("LANGUAGE", LANGUAGE, kPlain),
    QD_FIELD("USERTZ", USERTZ, kPlain),
    QD_FIELD("EVENTLOCATION", EVENTLOCATION, kPlain),
    QD_FIELD("EVENTTZ", EVENTTZ, kPlain),
    QD_FIELD("EVENTTIMEFIRST", EventTimeFirst, kStamp),
    QD_FIELD("EVENTTIME", EventTimeLast, kStamp),
    QD_FIELD("EVENTTIMELAST", EventTimeLast, kStamp),
    QD_FIELD("EVENTTIMESHORT", EVENTTIMESHORT, kPlain),
    QD_FIELD("COUNTER", COUNTER, kPlain),
    QD_FIELD("URGENCY", URGENCY, kPlain),
    QD_FIELD("SHORTURGENCY", SHORTURGENCY, kPlain),
    QD_FIELD("NOTCLASS", NOTCLASS, kPlain),
    QD_FIELD("EVENT", EVENT, kPlain),
    QD_FIELD("SOURCE", SOURCE, kPlain),
    QD_FIELD("ABSTRACT", ABSTRACT, kFree),
    QD_FIELD("TEXT", TEXT, kFree),
    QD_FIELD("CUSTTEXT", CUSTTEXT, kFree),
};

#undef QD_FIELD

void LogFile(CLogMessage* log, const char* what, const char* name) {
  if (log) log->Insert("QDZ0080", '2', what, name);
}

// Reads one line of at most kTemplateLineMax characters into `line`
// (without its line feed). 1: a line; 0: end of file; -1: a read error or
// a longer line.
int ReadLine(FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(in)) != EOF) {
    if (c == '\n') return 1;
    if (line.size() == kTemplateLineMax) return -1;
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(in)) return -1;
  return line.empty() ? 0 : 1;
}

}  // namespace

bool TemplateKeywordText(const char* keyword, size_t length, const NotifyData& nd, bool xml,
                         std::string& out) {
  for (const Keyword& k : kKeywords) {
    if (std::strlen(k.name) != length || std::memcmp(k.name, keyword, length) != 0) continue;
    const char* field = reinterpret_cast<const char*>(&nd) + k.offset;
    if (k.kind == kStamp) {
      out += NotifyStampText(*reinterpret_cast<const Time_Stamp*>(field));
      return true;
    }
    std::string text(field, strnlen(field, k.width));
    if (k.kind == kFree && xml) PrepTextForXML(text, "meta");
    out += text;
    return true;
  }
  return false;
}

void TemplateExpandLine(const char* line, size_t length, const NotifyData& nd, bool xml,
                        std::string& out) {
  size_t i = 0;
  while (i < length) {
    const char* pct = static_cast<const char*>(std::memchr(line + i, '%', length - i));
    if (!pct) {
      out.append(line + i, length - i);
      return;
    }
    size_t at = static_cast<size_t>(pct - line);
    out.append(line + i, at - i);
    if (at + 1 < length && line[at + 1] == '%') {
      out.push_back('%');
      i = at + 2;
      continue;
    }
    const char* stop = static_cast<const char*>(std::memchr(line + at + 1, '.', length - at - 1));
    if (stop && TemplateKeywordText(line + at + 1, static_cast<size_t>(stop - line) - at - 1, nd,
                                    xml, out)) {
      i = static_cast<size_t>(stop - line) + 1;
      continue;
    }
    out.push_back('%');
    i = at + 1;
  }
}

int TemplateCopy(FILE* in, const char* name, const NotifyData& nd, FILE* out, CLogMessage* log,
                 bool xml) {
  std::string line, expanded;
  for (;;) {
    int got = ReadLine(in, line);
    if (got == 0) return kTemplateDone;
    if (got < 0) {
      LogFile(log, "reading template file", name);
      return kTemplateFailed;
    }
    expanded.clear();
    TemplateExpandLine(line.data(), line.size(), nd, xml, expanded);
    expanded.push_back('\n');
    if (std::fwrite(expanded.data(), 1, expanded.size(), out) != expanded.size()) {
      LogFile(log, "writing temp mail file", "<not available>");
      return kTemplateFailed;
    }
  }
}

int qdTemplate(const char* file, const NotifyData& nd, FILE* out, CLogMessage* log, bool xml) {
  FILE* in = file ? std::fopen(file, "rb") : nullptr;
  if (!in) {
    LogFile(log, "opening template file", file ? file : "");
    return kTemplateFailed;
  }
  int rc = TemplateCopy(in, file, nd, out, log, xml);
  std::fclose(in);
  return rc;
}
