#include "test_files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string Below(const char* variable, const std::string& relative) {
  const char* top = std::getenv(variable);
  return std::string(top ? top : ".") + "/" + relative;
}

}  // namespace

std::string SourcePath(const std::string& relative) { return Below("QD_SOURCE_DIR", relative); }

std::string BuildPath(const std::string& relative) { return Below("QD_BUILD_DIR", relative); }

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

std::string FileText(const std::string& path) {
  std::string text;
  return ReadWholeFile(path, &text) ? text : "";
}
