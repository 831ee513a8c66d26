#include "qd_path.h"

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <sys/stat.h>

std::string QdRoot() {
  const char* root = std::getenv("QD_ROOT");
  return root ? std::string(root) : std::string();
}

std::string QdPath(const std::string& path) {
  std::string root = QdRoot();
  if (root.empty() || path.empty() || path[0] != '/') return path;
  while (!root.empty() && root.back() == '/') root.pop_back();
  return root + path;
}

int QdMakeDirs(const std::string& dir, unsigned mode) {
  if (dir.empty()) return 0;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return -1;
  }
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return -1;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return -1;
  }
  return 0;
}

bool QdSafePathWord(const std::string& word, const char* also) {
  if (word.empty() || word.size() > 79 || word == "." || word == "..") return false;
  for (char c : word) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '_' || c == '-' || (c != '\0' && std::strchr(also, c) != nullptr);
    if (!ok) return false;
  }
  return true;
}
