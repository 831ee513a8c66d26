#include "process_table.h"

#include <dirent.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The parent id from the text of /proc/<pid>/stat: "pid (comm) state ppid ...".
// The command name may hold blanks and parentheses, so the fields are
// counted from the last ')'.
pid_t ParentOf(const char* pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
  FILE* in = std::fopen(path, "r");
  if (!in) return -1;
  char text[1024];
  size_t n = std::fread(text, 1, sizeof text - 1, in);
  std::fclose(in);
  text[n] = '\0';
  const char* close = std::strrchr(text, ')');
  if (!close) return -1;
  char state = 0;
  long ppid = -1;
  if (std::sscanf(close + 1, " %c %ld", &state, &ppid) != 2) return -1;
  return static_cast<pid_t>(ppid);
}

}  // namespace

std::vector<pid_t> QdChildPids(pid_t parent) {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  while (dirent* ent = readdir(proc)) {
    if (!std::isdigit(static_cast<unsigned char>(ent->d_name[0]))) continue;
    if (ParentOf(ent->d_name) == parent) children.push_back(static_cast<pid_t>(std::atol(ent->d_name)));
  }
  closedir(proc);
  return children;
}
