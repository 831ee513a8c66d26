#pragma once
// A private QD_ROOT for one test: a fresh directory below $TMPDIR (or /tmp)
// holding the standard tree, set as QD_ROOT for the life of the object and
// removed afterwards with everything in it. QD_TIME_SCALE is left as the
// test sets it.

#include <string>

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return path_; }
  // `rel` (an absolute system path such as "/etc/qd/gdda.conf") below the root.
  std::string under(const std::string& rel) const;
  // Writes `text` to the system path `rel` below the root, making parents.
  void write(const std::string& rel, const std::string& text) const;
  // The whole content of the system path `rel` below the root, "" if absent.
  std::string read(const std::string& rel) const;

 private:
  std::string path_;
  std::string saved_root_;
  bool had_root_ = false;
};

// Removes a directory tree; quiet about what is already gone.
void RemoveTree(const std::string& path);
