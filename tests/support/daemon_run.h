#pragma once
// One daemon process for a program-level test: started with fork/exec in
// the test's QD_ROOT, its standard error kept in a file, ended by the test
// (or killed when the test leaves it running).

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class DaemonRun {
 public:
  DaemonRun() = default;
  ~DaemonRun();
  DaemonRun(const DaemonRun&) = delete;
  DaemonRun& operator=(const DaemonRun&) = delete;

  // Starts `program` with `args`; standard error goes to `stderr_path`.
  // False when fork failed.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& stderr_path);
  // Waits up to `seconds` for the process to end. True with its wait status
  // in `status`; false on time-out (the process then keeps running).
  bool Wait(double seconds, int& status);
  // Sends `signal` to the process.
  void Signal(int signal) const;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// Calls `done` until it answers true or `seconds` have passed; true when it
// did. Polls every 20 ms.
bool PollUntil(const std::function<bool()>& done, double seconds);
