#include "event_text.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis_engine.h"
#include "tag_table.h"
#include "text_util.h"

namespace {

const char kBlanks[] = " \t";

// Splits a copy of `text` with the platform tokenizer into owned tokens.
std::vector<std::string> Split(const std::string& text, const char* delimiters, int max,
                               bool skipEmpty) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  std::vector<char*> tokens(static_cast<size_t>(max));
  int count = GetTokens(copy.data(), delimiters, tokens.data(), max, skipEmpty, false);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.emplace_back(tokens[static_cast<size_t>(i)]);
  return out;
}

// The leading decimal integer of `text` as atoi reads it, held to the
// range of int instead of overflowing.
int ReadInt(const std::string& text) {
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int MonthNumber(const std::string& name) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (name == kMonths[i]) return i + 1;
  }
  return 13;
}

}  // namespace

void squish_blanks(std::string& s) {
  if (s.empty()) return;
  std::vector<std::string> words = Split(s, kBlanks, static_cast<int>(s.size()), true);
  if (words.empty()) {
    s = " ";
    return;
  }
  std::string joined = words[0];
  for (size_t i = 1; i < words.size(); ++i) joined += " " + words[i];
  s.swap(joined);
}

void RemoveChars(std::string& s, const char* characters) {
  if (!characters || !*characters) return;
  std::string kept;
  kept.reserve(s.size());
  for (char c : s) {
    if (c == '\0' || !std::strchr(characters, c)) kept += c;
  }
  s.swap(kept);
}

bool ReleaseAtLeast(int major, int minor, int patch) {
  TAGENTRY* level = FindTagEntry(0, "ReleaseLevel");
  if (!level || !(level->flags & TAG_HAS_DATA)) return false;
  // Five at most, so that a level of more than four parts is told apart.
  std::vector<std::string> parts = Split(level->data, ".", 5, false);
  if (parts.size() != 4) return false;
  int M = ReadInt(parts[0]), m = ReadInt(parts[1]), p = ReadInt(parts[2]);
  if (M != major) return M > major;
  if (m != minor) return m > minor;
  return p >= patch;
}

void ConvertTime(const char* text, Time_Stamp& stamp) {
  std::vector<std::string> tokens = Split(text ? text : "", kBlanks, 5, true);
  tokens.resize(5);  // weekday, month, day, time, year; missing ones empty
  char line[256];
  std::snprintf(line, sizeof line, "a%s/%.2d/%.2d %s.00", tokens[4].c_str(), MonthNumber(tokens[1]),
                ReadInt(tokens[2]), tokens[3].c_str());
  std::memset(&stamp, 0, sizeof stamp);
  std::memcpy(&stamp, line, strnlen(line, sizeof stamp - 1));
}

void ConvertTime(const char* text) { ConvertTime(text, Engine().result.AEventTimeFirst); }
