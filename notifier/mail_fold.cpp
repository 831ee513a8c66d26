// Body folding (mail_fold.h).
#include "mail_fold.h"

namespace {

size_t Advance(size_t column, char c) { return c == '\t' ? (column / 8 + 1) * 8 : column + 1; }

void FoldLine(const std::string& line, size_t width, std::string& out) {
  size_t start = 0;
  for (;;) {
    size_t column = 0, i = start, lastBlank = std::string::npos;
    while (i < line.size()) {
      size_t next = Advance(column, line[i]);
      if (next > width && i > start) break;
      if (line[i] == ' ' || line[i] == '\t') lastBlank = i;
      column = next;
      ++i;
    }
    if (i >= line.size()) {
      out.append(line, start, std::string::npos);
      return;
    }
    size_t end = lastBlank != std::string::npos ? lastBlank + 1 : i;
    out.append(line, start, end - start);
    out.push_back('\n');
    start = end;
  }
}

}  // namespace

std::string FoldMailBody(const std::string& text, size_t width) {
  std::string out;
  out.reserve(text.size() + text.size() / width + 1);
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl;
    FoldLine(text.substr(start, end - start), width, out);
    if (nl == std::string::npos) break;
    out.push_back('\n');
    start = nl + 1;
  }
  return out;
}
