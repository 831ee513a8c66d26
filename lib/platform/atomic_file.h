#pragma once
// Whole-file replacement that a crash cannot tear, whole-line appends that
// concurrent writers cannot interleave, and the exclusive lock that
// serialises read-modify-write cycles of a file between processes.

#include <sys/stat.h>

#include <string>

// Replaces the file `path` (already resolved) by `text`: writes
// "<path>.tmp", fsyncs it, renames it over `path` and fsyncs the directory.
// The caller must hold the file's lock (QdLockFile), since the temporary
// name is fixed. Returns 0, or -1 with a message naming the file and the
// failed step in `err`; on failure `path` is left as it was and the
// temporary file is removed.
[[nodiscard]] int QdReplaceFile(const std::string& path, const std::string& text,
                                std::string& err, unsigned mode = 0644);

// Writes all of `text` to the descriptor `fd`, resuming after interrupted
// and short writes. Returns 0, or -1 with errno set (EIO when the system
// accepted nothing without saying why).
[[nodiscard]] int QdWriteAll(int fd, const std::string& text);

// Flushes the directory holding `path` (already resolved), which makes a
// rename or creation in it durable. Returns 0, or -1 with errno set.
[[nodiscard]] int QdSyncDirectoryOf(const std::string& path);

// Flushes everything written to the file system holding `path` (already
// resolved) with one flush: what a batch of files written without their
// own flush needs before it is renamed into place. Returns 0, or -1 with
// errno set.
[[nodiscard]] int QdSyncFileSystemOf(const std::string& path);

// Appends `line` to the file `path` (already resolved) with a single write
// on an O_APPEND descriptor, so lines of concurrent writers never
// interleave; the file and its directory are created when missing. Returns
// 0, or -1 with a message naming the file in `err`.
[[nodiscard]] int QdAppendWhole(const std::string& path, const std::string& line, std::string& err);

// Reads the whole file `path` into `text`, and when `st` is given the status
// of the file read (so owner and mode belong to exactly that content).
// Returns 0; 1 when the file does not exist (`text` empty); -1 with the
// reason in `err` on any other failure. On 1 and -1 errno holds the cause.
[[nodiscard]] int QdReadFile(const std::string& path, std::string& text, std::string& err,
                             struct stat* st = nullptr);

// An exclusive flock on a lock file, held for the object's life. The lock
// file is created when missing and never removed (removing it would let two
// processes lock different files of the same name).
class QdFileLock {
 public:
  QdFileLock() = default;
  ~QdFileLock();
  QdFileLock(const QdFileLock&) = delete;
  QdFileLock& operator=(const QdFileLock&) = delete;

  // Waits for the lock on `lockpath` (already resolved). Returns 0, or -1
  // with the reason in `err` (the lock is then not held).
  [[nodiscard]] int Acquire(const std::string& lockpath, std::string& err);
  void Release();

 private:
  int fd_ = -1;
};
