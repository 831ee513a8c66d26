#pragma once
// Path root: every absolute path the system uses goes through QdPath, so a
// test or the demo can move the whole system below a directory of its own
// by setting QD_ROOT. Unset (or empty), paths are used exactly as written.

#include <string>

// Returns `path` below $QD_ROOT when that is set and `path` is absolute,
// else `path` unchanged. Never fails; reads the environment on every call
// so a test may change QD_ROOT between cases.
std::string QdPath(const std::string& path);

// The current root: $QD_ROOT, or "" when unset.
std::string QdRoot();

// Creates `dir` (already resolved) and its missing parents with `mode`.
// Returns 0, or -1 with errno set when a component cannot be made.
int QdMakeDirs(const std::string& dir, unsigned mode = 0755);

// True when `word` can be one component of a path (and a dictionary key):
// 1 to 79 characters of letters, digits, '.', '_', '-' and the characters of
// `also`, and not "." or "..". Nothing built from it can leave its directory.
bool QdSafePathWord(const std::string& word, const char* also = "");
