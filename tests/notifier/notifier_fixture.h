#pragma once
// Fixture of the program-level tests of qdNotify: a private QD_ROOT and
// throwaway database, the dictionary pointing the work-message service at
// it, the daemon started in the foreground (-d) from $QD_BUILD_DIR/bin,
// notification requests sent to "QDNOT" as "NIQ", outcomes read from the
// platform log, the tables and the exit status. The controller's stand-in
// (commctl) can be started beside it.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon_run.h"
#include "qd_txn.h"
#include "temp_root.h"
#include "test_db.h"

constexpr double kNotifierPatience = 30;

class NotifierRun : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The dictionary: Prod level, the work-message service in the test
  // database, templates and history below /usr/local/qd/data, alert zone
  // UTC, and `extra` lines of [Global] ("KEY = VALUE").
  void WriteConf(bool on_sp, const std::vector<std::string>& extra = {});

  // Starts qdNotify -d with `args` and waits for its connection.
  void StartReady(std::vector<std::string> args = {});
  // Starts the controller's stand-in and waits until it serves.
  void StartController();

  // A notification request of format `fmt` ("PNR", high, class 0, for
  // Zarvek Velmar 1234567, key "disk 7 failed"), with `settings` applied
  // after the defaults (qdtxn's NAME=VALUE form), `size` bytes of it (the
  // format's size when negative), `patch` applied to the record last.
  // Returns the message id as the log shows it.
  std::string Send(const std::vector<std::string>& settings, int fmt = 6, long size = -1,
                   const std::function<void(QDTxn&)>& patch = nullptr);

  // Waits for "<how> message <id>" ("Deleted", "Rejected", "Retry queued for").
  bool Ended(const std::string& msgid, const std::string& how) const;
  bool LogShows(const std::string& text, double seconds = kNotifierPatience) const;
  int Count(const std::string& text) const;
  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }

  // Rows of a query ('|' between fields), and a statement's error text.
  std::vector<std::string> Rows(const std::string& sql) const { return db_.query(sql); }
  std::string Exec(const std::string& sql) const { return db_.exec(sql); }

  // Waits for the daemon's end; its exit code (-1 on time-out or signal).
  int ExitCode();

  TempRoot root_;
  TestDatabase db_;
  DaemonRun daemon_;
  DaemonRun controller_;
};
