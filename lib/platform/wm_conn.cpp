#include "wm_conn.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include "gdda.h"
#include "time_scale.h"
#include "work_messages.h"

extern char* program_invocation_short_name;

int WmConnInfo(std::string& conninfo, std::string& err) {
  conninfo.clear();
  CGDDA dict(nullptr, false);
  if (dict.CreateError != 0) {
    err = std::string("cannot read the configuration dictionary: ") + dict.szErrorMsg;
    return -1;
  }
  char leveltext[kGddaLevelTextSize];
  int level = dict.GetSystemLevel(leveltext);
  if (level == GDDA_INVALID) level = GDDA_GLOBAL;
  std::string value;
  if (dict.GetValue("WM_CONNINFO", value, level, true)) conninfo = value;
  // An absent key means libpq's defaults; any other failure is real.
  if (conninfo.empty() && dict.szErrorMsg[0] && !strstr(dict.szErrorMsg, " value not found")) {
    err = std::string("cannot read WM_CONNINFO: ") + dict.szErrorMsg;
    return -1;
  }
  return 0;
}

int WmStateOfCode(char code) {
  switch (code) {
    case 'A': return WQCF_Available;
    case 'P': return WQCF_Pending;
    case 'R': return WQCF_Retry;
    case 'D': return WQCF_Delayed_Retry;
    case 'J': return WQCF_Rejected;
    default: return 0;
  }
}

std::string WmTrimError(const char* text) {
  std::string out = text ? text : "";
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  if (out.empty()) out = "unknown database error";
  return out;
}

// ---- parameters -----------------------------------------------------------

WmParams& WmParams::Text(const std::string& value) {
  store_.push_back(value);
  bytes_.push_back(nullptr);
  lengths_.push_back(0);
  formats_.push_back(0);
  return *this;
}

WmParams& WmParams::Int(long long value) { return Text(std::to_string(value)); }

WmParams& WmParams::Bytes(const void* data, size_t length) {
  static const char kEmpty = 0;
  store_.emplace_back();
  bytes_.push_back(data ? data : &kEmpty);
  lengths_.push_back(static_cast<int>(length));
  formats_.push_back(1);
  return *this;
}

const char* const* WmParams::values() const {
  values_.clear();
  for (size_t i = 0; i < store_.size(); ++i) {
    values_.push_back(bytes_[i] ? static_cast<const char*>(bytes_[i]) : store_[i].c_str());
  }
  return values_.data();
}

// ---- connection -----------------------------------------------------------

WmConn::~WmConn() { Close(); }

bool WmConn::Open() const {
  return conn_ && owner_pid_ == getpid() && PQstatus(conn_) == CONNECTION_OK;
}

void WmConn::Abandon() {
  // A session inherited across fork belongs to the parent: closing it
  // properly would send the parent's server a termination message. Close
  // only our descriptor and leave the structure behind.
  if (conn_) {
    int fd = PQsocket(conn_);
    if (fd >= 0) close(fd);
  }
  conn_ = nullptr;
  prepared_.clear();
}

void WmConn::Close() {
  if (conn_ && owner_pid_ != getpid()) {
    Abandon();
    return;
  }
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
  prepared_.clear();
}

