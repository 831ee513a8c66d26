#pragma once
// The worker's table of child processes by kind. Every child the collector
// starts for a collection, a dump fetch or an alert acknowledgement is
// entered here; only these pids are ever waited for, so a child of one
// kind is never taken for another and a child waited for elsewhere (the
// start-up collections) is never stolen.
#include <sys/types.h>

#include <string>
#include <vector>

enum ChildKind {
  KIND_COMMAND = 0,  // a collection or an alert acknowledgement
  KIND_DUMP = 1,     // the dump fetch (at most one runs)
  KIND_FWCORE = 2,   // a firmware core collection
  KIND_PROBEX = 3,   // the array-wide collection (blocks dump fetches too)
  KIND_COUNT = 4,
};

struct ChildEntry {
  pid_t pid = 0;
  int kind = KIND_COMMAND;
  std::string tag;  // what the caller needs back when it ends
};

struct ChildEnded {
  pid_t pid = 0;
  int kind = KIND_COMMAND;
  std::string tag;
  int status = 0;  // wait status
};

struct ChildTable {
  std::vector<ChildEntry> entries;
};

// Enters a started child.
void ChildAdd(ChildTable& table, pid_t pid, int kind, const std::string& tag = "");

// Waits without blocking for every child of the table; those that ended
// leave the table and are returned in the order they were added. A pid the
// system no longer knows (ECHILD) leaves the table with status -1.
std::vector<ChildEnded> ChildReapAll(ChildTable& table);

// How many children of `kind` are running.
int ChildCount(const ChildTable& table, int kind);

// Sends `sig` to every child of the table (they stay in it until reaped).
void ChildKillAll(const ChildTable& table, int sig);
