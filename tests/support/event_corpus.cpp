#include "event_corpus.h"

#include <dirent.h>

#include <algorithm>

#include "test_files.h"

namespace {

std::string CorpusDir() { return SourcePath("tests/corpus/events"); }

}  // namespace

bool LoadCorpus(std::vector<CorpusEvent>* events, std::string* error) {
  const std::string dir = CorpusDir();
  ExpectedSections expected;
  if (!LoadExpected(dir + "/EXPECTED", &expected, error)) return false;

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
    if (!ReadWholeFile(dir + "/" + name, &ev.text)) {
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
