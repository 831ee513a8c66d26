// CheckCageTemp stand-in: reports the drive cages of a configuration file
// that run hotter than their limit, following the checker's contract.
//
//   CheckCageTemp FILE
//
// FILE is a text file, one cage per line:
//
//   cage <number> temp <celsius> limit <celsius>
//
// e.g. "cage 3 temp 52 limit 50". Words are separated by blanks or tabs;
// empty lines and lines starting with '#' are ignored. Temperatures are
// whole or decimal numbers.
//
// Exit codes and output (standard output):
//   0  no cage is hotter than its limit; nothing is written;
//   1  one line per hot cage, in file order: "hot <number> <temp>";
//   2  the file cannot be read, or a line is malformed: one line that says
//      which (file name and line number) and why;
//   3  wrong usage.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum Exit { kCool = 0, kHot = 1, kBadFile = 2, kUsage = 3 };

struct Cage {
  std::string number;
  std::string temp;
  double temp_value = 0;
  double limit = 0;
};

bool Number(const std::string& word, double& value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(word.c_str(), &end);
  return errno == 0 && end && *end == '\0';
}

// One cage line; false with `why` when it is not one.
bool ParseLine(const std::string& line, Cage& cage, std::string& why) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  if (w.size() != 6 || w[0] != "cage" || w[2] != "temp" || w[4] != "limit") {
    why = "expected 'cage <number> temp <celsius> limit <celsius>'";
    return false;
  }
  if (w[1].find_first_not_of("0123456789") != std::string::npos) {
    why = "cage number '" + w[1] + "' is not a number";
    return false;
  }
  if (!Number(w[3], cage.temp_value) || !Number(w[5], cage.limit)) {
    why = "temperature or limit is not a number";
    return false;
  }
  cage.number = w[1];
  cage.temp = w[3];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: CheckCageTemp FILE\n");
    return kUsage;
  }
  const char* path = argv[1];
  std::ifstream file(path);
  if (!file) {
    std::printf("CheckCageTemp: cannot read '%s': %s\n", path, std::strerror(errno));
    return kBadFile;
  }
  std::vector<Cage> hot;
  long number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    Cage cage;
    std::string why;
    if (!ParseLine(line, cage, why)) {
      std::printf("CheckCageTemp: '%s' line %ld: %s\n", path, number, why.c_str());
      return kBadFile;
    }
    if (cage.temp_value > cage.limit) hot.push_back(cage);
  }
  if (file.bad()) {
    std::printf("CheckCageTemp: read error on '%s'\n", path);
    return kBadFile;
  }
  for (const Cage& cage : hot) std::printf("hot %s %s\n", cage.number.c_str(), cage.temp.c_str());
  return hot.empty() ? kCool : kHot;
}