int WmConn::Ensure(std::string& err) {
  if (conn_ && owner_pid_ != getpid()) Abandon();
  if (conn_ && PQstatus(conn_) == CONNECTION_OK) return 0;
  Close();
  std::string conninfo;
  if (WmConnInfo(conninfo, err) != 0) return -1;
  // Our defaults come first so that anything WM_CONNINFO says wins.
  std::string timeout = std::to_string(std::max(2L, QdScaledMillis(10) / 1000));
  std::string appname = std::string(program_invocation_short_name) + ":wm";
  const char* keys[] = {"connect_timeout", "keepalives_idle", "keepalives_interval",
                        "keepalives_count", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {timeout.c_str(), "30", "10", "3", appname.c_str(),
                          conninfo.empty() ? nullptr : conninfo.c_str(), nullptr};
  conn_ = PQconnectdbParams(keys, values, 1);
  owner_pid_ = getpid();
  // Server notices (warnings of a skipped vacuum, ...) are no business of
  // the daemons' standard error.
  if (conn_) PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    err = "cannot reach the work-message database: " +
          WmTrimError(conn_ ? PQerrorMessage(conn_) : "out of memory");
    Close();
    return -1;
  }
  // The queue tables change faster than their statistics: a plan made
  // while the table looked nearly empty (a sequential or bitmap scan and a
  // sort of every waiting message) must not be used while it fills.
  // Without those every statement of the service walks its index, which is
  // right at any size; JIT is off for the same statements' sake (their cost
  // estimates then look huge, and compiling costs milliseconds).
  PgResult res(
      PQexec(conn_, "set enable_seqscan = off; set enable_bitmapscan = off; set jit = off"));
  if (!res || PQresultStatus(res.get()) != PGRES_COMMAND_OK) {
    err = "cannot set up the work-message session: " + WmTrimError(PQerrorMessage(conn_));
    Close();
    return -1;
  }
  return 1;
}

bool WmConn::Prepared(const char* name) const {
  for (const char* have : prepared_) {
    if (have == name || strcmp(have, name) == 0) return true;
  }
  return false;
}

namespace {
// Fills `err` and `lost` from a failed result (or none).
void Failure(PGconn* conn, const PGresult* res, std::string& err, bool& lost) {
  err = WmTrimError(res ? PQresultErrorMessage(res) : PQerrorMessage(conn));
  lost = PQstatus(conn) != CONNECTION_OK;
}
}  // namespace

PgResult WmConn::Run(const WmStatement& stmt, const WmParams& params, std::string& err,
                     bool& lost) {
  lost = false;
  if (!Open()) {
    err = "no connection to the work-message database";
    lost = true;
    return nullptr;
  }
  if (!Prepared(stmt.name)) {
    PgResult prep(PQprepare(conn_, stmt.name, stmt.sql, 0, nullptr));
    if (!prep || PQresultStatus(prep.get()) != PGRES_COMMAND_OK) {
      Failure(conn_, prep.get(), err, lost);
      return nullptr;
    }
    prepared_.push_back(stmt.name);
  }
  PgResult res(PQexecPrepared(conn_, stmt.name, params.count(), params.values(), params.lengths(),
                              params.formats(), 1));
  ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
    Failure(conn_, res.get(), err, lost);
    return nullptr;
  }
  return res;
}

