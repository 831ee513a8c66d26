#include "corpus.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string CorpusDir() {
  const char* src = std::getenv("QD_SOURCE_DIR");
  return std::string(src ? src : ".") + "/tests/corpus/events";
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

// "[name]" opens a section; "key = value" (or "key =") lines fill it;
// blank lines and lines starting with "#" are skipped.
bool ParseExpected(const std::string& text, std::map<std::string, std::map<std::string, std::string>>* out,
                   std::string* error) {
  std::istringstream in(text);
  std::string line, section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      if (out->count(section)) {
        *error = "EXPECTED line " + std::to_string(number) + ": section " + section + " twice";
        return false;
      }
      (*out)[section];
      continue;
    }
    size_t eq = line.find(" =");
    if (section.empty() || eq == std::string::npos || eq == 0) {
      *error = "EXPECTED line " + std::to_string(number) + ": not \"key = value\" in a section";
      return false;
    }
    std::string value = eq + 3 <= line.size() ? line.substr(eq + 3) : "";
    (*out)[section][line.substr(0, eq)] = value;
  }
  return true;
}

}  // namespace

bool LoadCorpus(std::vector<CorpusEvent>* events, std::string* error) {
  const std::string dir = CorpusDir();
  std::string expected_text;
  if (!ReadFile(dir + "/EXPECTED", &expected_text)) {
    *error = "cannot read " + dir + "/EXPECTED";
    return false;
  }
  std::map<std::string, std::map<std::string, std::string>> expected;
  if (!ParseExpected(expected_text, &expected, error)) return false;

  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) {
    *error = "cannot open " + dir;
    return false;
  }
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name[0] != '.' && name != "EXPECTED") names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());

  events->clear();
  for (const std::string& name : names) {
    CorpusEvent ev;
    ev.name = name;
    if (!ReadFile(dir + "/" + name, &ev.text)) {
      *error = "cannot read " + dir + "/" + name;
      return false;
    }
    auto it = expected.find(name);
    if (it == expected.end()) {
      *error = "EXPECTED has no section for " + name;
      return false;
    }
    ev.expected = it->second;
    expected.erase(it);
    events->push_back(ev);
  }
  if (!expected.empty()) {
    *error = "EXPECTED section without a file: " + expected.begin()->first;
    return false;
  }
  return true;
}

bool SplitEventFile(const std::string& text, std::string* summary, std::string* xml) {
  const char* blanks = " \t\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return false;
  std::string trimmed = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  const std::string marker = "\nXML FORMAT:\n";
  size_t at = trimmed.find(marker);
  if (at == std::string::npos) return false;
  *summary = trimmed.substr(0, at) + "\n";
  std::string rest = trimmed.substr(at + marker.size());
  size_t end = rest.find("</Event>");
  *xml = end == std::string::npos ? rest : rest.substr(0, end + 8);
  return true;
}
