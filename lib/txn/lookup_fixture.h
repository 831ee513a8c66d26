#pragma once
// Shared set-up of the notifier lookups' database tests: a private root
// (for the platform log), a throwaway database and the process's default
// connection to it.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ecpg_connect.h"
#include "group_bom_sql.h"
#include "log_message.h"
#include "temp_root.h"
#include "test_db.h"

class LookupDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    root_ = std::make_unique<TempRoot>();
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
    std::string error;
    ASSERT_EQ(QdEcpgConnect(db_->name().c_str(), error), 0) << error;
    connected_ = true;
    log_ = std::make_unique<CLogMessage>("QDNOT");
  }
  void TearDown() override {
    if (connected_) QdEcpgDisconnectAll();
  }
  // Runs `sql` on a connection of its own, after ending the open
  // transaction of the default one (whose locks would block a change of
  // the tables).
  void Exec(const std::string& sql) {
    (void)BomSqlRollback();
    ASSERT_EQ(db_->exec(sql), "") << sql;
  }
  std::string Log() const { return root_->read("/var/log/qd/qd.log"); }

  std::unique_ptr<TempRoot> root_;
  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<CLogMessage> log_;
  bool connected_ = false;
};