int WmConn::Batch(const std::vector<Step>& steps, std::vector<PgResult>& results,
                  std::string& err, bool& lost) {
  lost = false;
  results.clear();
  if (!Open()) {
    err = "no connection to the work-message database";
    lost = true;
    return -1;
  }
  // Statements are prepared outside the pipeline, once per session.
  for (const Step& step : steps) {
    if (!step.stmt || Prepared(step.stmt->name)) continue;
    PgResult prep(PQprepare(conn_, step.stmt->name, step.stmt->sql, 0, nullptr));
    if (!prep || PQresultStatus(prep.get()) != PGRES_COMMAND_OK) {
      Failure(conn_, prep.get(), err, lost);
      return -1;
    }
    prepared_.push_back(step.stmt->name);
  }
  if (PQenterPipelineMode(conn_) != 1) {
    Failure(conn_, nullptr, err, lost);
    return -1;
  }
  bool sent = true;
  for (const Step& step : steps) {
    int ok = step.stmt ? PQsendQueryPrepared(conn_, step.stmt->name, step.params->count(),
                                             step.params->values(), step.params->lengths(),
                                             step.params->formats(), 1)
                       : PQsendQueryParams(conn_, step.command, 0, nullptr, nullptr, nullptr,
                                           nullptr, 1);
    sent = sent && ok == 1;
  }
  sent = sent && PQpipelineSync(conn_) == 1;
  if (!sent) {
    // A half-sent pipeline cannot be taken back: drop the session (the
    // server rolls back) and let the next call start a new one.
    Failure(conn_, nullptr, err, lost);
    Close();
    lost = true;
    return -1;
  }
  int rc = 0;
  // Collect every result up to the sync point; the first failure wins.
  for (size_t i = 0; i < steps.size(); ++i) {
    PgResult res(PQgetResult(conn_));
    ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && rc == 0) {
      Failure(conn_, st == PGRES_PIPELINE_ABORTED ? nullptr : res.get(), err, lost);
      rc = -1;
    }
    results.push_back(std::move(res));
    if (lost) break;
    while (PGresult* extra = PQgetResult(conn_)) PQclear(extra);  // the NULL ending each step
  }
  for (int guard = 0; !lost; ++guard) {
    PGresult* r = PQgetResult(conn_);
    ExecStatusType st = r ? PQresultStatus(r) : PGRES_EMPTY_QUERY;
    PQclear(r);
    if (st == PGRES_PIPELINE_SYNC) break;
    if (PQstatus(conn_) != CONNECTION_OK || guard > 100) lost = true;
  }
  if (!lost && PQexitPipelineMode(conn_) != 1) {
    Failure(conn_, nullptr, err, lost);
    rc = -1;
  }
  if (lost) {
    if (rc == 0) err = "connection to the work-message database lost";
    Close();
    rc = -1;
  }
  return rc;
}

int WmConn::Command(const char* sql, std::string& err, bool& lost) {
  lost = false;
  if (!Open()) {
    err = "no connection to the work-message database";
    lost = true;
    return -1;
  }
  PgResult res(PQexec(conn_, sql));
  ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
    Failure(conn_, res.get(), err, lost);
    return -1;
  }
  return 0;
}

void WmConn::DrainNotifies() {
  if (!Open()) return;
  PQconsumeInput(conn_);
  while (PGnotify* n = PQnotifies(conn_)) PQfreemem(n);
}

namespace {
long NowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}
}  // namespace

int WmConn::WaitNotify(long millis, std::string& err) {
  if (!Open()) {
    err = "no connection to the work-message database";
    return -1;
  }
  long deadline = NowMillis() + millis;
  for (;;) {
    if (PQconsumeInput(conn_) == 0 || PQstatus(conn_) != CONNECTION_OK) {
      err = "connection to the work-message database lost: " + WmTrimError(PQerrorMessage(conn_));
      return -1;
    }
    bool got = false;
    while (PGnotify* n = PQnotifies(conn_)) {
      PQfreemem(n);
      got = true;
    }
    if (got) return 1;
    long left = deadline - NowMillis();
    if (left <= 0) return 0;
    struct pollfd pfd = {PQsocket(conn_), POLLIN, 0};
    int rc = poll(&pfd, 1, static_cast<int>(std::min(left, 1000L * 3600)));
    if (rc < 0 && errno == EINTR) return 2;
    if (rc < 0) {
      err = std::string("waiting for the work-message database: ") + strerror(errno);
      return -1;
    }
  }
}

int WmConn::BackendPid() const { return Open() ? PQbackendPID(conn_) : 0; }

// ---- binary fields -------------------------------------------------------

long long WmInt(const PGresult* res, int row, int col) {
  if (PQgetisnull(res, row, col)) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(PQgetvalue(res, row, col));
  int len = PQgetlength(res, row, col);
  unsigned long long v = 0;
  for (int i = 0; i < len; ++i) v = (v << 8) | p[i];
  // Sign-extend from the field's width (network order, two's complement).
  if (len > 0 && len < 8 && (p[0] & 0x80) && len != 1) v |= ~0ULL << (len * 8);
  return static_cast<long long>(v);
}

std::string WmBytes(const PGresult* res, int row, int col) {
  return std::string(PQgetvalue(res, row, col), PQgetlength(res, row, col));
}
