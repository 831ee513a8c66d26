#pragma once
// Fixture of the program-level tests of qdAnalyze: a private QD_ROOT and
// throwaway database, the dictionary pointing the work-message service at
// it, the daemon started in the foreground (-d) from $QD_BUILD_DIR/bin,
// requests sent to "QDAN" as "AIQ", outcomes read from the platform log,
// the transaction log and the exit status.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "daemon_run.h"
#include "temp_root.h"
#include "test_db.h"

// How long a test waits for something the daemon should do at once.
constexpr double kAnalyzerPatience = 30;

// Fields every request carries: the SP that sent it, and the product.
extern const std::vector<std::string> kRequestSp;
extern const std::vector<std::string> kRequestProd;

// `a` followed by `b`.
std::vector<std::string> JoinSettings(std::vector<std::string> a,
                                      const std::vector<std::string>& b);

class AnalyzerRun : public ::testing::Test {
 protected:
  // Skips (or fails under QD_TEST_STRICT) without a database; exports it as
  // the default database, scales waits by 0.01, writes the dictionary and
  // puts the stand-ins of $QD_BUILD_DIR/sim-bin first in PATH.
  void SetUp() override;
  // Gives PATH back.
  void TearDown() override;

  // The dictionary: Prod level, the work-message service in the test
  // database, ORASID/ORAID when not empty.
  void WriteConf(const std::string& orasid, const std::string& oraid);

  // Starts qdAnalyze -d with `args`.
  void Start(std::vector<std::string> args);
  // Starts and waits until the daemon is connected and registered.
  void StartReady(const std::vector<std::string>& args);

  std::string StderrPath() const { return root_.under("/daemon.stderr"); }
  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }
  std::string Alerts() const { return root_.read("/var/log/qd/alerts.log"); }
  std::string Stderr() const { return root_.read("/daemon.stderr"); }

  // True as soon as the platform log holds `text`; false after `seconds`.
  bool LogShows(const std::string& text, double seconds = kAnalyzerPatience) const;
  // How often the platform log holds `text` now.
  int Count(const std::string& text) const;

  // Sends a record of format `fmt` built from `settings` (qdtxn's NAME=VALUE
  // form) to QDAN as AIQ, `size` bytes of it (the format's size when
  // negative). Returns the message id as the log shows it.
  std::string Send(const std::vector<std::string>& settings, int fmt = 2, long size = -1);

  // Waits for the message's end ("Deleted", "Rejected") in the log.
  bool Ended(const std::string& msgid, const std::string& how) const;

  // Adds a catalogue row of Zarvek Velmar 1234567 dated 2024-05-01
  // 12:34:56 with file type `type`, sequence `seq` and stored name `store`;
  // returns its object id.
  std::string Catalogue(int type, const std::string& store = "/sp/prod/data/files/1234567/cfg9",
                        const std::string& seq = "9");

  // The status column of qd_txn_log rows matching `where`, oldest first.
  std::vector<std::string> Statuses(const std::string& where) const;

  // Waits for the daemon's end; its wait status (-1 on time-out).
  int Exit();
  static int ExitCode(int status);

  TempRoot root_;
  TestDatabase db_;
  DaemonRun daemon_;

 private:
  std::string saved_path_;
  bool path_set_ = false;
};
