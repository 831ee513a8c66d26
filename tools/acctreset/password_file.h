#pragma once
// Reading and replacing a password file (the shadow file, the web server's
// password file) so that no crash, full disk or failed step can leave it
// torn, truncated or readable by anyone it was not readable by before, and
// the system's password-file lock that serialises every program that
// rewrites the shadow file.
//
// Paths are used as given: callers resolve them through QdPath().

#include <sys/stat.h>

#include <string>

// Steps of a replacement, named in its result so the caller can say which
// one failed.
enum PasswordFileStep {
  PWFILE_OK = 0,
  PWFILE_CREATE_TEMP = 1,  // the temporary file could not be created
  PWFILE_WRITE_TEMP = 2,   // owner, mode, write, flush or close of it failed
  PWFILE_RENAME = 3,       // it could not be renamed over the original
  PWFILE_SYNC_DIR = 4,     // renamed, but the directory could not be flushed
};

struct PasswordFileResult {
  int step = PWFILE_OK;  // a PasswordFileStep
  int errnum = 0;        // errno of the failed step
};

// Reads the whole file `path` into `text` and its status into `st` (of the
// file read, so owner and mode belong to exactly that file). Returns 0, or
// -1 with errno's value in `errnum` (`text` empty).
[[nodiscard]] int ReadPasswordFile(const std::string& path, std::string& text, struct stat& st,
                                   int& errnum);

// Replaces `path` by `text`: writes a temporary file beside it (created
// 0600, then given owner, group and permission bits of `st`, so it is never
// more readable than the original), flushes it, renames it over `path` and
// flushes the directory. Before the rename any failure removes the temporary
// file and leaves `path` exactly as it was. Logs nothing.
[[nodiscard]] PasswordFileResult ReplacePasswordFile(const std::string& path,
                                                     const std::string& text,
                                                     const struct stat& st);

// The system's password-file lock: a write lock (fcntl) on the lock file
// `lockpath`, the way the system's own password tools take it, held for
// the object's life.
class PasswordLock {
 public:
  PasswordLock() = default;
  ~PasswordLock();
  PasswordLock(const PasswordLock&) = delete;
  PasswordLock& operator=(const PasswordLock&) = delete;

  // Takes the lock, waiting up to 15 seconds (scaled by QD_TIME_SCALE) for
  // another holder. Returns 0, or -1 with errno's value in `errnum`.
  [[nodiscard]] int Acquire(const std::string& lockpath, int& errnum);
  void Release();

 private:
  int fd_ = -1;
};

// The lock file of the password files: /etc/.pwd.lock below QD_ROOT.
std::string PasswordLockPath();
