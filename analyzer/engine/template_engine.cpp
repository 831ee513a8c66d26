#include "template_engine.h"

#include <cstring>

#include "anal_alert.h"
#include "analysis_engine.h"
#include "tag_table.h"
#include "template_mods.h"

const char kTemplateError[] = "*Template error*";

namespace {

// `name` as a buffer number 0..9: digits only, at least one, value <= 9.
bool BufferNumber(const std::string& name, int& number) {
  if (name.empty()) return false;
  long value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > 9) return false;
  }
  number = static_cast<int>(value);
  return true;
}

std::string Buffer(const char (&buffer)[kCaptureSize]) {
  return std::string(buffer, strnlen(buffer, kCaptureSize));
}

// Fetches the value of one reference; false when type or name is invalid.
bool FetchValue(int slot, char type, const std::string& name, std::string& value) {
  int n = 0;
  switch (type) {
    case 'T': {
      const TAGENTRY* tag = FindTagEntry(slot, name.c_str());
      if (!tag) return false;
      value = tag->data;
      return true;
    }
    case 'V':
      if (!BufferNumber(name, n)) return false;
      value = Buffer(Engine().capture[n]);
      return true;
    case 'M':
      if (!BufferNumber(name, n)) return false;
      value = Buffer(Engine().msgval[n]);
      return true;
    case 'C':
      if (!BufferNumber(name, n)) return false;
      value = n == 0 ? "|" : n == 1 ? "," : "?";
      return true;
    default:
      return false;
  }
}

void VariableError(char type, const std::string& name, const std::string& mods,
                   const std::string& templ) {
  AnalAlert('H', "Template variable name error",
            std::string("Type '") + type + "', String '" + name + "', Modifier(s) '" + mods +
                "'\nFile '" + AnalStoreFile() + "'\nTemplate '" + templ + "'");
}

// Expands the reference at the start of `rest` (which begins with "%" and
// holds a "." at `dot`), appending to `result` and removing the reference
// from `rest`. False when the reference failed (already notified).
bool ExpandReference(int slot, std::string& rest, size_t dot, std::string& result,
                     const std::string& templ) {
  if (dot <= 2) {
    VariableError('?', rest, "??", templ);
    return false;
  }
  char type = rest[1];
  std::string name = rest.substr(2, dot - 2);
  rest.erase(0, dot + 1);
  std::string mods;
  size_t brace = name.find('{');
  if (brace != std::string::npos) {
    if (name.back() != '}') {
      VariableError(type, name, mods, templ);
      return false;
    }
    mods = name.substr(brace + 1, name.size() - brace - 2);
    name.erase(brace);
  }
  std::string value;
  if (!FetchValue(slot, type, name, value) || !DoMod(mods.c_str(), value, result)) {
    VariableError(type, name, mods, templ);
    return false;
  }
  return true;
}

}  // namespace

std::string UseTemplate(int slot, const char* templ) {
  if (!templ) return "";
  const std::string original = templ;
  std::string rest = original;
  std::string result;
  while (true) {
    size_t percent = rest.find('%');
    if (percent == std::string::npos) break;
    result.append(rest, 0, percent);
    rest.erase(0, percent);
    if (rest.size() < 2) break;
    if (rest[1] == '%') {
      result += '%';
      rest.erase(0, 2);
      continue;
    }
    size_t dot = rest.find('.');
    if (dot == std::string::npos) {
      AnalAlert('H', "Template parse error",
                std::string("File '") + AnalStoreFile() + "'\nTemplate '" + original + "'");
      return kTemplateError;
    }
    if (!ExpandReference(slot, rest, dot, result, original)) return kTemplateError;
  }
  result += rest;
  return result;
}
