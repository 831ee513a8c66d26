#pragma once
// The process table as the system shows it under /proc: which processes
// are children of a given one. Used to stop a program's children without
// running an outside command.

#include <sys/types.h>

#include <vector>

// The process ids whose parent is `parent`, read from /proc/<pid>/stat
// (zombies included, since they still need reaping). Empty when there are
// none or /proc cannot be read. Logs nothing.
std::vector<pid_t> QdChildPids(pid_t parent);
