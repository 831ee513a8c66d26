#include "text_util.h"

#include <cstring>

namespace {

const char kDefaultTrimSet[] = " \t\r\n";

enum TrimEnds { kEndsBoth, kEndsLeft, kEndsRight };

// A NUL inside a counted input is never in the set.
bool InSet(char c, const char* set) { return std::memchr(set, c, std::strlen(set)) != nullptr; }

int TrimCore(TrimEnds ends, int mode, char* out, size_t outlength, const char* in, long inlength,
             const char* characters) {
  if (!out || !in || outlength == 0) return -1;
  const char* set = characters ? characters : kDefaultTrimSet;
  size_t begin = 0;
  size_t end = inlength < 0 ? std::strlen(in) : static_cast<size_t>(inlength);
  if (ends != kEndsRight) {
    while (begin < end && InSet(in[begin], set)) ++begin;
  }
  if (ends != kEndsLeft) {
    while (end > begin && InSet(in[end - 1], set)) --end;
  }
  size_t length = end - begin;
  if (length > outlength - 1) {
    if (mode == kTrimRefuse) {
      out[0] = '\0';
      return -1;
    }
    length = outlength - 1;
  }
  std::memmove(out, in + begin, length);
  out[length] = '\0';
  return static_cast<int>(length);
}

bool IsDelimiter(char c, const char* delimiters) {
  return c != '\0' && delimiters && std::strchr(delimiters, c) != nullptr;
}

// --- UTF-8 scrubbing -------------------------------------------------

bool XmlForbiddenAscii(unsigned char c) { return c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D; }

// U+FFFE and U+FFFF are the only well-formed characters XML 1.0 forbids
// above the ASCII range: EF BF BE and EF BF BF.
bool XmlForbiddenSequence(const unsigned char* p, size_t length) {
  return length == 3 && p[0] == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF);
}

// Scrubs [begin, end) into `out` (which may be `begin`: the output never
// runs ahead of the input). Returns the number of repairs.
int ScrubBytes(const unsigned char* begin, const unsigned char* end, unsigned char* out,
               size_t& outlength) {
  int repairs = 0;
  size_t o = 0;
  for (const unsigned char* p = begin; p < end;) {
    if (*p < 0x80) {
      if (XmlForbiddenAscii(*p)) {
        ++repairs;
      } else {
        out[o++] = *p;
      }
      ++p;
      continue;
    }
    size_t bad = 0;
    size_t length = QdUtf8Length(p, end, &bad);
    if (length == 0) {
      out[o++] = '?';
      p += bad;
      ++repairs;
    } else if (XmlForbiddenSequence(p, length)) {
      p += length;
      ++repairs;
    } else {
      std::memmove(out + o, p, length);
      o += length;
      p += length;
    }
  }
  outlength = o;
  return repairs;
}

}  // namespace

size_t QdUtf8Length(const unsigned char* p, const unsigned char* end, size_t* bad) {
  size_t ignored = 0;
  size_t& prefix = bad ? *bad : ignored;
  unsigned char b = p[0];
  if (b < 0x80) return 1;
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) lo = 0xA0;  // overlong below U+0800
    if (b == 0xED) hi = 0x9F;  // surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) lo = 0x90;  // overlong below U+10000
    if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    prefix = 1;
    return 0;
  }
  for (size_t k = 1; k <= need; ++k) {
    unsigned char klo = k == 1 ? lo : 0x80, khi = k == 1 ? hi : 0xBF;
    if (p + k >= end || p[k] < klo || p[k] > khi) {
      prefix = k;
      return 0;
    }
  }
  return need + 1;
}


int Trim(int mode, char* out, size_t outlength, const char* in, long inlength,
         const char* characters) {
  return TrimCore(kEndsBoth, mode, out, outlength, in, inlength, characters);
}
int TrimLeft(int mode, char* out, size_t outlength, const char* in, long inlength,
             const char* characters) {
  return TrimCore(kEndsLeft, mode, out, outlength, in, inlength, characters);
}
int TrimRight(int mode, char* out, size_t outlength, const char* in, long inlength,
              const char* characters) {
  return TrimCore(kEndsRight, mode, out, outlength, in, inlength, characters);
}
int Trim(char* out, size_t outlength, const char* in, const char* characters) {
  return TrimCore(kEndsBoth, kTrimCut, out, outlength, in, -1, characters);
}
int TrimLeft(char* out, size_t outlength, const char* in, const char* characters) {
  return TrimCore(kEndsLeft, kTrimCut, out, outlength, in, -1, characters);
}
int TrimRight(char* out, size_t outlength, const char* in, const char* characters) {
  return TrimCore(kEndsRight, kTrimCut, out, outlength, in, -1, characters);
}

int GetTokens(char* text, const char* delimiters, char** tokens, int max, bool skipEmpty,
              bool restInLast) {
  if (!text || !tokens || max < 0) return -1;
  int count = 0;
  char* p = text;
  if (skipEmpty) {
    while (IsDelimiter(*p, delimiters)) ++p;
  }
  while (*p && count < max) {
    tokens[count++] = p;
    if (count == max && restInLast) break;
    while (*p && !IsDelimiter(*p, delimiters)) ++p;
    if (!*p) break;
    *p++ = '\0';
    if (skipEmpty) {
      while (IsDelimiter(*p, delimiters)) ++p;
    } else if (!*p && count < max) {
      tokens[count++] = p;  // a delimiter at the very end ends one more, empty token
    }
  }
  return count;
}

int PrepTextForXML(std::string& text, const char* mode) {
  if (!mode) return -1;
  if (std::strcmp(mode, "scrub") == 0) {
    unsigned char* data = reinterpret_cast<unsigned char*>(&text[0]);
    size_t length = 0;
    int repairs = ScrubBytes(data, data + text.size(), data, length);
    text.resize(length);
    return repairs;
  }
  if (std::strcmp(mode, "meta") != 0) return -1;
  std::string escaped;
  int repairs = 0;
  escaped.reserve(text.size());
  for (char c : text) {
    const char* entity = c == '&'    ? "&amp;"
                         : c == '<'  ? "&lt;"
                         : c == '>'  ? "&gt;"
                         : c == '"'  ? "&quot;"
                         : c == '\'' ? "&apos;"
                                     : nullptr;
    if (entity) {
      escaped += entity;
      ++repairs;
    } else {
      escaped += c;
    }
  }
  text.swap(escaped);
  return repairs;
}

int PrepTextForXML(char* text, const char* mode) {
  if (!text || !mode || std::strcmp(mode, "scrub") != 0) return -1;
  unsigned char* data = reinterpret_cast<unsigned char*>(text);
  size_t length = 0;
  int repairs = ScrubBytes(data, data + std::strlen(text), data, length);
  text[length] = '\0';
  return repairs;
}

char* strupr(char* text) {
  for (char* p = text; p && *p; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return text;
}

char* strlwr(char* text) {
  for (char* p = text; p && *p; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
  return text;
}
