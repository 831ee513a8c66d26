#pragma once
// The fallback spool of the work-message service: messages that could not
// be handed to the service wait here, one file each, until a drain sends
// them (QueueSend, CWorkMessages::DrainSpool).
//
// Directory /var/spool/qd/wm/ (through QdPath). An entry is a file
// "<seconds>.<nanoseconds>-<pid>-<counter>.wm" whose name sorts in the
// order the entries were written. It is written under a temporary name
// beginning with '.', synced, renamed and the directory synced, so a crash
// leaves either a whole entry or none. Content:
//
//   QDWM SPOOL 1\n
//   key=<unique key>\n          identifies the entry when it is sent
//   sender=<process name>\n
//   target=<process name>\n
//   message=<message name>\n
//   sent=<seconds since 1970>\n
//   length=<data length>\n
//   \n
//   <data bytes>
//
// Entries that cannot be read or sent are set aside as "<name>.bad" for
// operators; nothing removes them.

#include <cstdint>
#include <string>
#include <vector>

struct WmSpoolEntry {
  std::string key;
  std::string sender;
  std::string target;
  std::string msgname;
  int64_t time_sent = 0;
  std::string data;
};

// Largest data a spool entry (and a work message) may carry.
constexpr long kWmSpoolMaxData = 1L << 20;

// The spool directory, resolved.
std::string WmSpoolDir();

// True when `name` is a process or message name the spool can carry:
// 1 to 32 letters, digits or '_'.
bool WmSpoolNameValid(const std::string& name);

// The file content of `entry`, and the reverse. WmSpoolDecode returns 0, or
// -1 with the reason in `err` when the content is not exactly one entry
// (wrong heading, missing or repeated field, bad name, length that does not
// match the bytes that follow).
std::string WmSpoolEncode(const WmSpoolEntry& entry);
int WmSpoolDecode(const std::string& content, WmSpoolEntry& entry, std::string& err);

// Writes a new entry for `entry` (its key is `key` when given, else made
// here; either way stored back into it). Creates the directory when missing. Returns 0 with the entry's full
// path in `path`, or -1 with the reason in `err`; on failure no entry and
// no temporary file are left.
int WmSpoolWrite(WmSpoolEntry& entry, std::string& path, std::string& err,
                 const std::string& key = "");

// Names of the complete entries, oldest first. Returns 0 (an absent
// directory is an empty spool), or -1 with `err`.
int WmSpoolList(std::vector<std::string>& names, std::string& err);

// Reads the entry `name`. Returns 0; 1 when it no longer exists (another
// drain took it); -1 with `err` when it cannot be read or decoded.
int WmSpoolRead(const std::string& name, WmSpoolEntry& entry, std::string& err);

// Removes the entry `name` (quiet when it is already gone). 0, or -1 with
// `err`.
int WmSpoolRemove(const std::string& name, std::string& err);

// Renames the entry `name` to "<name>.bad". 0, or -1 with `err`.
int WmSpoolSetAside(const std::string& name, std::string& err);

// Removes temporary files left by writers that no longer run. Returns the
// number removed.
int WmSpoolSweepTemps();

// The drain lock: one drain at a time sends, so entries go out in order.
class WmSpoolLock {
 public:
  WmSpoolLock() = default;
  ~WmSpoolLock();
  WmSpoolLock(const WmSpoolLock&) = delete;
  WmSpoolLock& operator=(const WmSpoolLock&) = delete;

  // With `wait`, waits for the lock. Returns 0 when held, 1 when another
  // process holds it (only without `wait`), -1 with `err` on failure.
  int Acquire(bool wait, std::string& err);
  void Release();

 private:
  int fd_ = -1;
};
