#pragma once
// Fixture of the program-level tests of any daemon of the system: a private
// QD_ROOT and throwaway database, the dictionary pointing the programs'
// database and the work-message service at it, waits scaled by 0.01 and
// the stand-ins of $QD_BUILD_DIR/sim-bin first in PATH. The daemon is
// started from $QD_BUILD_DIR/bin and watched through the platform log, its
// standard error and its exit status; records reach it as work messages.
// A program's own fixture derives from this one (AnalyzerRun for
// qdAnalyze) and adds what only that program needs.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon_run.h"
#include "qd_txn.h"
#include "temp_root.h"
#include "test_db.h"

// How long a test waits for something a daemon or tool should do at once.
constexpr double kDaemonPatience = 30;

// `a` followed by `b`.
std::vector<std::string> JoinSettings(std::vector<std::string> a,
                                      const std::vector<std::string>& b);

class ProgramRun : public ::testing::Test {
 protected:
  // Skips (or fails under QD_TEST_STRICT) without a database; exports it as
  // the default database, scales waits by 0.01, writes the dictionary
  // (WriteConf with the test database and "qd") and puts the stand-ins
  // first in PATH.
  void SetUp() override;
  // Gives PATH back.
  void TearDown() override;

  // The dictionary: Prod level, the work-message service in the test
  // database, `global` lines ("KEY = VALUE") in [Global], ORASID/ORAID in
  // [Prod] when not empty.
  void WriteConf(const std::string& orasid, const std::string& oraid,
                 const std::vector<std::string>& global = {});

  // Starts $QD_BUILD_DIR/bin/`program` with `args`, its standard error
  // into StderrPath().
  void Start(const std::string& program, const std::vector<std::string>& args);
  // Starts and waits until the daemon has connected to its database
  // (the framework's QDZ0102 in the platform log).
  void StartReady(const std::string& program, const std::vector<std::string>& args);

  std::string StderrPath() const { return root_.under("/daemon.stderr"); }
  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }
  std::string Alerts() const { return root_.read("/var/log/qd/alerts.log"); }
  std::string Stderr() const { return root_.read("/daemon.stderr"); }

  // True as soon as the platform log holds `text`; false after `seconds`.
  bool LogShows(const std::string& text, double seconds = kDaemonPatience) const;
  // How often the platform log holds `text` now.
  int Count(const std::string& text) const;

  // Sends a transaction record of format `fmt` built from `settings`
  // (qdtxn's NAME=VALUE form) to process `to` as message `message`, `size`
  // bytes of it (the format's size when negative), `patch` applied to the
  // record last (for what qdtxn cannot set). Returns the message id as the
  // log shows it.
  std::string SendRecord(const std::string& to, const std::string& message,
                         const std::vector<std::string>& settings, int fmt = 2, long size = -1,
                         const std::function<void(QDTxn&)>& patch = nullptr);
  // Waits for the end of message `msgid` ("Deleted", "Rejected") in the log.
  bool Ended(const std::string& msgid, const std::string& how) const;

  // Waits for the daemon's end; its wait status (-1 on time-out).
  int Exit();
  static int ExitCode(int status);

  // Runs $QD_BUILD_DIR/`program` (e.g. "bin/qdwm") with `args`, standard
  // output and error together; its wait status into *status when given.
  std::string RunTool(const std::string& program, const std::vector<std::string>& args,
                      int* status = nullptr);

  TempRoot root_;
  TestDatabase db_;
  DaemonRun daemon_;

 private:
  std::string saved_path_;
  bool path_set_ = false;
};
