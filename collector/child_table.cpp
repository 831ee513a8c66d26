#include "child_table.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

void ChildAdd(ChildTable& table, pid_t pid, int kind, const std::string& tag) {
  table.entries.push_back(ChildEntry{pid, kind, tag});
}

std::vector<ChildEnded> ChildReapAll(ChildTable& table) {
  std::vector<ChildEnded> ended;
  std::vector<ChildEntry> running;
  for (ChildEntry& c : table.entries) {
    int status = 0;
    pid_t r = waitpid(c.pid, &status, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) {
      running.push_back(std::move(c));
      continue;
    }
    ended.push_back(ChildEnded{c.pid, c.kind, std::move(c.tag), r < 0 ? -1 : status});
  }
  table.entries.swap(running);
  return ended;
}

int ChildCount(const ChildTable& table, int kind) {
  int n = 0;
  for (const ChildEntry& c : table.entries) n += c.kind == kind;
  return n;
}

void ChildKillAll(const ChildTable& table, int sig) {
  for (const ChildEntry& c : table.entries) kill(c.pid, sig);
}
