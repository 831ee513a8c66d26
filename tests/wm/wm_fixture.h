#pragma once
// What the work-message tests share: a private QD_ROOT whose dictionary
// points WM_CONNINFO at a fresh database (or at a private cluster for the
// tests that restart the server), and small helpers for sending, receiving
// and running code in a child process.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "temp_root.h"
#include "test_db.h"
#include "work_messages.h"

// Writes the dictionary of `root` with WM_CONNINFO = `conninfo`.
void WriteConnInfo(const TempRoot& root, const std::string& conninfo);

// A fresh database and a root that points the service at it.
class WmTest : public ::testing::Test {
 protected:
  void SetUp() override;
  TempRoot root_;
  TestDatabase db_;
};

// A private cluster (started in the constructor, removed in the
// destructor) with the work-message schema in database "wmtest".
class PrivateCluster {
 public:
  PrivateCluster();
  ~PrivateCluster();
  bool ok() const { return ok_; }
  std::string conninfo() const;
  // Runs pg_private.sh with `action` ("restart", "crash", "stop", "start").
  bool Run(const std::string& action);

 private:
  std::string dir_;
  bool ok_ = false;
};

// Sends `data` from `from` to `to` as `msgname`; returns Send's result and
// the new id in `id`.
int SendText(CWorkMessages& wm, const char* from, const char* to, const char* msgname,
             const std::string& data, int* id = nullptr);

// Receives for process `name` (wait in seconds); returns the result, the
// data in `data` and the envelope in `env`.
int ReceiveText(CWorkMessages& wm, const char* name, int wait, std::string& data,
                Message_Queue_* env = nullptr, bool retrycycle = false, int* state = nullptr);

// Runs `body` in a child process; its result is the child's exit status.
pid_t Spawn(const std::function<int()>& body);
// Waits for `pid`; returns its exit status, or -1 when it did not exit
// normally.
int Reap(pid_t pid);

// A pipe between parent and child for one-line reports.
class Channel {
 public:
  Channel();
  ~Channel();
  void Put(const std::string& line);
  // Waits up to `seconds` for one line; "" when none came.
  std::string Get(double seconds = 30);

 private:
  int fd_[2];
  std::string pending_;
};

double MonotonicSeconds();
