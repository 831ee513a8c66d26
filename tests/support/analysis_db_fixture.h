#pragma once
// A fresh analysis engine working for a test daemon (logger in a private
// QD_ROOT, message prefix "QDA") on a throwaway database reached through
// the default embedded-SQL connection, with the current file of an event
// of the Velmar array and the rule rows the tests add.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis_engine.h"
#include "temp_root.h"
#include "test_db.h"

// The stored event file of every test and its report.
extern const char kStoreFile[];
extern const char kReportName[];
extern const char kEvent[];

class AnalysisDbTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs SQL on the test database through a connection of its own.
  void Sql(const std::string& sql);
  std::vector<std::string> Query(const std::string& sql) { return db_->query(sql); }

  // The platform log so far.
  std::string Log() const { return root_->read("/var/log/qd/qd.log"); }
  // Notifications raised so far, each "U abstract / text".
  static std::vector<std::string>& Alerts();
  // True when some notification starts with `prefix`.
  static bool Alerted(const std::string& prefix);

  // Sets Mkey1..Mkey6.
  static void Keys(const char* k1, const char* k2, const char* k3 = "na", const char* k4 = "na",
                   const char* k5 = "na", const char* k6 = "na");

  std::unique_ptr<TempRoot> root_;
  std::unique_ptr<TestDatabase> db_;
  DaemonState st_;
  AnalyzerState analyzer_;
};
