#include "template_mods.h"

#include <cctype>
#include <cstring>

#include "anal_alert.h"
#include "event_text.h"

namespace {

const char kValueOf[] = "ValueOf:";

const char kTrimSet[] = " \t\n";

void TrimLeftSet(std::string& s) {
  size_t first = s.find_first_not_of(kTrimSet);
  s.erase(0, first == std::string::npos ? s.size() : first);
}

void TrimRightSet(std::string& s) {
  size_t last = s.find_last_not_of(kTrimSet);
  s.erase(last == std::string::npos ? 0 : last + 1);
}

void ValueOf(std::string& s, const std::string& key) {
  std::string field = key + "=";
  size_t start;
  if (s.compare(0, field.size(), field) == 0) {
    start = field.size();
  } else {
    size_t at = s.find("|" + field);
    if (at == std::string::npos) {
      s = "<" + field + "novalue>";
      return;
    }
    start = at + 1 + field.size();
  }
  size_t end = s.find('|', start);
  s = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Applies one modifier; false when the name is unknown.
bool ApplyOne(const std::string& op, std::string& s) {
  if (op == "RemoveWhitespaceNL") {
    RemoveChars(s, " \t\n");
  } else if (op == "RemoveWhitespace") {
    RemoveChars(s, " \t");
  } else if (op == "SquishBlanks") {
    squish_blanks(s);
  } else if (op == "Upper") {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  } else if (op == "Lower") {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  } else if (op == "Trim") {
    TrimRightSet(s);
    TrimLeftSet(s);
  } else if (op == "TrimRight") {
    TrimRightSet(s);
  } else if (op == "TrimLeft") {
    TrimLeftSet(s);
  } else if (op.compare(0, sizeof kValueOf - 1, kValueOf) == 0) {
    ValueOf(s, op.substr(sizeof kValueOf - 1));
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool DoMod(const char* modifiers, const std::string& value, std::string& out) {
  std::string list = modifiers ? modifiers : "";
  if (list.empty()) {
    out += value;
    return true;
  }
  std::string s = value;
  bool ok = true;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string op = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!ApplyOne(op, s)) {
      ok = false;
      AnalAlert('H', "Template mod routine error",
                "Op '" + op + "' not found, Modifier(s) '" + list + "'\nFile '" + AnalStoreFile() + "'");
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (ok) out += s;
  return ok;
}

bool DoMod(const char* modifiers, const char* value, std::string& out) {
  return DoMod(modifiers, std::string(value ? value : ""), out);
}
