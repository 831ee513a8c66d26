#include "expected_file.h"

#include <sstream>

#include "test_files.h"

bool ParseExpected(const std::string& text, ExpectedSections* out, std::string* error) {
  out->clear();
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

bool LoadExpected(const std::string& path, ExpectedSections* out, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    *error = "cannot read " + path;
    return false;
  }
  return ParseExpected(text, out, error);
}
