#include "temp_root.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "qd_path.h"

namespace {
int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}
}  // namespace

void RemoveTree(const std::string& path) {
  if (!path.empty()) nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

TempRoot::TempRoot() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qdroot.XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = pattern;
  const char* old = std::getenv("QD_ROOT");
  had_root_ = old != nullptr;
  if (old) saved_root_ = old;
  setenv("QD_ROOT", path_.c_str(), 1);
  for (const char* dir : {"/etc/qd", "/var/lib/qd", "/var/log/qd", "/var/spool/qd/wm",
                          "/usr/local/qd/dump", "/tmp", "/sp/prod/data/files", "/sp/tmp"}) {
    QdMakeDirs(path_ + dir);
  }
  // The zone database is read-only system data: the root borrows the
  // machine's so zone conversions work below it.
  QdMakeDirs(path_ + "/usr/share");
  if (symlink("/usr/share/zoneinfo", (path_ + "/usr/share/zoneinfo").c_str()) != 0) {
    throw std::runtime_error("cannot link the zone database into " + path_);
  }
}

TempRoot::~TempRoot() {
  if (had_root_) {
    setenv("QD_ROOT", saved_root_.c_str(), 1);
  } else {
    unsetenv("QD_ROOT");
  }
  if (!std::getenv("QD_KEEP_TEST_ROOT")) RemoveTree(path_);
}

std::string TempRoot::under(const std::string& rel) const { return path_ + rel; }

void TempRoot::write(const std::string& rel, const std::string& text) const {
  std::string full = under(rel);
  QdMakeDirs(full.substr(0, full.rfind('/')));
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string TempRoot::read(const std::string& rel) const {
  std::ifstream in(under(rel), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
