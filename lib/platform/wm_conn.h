#pragma once
// One libpq connection of the work-message service (internal to the
// platform layer; programs use CWorkMessages). It knows how to reach the
// server (dictionary key WM_CONNINFO), keeps its prepared statements, and
// waits for notifications without polling.

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

struct PgResultFree {
  void operator()(PGresult* res) const { PQclear(res); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

// The connection text the service uses: the dictionary key WM_CONNINFO at
// the system level (falling back to Global), "" when absent (libpq's
// defaults, the PG* environment). Returns 0, or -1 with the reason in `err`
// when the dictionary cannot be read.
int WmConnInfo(std::string& conninfo, std::string& err);

// A statement prepared on first use on each connection. `name` must be
// unique among the service's statements.
struct WmStatement {
  const char* name;
  const char* sql;
};

// Parameters of one statement: texts, or bytes sent in binary.
class WmParams {
 public:
  WmParams& Text(const std::string& value);
  WmParams& Int(long long value);
  WmParams& Bytes(const void* data, size_t length);

  int count() const { return static_cast<int>(values_.size()); }
  const char* const* values() const;
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }

 private:
  std::vector<std::string> store_;
  std::vector<const void*> bytes_;  // non-null: points at caller's bytes
  mutable std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

class WmConn {
 public:
  WmConn() = default;
  ~WmConn();
  WmConn(const WmConn&) = delete;
  WmConn& operator=(const WmConn&) = delete;

  // Makes sure the connection is open: connects when there is none, when
  // the last statement found it broken, or when the process has forked
  // since it was made (the child never touches its parent's session).
  // Returns 1 when a new session was opened (callers then restore session
  // state such as LISTEN), 0 when the open one is kept, -1 with the reason
  // in `err` when the server cannot be reached.
  int Ensure(std::string& err);
  bool Open() const;
  // Closes the session (the server rolls back what it has open).
  void Close();

  // Runs a prepared statement. Results come in binary form. Returns the
  // result when the statement succeeded (PGRES_COMMAND_OK or
  // PGRES_TUPLES_OK); null otherwise, with the server's or libpq's text in
  // `err` and `lost` telling whether the session is gone.
  PgResult Run(const WmStatement& stmt, const WmParams& params, std::string& err, bool& lost);
  // Runs several steps in one round trip (a libpq pipeline): each step is
  // a prepared statement with its parameters, or a parameterless command
  // (`stmt` null). Returns 0 with one result per step in `results`, or -1
  // with the first failure's text in `err` and `lost` as for Run (steps
  // after a failed one are not run).
  struct Step {
    const WmStatement* stmt;
    const WmParams* params;
    const char* command;
  };
  int Batch(const std::vector<Step>& steps, std::vector<PgResult>& results, std::string& err,
            bool& lost);
  // Runs a parameterless command (BEGIN, COMMIT, LISTEN ...). 0, or -1 as
  // for Run.
  int Command(const char* sql, std::string& err, bool& lost);

  // Waits at most `millis` for a notification on a channel this session
  // listens to. Returns 1 when one (or more) arrived, 0 when the time ran
  // out, 2 when a signal cut the wait short, -1 with `err` when the
  // session broke (a server restart ends the wait this way).
  int WaitNotify(long millis, std::string& err);
  // Discards notifications that have already arrived.
  void DrainNotifies();

  // Server-side id of the current session (pg_backend_pid), 0 if closed.
  int BackendPid() const;

 private:
  bool Prepared(const char* name) const;
  void Abandon();

  PGconn* conn_ = nullptr;
  int owner_pid_ = 0;
  std::vector<const char*> prepared_;
};

// Advisory lock keys of the service (first of the two 32-bit keys): a
// registration holds a shared session lock (WM_KEY_INPUT, WmInputKey), a
// held message a transaction lock (WM_KEY_HELD, message id). Kept as text
// for the statements that name them.
#define WM_KEY_INPUT_TEXT "1464664065"
#define WM_KEY_HELD_TEXT "1464664066"

// Second key of a registration: process and message number (both below
// 32768 by the registry's checks).
inline long long WmInputKey(int procid, int msgno) {
  return (static_cast<long long>(procid) << 16) | msgno;
}

// Reads binary result fields (the layouts of the server's send functions).
long long WmInt(const PGresult* res, int row, int col);  // int2/int4/int8, "char", bool
std::string WmBytes(const PGresult* res, int row, int col);
// libpq's text for a failed connection or statement, trailing newlines cut.
std::string WmTrimError(const char* text);

// The WmState of a message's stored state letter ('A', 'P', 'R', 'D',
// 'J'); 0 for any other letter. A held message is WQCF_Received whatever
// its letter: the caller knows that from the lock, not from the row.
int WmStateOfCode(char code);
