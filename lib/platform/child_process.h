#pragma once
// The one launcher of child processes. Programs outside the system (the
// decompressor, the cage temperature checker, collection commands, the
// mailer) are started with fork/exec and an argument vector, never through a
// shell, so no text from an event, a file name or the database is ever
// interpreted by one. Redirections are made by the launcher.
//
// Paths here are used as given: callers resolve system paths through
// QdPath() first.

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildSpec {
  std::vector<std::string> argv;  // argv[0] is the program: a path, or a name looked up in PATH
  std::string stdinPath;          // "" = inherit; else opened read-only
  std::string stdoutPath;         // "" = inherit; else created/truncated (or appended)
  std::string stderrPath;         // "" = inherit; "=stdout" joins standard output
  bool appendStdout = false;
  bool appendStderr = false;
  std::string workdir;            // "" = the caller's
};

enum ChildResult {
  CHILD_OK = 0,        // started / ended
  CHILD_TIMEOUT = 1,   // still running when the wait ended (QdRunChild: killed)
  CHILD_FAILED = -1,   // could not start or wait; the error text says why
};

// Starts the child. On success stores its pid and returns CHILD_OK. When the
// program cannot be executed (not found, not executable, a redirection cannot
// be opened) the child never runs anything: returns CHILD_FAILED with the
// reason in `err` (the child is already reaped). Logs nothing.
[[nodiscard]] int QdStartChild(const ChildSpec& cmd, pid_t* pid, char* err, size_t errlen);

// Waits for `pid` to end, at most `timeoutSeconds` (scaled by QD_TIME_SCALE;
// negative waits without limit). CHILD_OK: ended, `status` holds the wait
// status. CHILD_TIMEOUT: still running, untouched. CHILD_FAILED: not our
// child or the wait failed; `err` says why.
[[nodiscard]] int QdWaitChild(pid_t pid, double timeoutSeconds, int* status, char* err, size_t errlen);

// Starts the child and waits for it. On a time-out the child is killed
// (SIGTERM, then SIGKILL after a short grace), reaped, and CHILD_TIMEOUT is
// returned. On CHILD_OK `status` holds the wait status.
[[nodiscard]] int QdRunChild(const ChildSpec& cmd, double timeoutSeconds, int* status, char* err,
                             size_t errlen);

// Reaps every child that has ended, without blocking; returns how many.
int QdReapChildren();

// The command as an operator would type it: arguments quoted for a POSIX
// shell where needed, redirections appended ("< in", "> out", "2> err").
// For messages only; nothing ever runs it.
std::string QdCommandText(const ChildSpec& cmd);
