#pragma once
// A throwaway database for one test, cloned from the template database that
// scripts/test loads with the schema and default data. The server comes
// from the PG* environment (the private cluster of scripts/test).
//
// When the environment names no template (QD_TEST_TEMPLATE unset) the
// database tests cannot run; TestDatabase::Available() says so and the
// QD_REQUIRE_DB() macro skips the test, or fails it when QD_TEST_STRICT=1
// (as scripts/test sets), so a CI run never passes by skipping.

#include <string>
#include <vector>

#include <gtest/gtest.h>

class TestDatabase {
 public:
  // Creates a fresh database from the template. On failure name() is ""
  // and error() says why.
  TestDatabase();
  // Drops the database (after ending its other sessions).
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  static bool Available();
  const std::string& name() const { return name_; }
  const std::string& error() const { return error_; }
  // A libpq connection string for this database.
  std::string conninfo() const;
  // Runs `sql` (one or more statements); returns "" or the server's error text.
  std::string exec(const std::string& sql) const;
  // Runs a query and returns its rows, each row its fields joined by '|'
  // (NULL as ""). A failing query returns one row "ERROR: <text>".
  std::vector<std::string> query(const std::string& sql) const;
  // Sets PGDATABASE to this database for child processes and ecpg
  // connections made by this process.
  void exportAsDefault() const;

 private:
  std::string name_;
  std::string error_;
};

// Loads the schema and default data into database `db` with scripts/dbinit
// of the source tree `source_dir`, as scripts/test loads the template.
// Returns dbinit's exit status (-1 when it could not be run), its output
// and errors appended to *out.
int RunDbinit(const std::string& source_dir, const std::string& db, std::string* out);

#define QD_REQUIRE_DB()                                                         \
  do {                                                                          \
    if (!TestDatabase::Available()) {                                           \
      const char* strict = std::getenv("QD_TEST_STRICT");                       \
      if (strict && std::string(strict) == "1") {                               \
        FAIL() << "no test database: QD_TEST_TEMPLATE is not set";              \
      }                                                                         \
      GTEST_SKIP() << "no test database (run through scripts/test)";            \
    }                                                                           \
  } while (0)
