#include "test_db.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <libpq-fe.h>
#include <unistd.h>

namespace {

std::string Template() {
  const char* name = std::getenv("QD_TEST_TEMPLATE");
  return name ? std::string(name) : std::string();
}

// Runs `sql` on database `db`; returns "" or the error text.
std::string ExecOn(const std::string& db, const std::string& sql) {
  std::string info = "dbname=" + db;
  PGconn* conn = PQconnectdb(info.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    std::string err = PQerrorMessage(conn);
    PQfinish(conn);
    return err.empty() ? "connection failed" : err;
  }
  PGresult* res = PQexec(conn, sql.c_str());
  std::string err;
  ExecStatusType st = PQresultStatus(res);
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) err = PQresultErrorMessage(res);
  PQclear(res);
  PQfinish(conn);
  return err;
}

}  // namespace

bool TestDatabase::Available() { return !Template().empty(); }

TestDatabase::TestDatabase() {
  if (!Available()) {
    error_ = "QD_TEST_TEMPLATE is not set";
    return;
  }
  static std::atomic<int> counter{0};
  std::string name = "qdt_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  // Cloning a template fails while anyone else is connected to it; a
  // parallel test may be cloning too, so try a few times.
  for (int attempt = 0; attempt < 50; ++attempt) {
    error_ = ExecOn("postgres", "CREATE DATABASE " + name + " TEMPLATE " + Template());
    if (error_.empty()) {
      name_ = name;
      return;
    }
    usleep(100000);
  }
}

TestDatabase::~TestDatabase() {
  if (name_.empty()) return;
  ExecOn("postgres", "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
}

std::string TestDatabase::conninfo() const { return "dbname=" + name_; }

std::string TestDatabase::exec(const std::string& sql) const { return ExecOn(name_, sql); }

std::vector<std::string> TestDatabase::query(const std::string& sql) const {
  std::vector<std::string> rows;
  PGconn* conn = PQconnectdb(conninfo().c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    rows.push_back(std::string("ERROR: ") + PQerrorMessage(conn));
    PQfinish(conn);
    return rows;
  }
  PGresult* res = PQexec(conn, sql.c_str());
  if (PQresultStatus(res) != PGRES_TUPLES_OK) {
    rows.push_back(std::string("ERROR: ") + PQresultErrorMessage(res));
  } else {
    for (int r = 0; r < PQntuples(res); ++r) {
      std::string row;
      for (int c = 0; c < PQnfields(res); ++c) {
        if (c) row += '|';
        row += PQgetvalue(res, r, c);
      }
      rows.push_back(row);
    }
  }
  PQclear(res);
  PQfinish(conn);
  return rows;
}

void TestDatabase::exportAsDefault() const { setenv("PGDATABASE", name_.c_str(), 1); }

int RunDbinit(const std::string& source_dir, const std::string& db, std::string* out) {
  std::string cmd = "'" + source_dir + "/scripts/dbinit' " + db + " 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return -1;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out->append(buf, n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
