#pragma once
// The notifier blocks' database tests: a root with the mailer's stand-in,
// a throwaway database, and the connections the notifier uses ("conn3" and
// the default one).

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "daemon_sql.h"
#include "test_db.h"
#include "testdata/mail_root.h"

class NotifierDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    root_ = std::make_unique<MailRoot>();
    ASSERT_EQ(root_->error(), "");
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
    ASSERT_EQ(DaemonSqlConnect(db_->name().c_str(), "conn3"), 0);
    connected_ = true;
    ASSERT_EQ(DaemonSqlConnect(db_->name().c_str(), nullptr), 0);
    FillSample(nd_);
  }
  void TearDown() override {
    if (connected_) DaemonSqlDisconnectAll();
  }
  // Runs `sql` on a connection of its own, after ending the open
  // transaction of the default one (whose locks would block a change of
  // the tables).
  void Exec(const std::string& sql) {
    (void)DaemonSqlRollback();
    ASSERT_EQ(db_->exec(sql), "") << sql;
  }
  NotifierState& st() { return root_->state(); }
  bool Logged(const std::string& text) const {
    return root_->log().find(text) != std::string::npos;
  }

  std::unique_ptr<MailRoot> root_;
  std::unique_ptr<TestDatabase> db_;
  NotifyData nd_;
  bool connected_ = false;
};
