// qdAnalyze killed while it works. Whatever moment the kill comes, the
// request delivered again must end analysed once: one history row, one
// notification request (when the analysis sends one), the catalogue row
// filled, no log row left "InProc" and no temporary report left behind.
//
// Held at each commit: a trigger on the table a statement writes makes that
// statement wait for an advisory lock the test holds, the analyzer is killed
// there (its waiting session ended too), and a new analyzer takes the
// request. The kill campaign kills the analyzer at random moments while it
// works off a queue of requests (QD_KILL_REQUESTS of them, 10 by default).
//
// Several analyzers on one queue (the scale-out an operator runs on one host
// or several against one database) share no request: each is logged,
// analysed and notified once, by one of them.
#include <dirent.h>
#include <libpq-fe.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "event_request.h"
#include "test_files.h"

namespace {

// The advisory lock the hold triggers wait for.
constexpr int kHoldLock = 424242;

// One statement of the analysis that writes, and the trigger that holds it:
// table, trigger timing and event, and the condition.
struct HoldPoint {
  const char* name;
  const char* table;
  const char* event;
  const char* when;
};

// In the order the analysis of a notifying event runs them.
const HoldPoint kHoldPoints[] = {
    {"log row", "qd_txn_log", "insert", "new.TxnId = 'FAR'"},
    {"notification request", "wm.message", "insert", "new.msgno = 2"},
    {"history row", "qd_anal_history", "insert", "true"},
    {"catalogue", "qd_fdb_cat", "update", "true"},
    {"status", "qd_txn_log", "update", "new.status <> 'InProc'"},
    {"end of the request", "wm.message", "delete", "old.msgno = 1"},
};

class CrashRun : public EventRequestRun {
 protected:
  void SetUp() override {
    EventRequestRun::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    // The events whose analysis writes history and notifies: the outcomes
    // that must not come twice.
    for (const CorpusEvent& ev : corpus_) {
      auto notify = ev.expected.find("notify");
      auto history = ev.expected.find("history");
      if (notify == ev.expected.end() || notify->second != "yes") continue;
      if (history == ev.expected.end() || history->second != "yes") continue;
      Install(ev.name);
      events_.push_back(ev.name);
    }
    ASSERT_GE(events_.size(), 3u);
    ASSERT_EQ(db_.exec("create function qd_test_hold() returns trigger language plpgsql as $$"
                       " begin perform pg_advisory_xact_lock(" + std::to_string(kHoldLock) + ");"
                       " if tg_op = 'DELETE' then return old; end if; return new; end $$"),
              "");
  }

  void TearDown() override {
    if (holder_) PQfinish(holder_);
    EventRequestRun::TearDown();
  }

  // Makes the statement of `point` wait for the test's advisory lock.
  void Hold(const HoldPoint& point) {
    if (!holder_) holder_ = PQconnectdb(db_.conninfo().c_str());
    ASSERT_EQ(PQstatus(holder_), CONNECTION_OK) << PQerrorMessage(holder_);
    PGresult* r = PQexec(holder_, ("select pg_advisory_lock(" + std::to_string(kHoldLock) + ")").c_str());
    ASSERT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQerrorMessage(holder_);
    PQclear(r);
    ASSERT_EQ(db_.exec(std::string("create trigger qd_test_hold before ") + point.event + " on " +
                       point.table + " for each row when (" + point.when +
                       ") execute function qd_test_hold()"),
              "");
    hold_table_ = point.table;
  }

  // True once a session waits for the hold.
  bool Held() const {
    return PollUntil(
        [&] {
          std::vector<std::string> rows = db_.query(
              "select count(*) from pg_locks where locktype = 'advisory' and not granted and "
              "objid = " + std::to_string(kHoldLock));
          return rows.size() == 1 && rows[0] != "0";
        },
        kAnalyzerPatience);
  }

  // Kills the analyzer, ends its session that waits at the hold (a server
  // session notices its client's death only when it next reads from it),
  // and takes the hold away.
  void KillAtHold() {
    daemon_.Signal(SIGKILL);
    int status = 0;
    ASSERT_TRUE(daemon_.Wait(kAnalyzerPatience, status));
    ASSERT_EQ(db_.query("select count(pg_terminate_backend(pid)) from pg_locks where "
                        "locktype = 'advisory' and not granted and objid = " +
                        std::to_string(kHoldLock)).size(), 1u);
    ASSERT_EQ(db_.exec("drop trigger qd_test_hold on " + hold_table_), "");
    PGresult* r = PQexec(holder_, "select pg_advisory_unlock_all()");
    PQclear(r);
  }

  // Temporary reports in the event folder.
  std::vector<std::string> TempReports() const {
    std::vector<std::string> out;
    DIR* d = opendir(root_.under(kEventDir).c_str());
    if (!d) return out;
    while (struct dirent* e = readdir(d)) {
      if (std::string(e->d_name).find(".analysis.") != std::string::npos) out.push_back(e->d_name);
    }
    closedir(d);
    return out;
  }

  // Every request of `seqs` analysed once; nothing half done left.
  void ExpectEachOnce(const std::vector<std::string>& seqs) {
    std::map<std::string, long> history = HistoryRows(), notify = NotifyRequests();
    for (const std::string& seq : seqs) {
      EXPECT_EQ(history[seq], 1) << "history rows of seq " << seq;
      EXPECT_EQ(notify[seq], 1) << "notification requests of seq " << seq;
    }
    EXPECT_EQ(history.size(), seqs.size());
    EXPECT_EQ(notify.size(), seqs.size());
    EXPECT_EQ(Number("select count(*) from qd_txn_log where status = 'InProc'"), 0)
        << Rows("select objid, status, fdb_objid from qd_txn_log order by objid::int");
    EXPECT_EQ(Number("select count(*) from qd_fdb_cat where anal_date is null"), 0);
    EXPECT_EQ(Number("select count(*) from wm.message where target = 1"), 0);
    EXPECT_TRUE(TempReports().empty()) << TempReports().front();
  }

  // The analyzer once it has worked off every request: none left for QDAN.
  bool QueueEmpty(double seconds) const {
    return PollUntil([&] { return Number("select count(*) from wm.message where target = 1") == 0; },
                     seconds);
  }

  std::vector<std::string> events_;
  PGconn* holder_ = nullptr;
  std::string hold_table_;
};

TEST_F(CrashRun, KilledAtEachCommitTheRequestEndsAnalysedOnce) {
  std::vector<std::string> seqs;
  for (const HoldPoint& point : kHoldPoints) {
    SCOPED_TRACE(point.name);
    std::string seq = std::to_string(seqs.size() + 1);
    seqs.push_back(seq);
    Hold(point);
    StartReady({"-t", "60"});
    std::string msgid = Request(events_[seqs.size() % events_.size()], seq);
    ASSERT_TRUE(Held()) << Log();
    KillAtHold();
    StartReady({"-t", "60"});
    ASSERT_TRUE(QueueEmpty(kAnalyzerPatience)) << Log();
    daemon_.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(Exit()), 100);
  }
  ExpectEachOnce(seqs);
}

TEST_F(CrashRun, KillCampaign) {
  const char* size = std::getenv("QD_KILL_REQUESTS");
  const int requests = size && std::atoi(size) > 0 ? std::atoi(size) : 10;
  std::vector<std::string> seqs;
  for (int i = 0; i < requests; ++i) {
    seqs.push_back(std::to_string(i + 1));
    Request(events_[i % events_.size()], seqs.back());
  }
  std::mt19937 random(std::random_device{}());
  // Up to about the time a few analyses take, counted from the connection:
  // some kills come before the first request is at work, most while one is.
  // A kill after which no request got done widens the window (a loaded
  // machine is slower), the next one that did narrows it again.
  const int base_ms = 30;
  int window_ms = base_ms;
  int kills = 0;
  long left = Number("select count(*) from wm.message where target = 1");
  for (;;) {
    int connected = Count("QDZ0102");
    Start({"-t", "60"});
    ASSERT_TRUE(PollUntil([&] { return Count("QDZ0102") > connected; }, kAnalyzerPatience))
        << Log();
    int after = std::uniform_int_distribution<int>(0, window_ms)(random);
    if (QueueEmpty(after / 1000.0)) break;
    daemon_.Signal(SIGKILL);
    int status = 0;
    ASSERT_TRUE(daemon_.Wait(kAnalyzerPatience, status));
    ++kills;
    long now_left = Number("select count(*) from wm.message where target = 1");
    window_ms = now_left < left ? base_ms : std::min(window_ms * 2, 5000);
    left = now_left;
    ASSERT_LT(kills, 50 * requests) << "no progress\n" << Log();
  }
  daemon_.Signal(SIGTERM);
  EXPECT_EQ(ExitCode(Exit()), 100);
  ExpectEachOnce(seqs);
  std::cout << "kill campaign: " << requests << " requests, " << kills << " kills; "
            << Number("select count(*) from qd_anal_history") << " history rows, "
            << Number("select count(*) from wm.message where target = 2") << " notification "
            << "requests; log rows: "
            << Rows("select status || ' ' || count(*) from qd_txn_log group by status")
            << "temporary reports left: " << TempReports().size() << std::endl;
}

}  // namespace

namespace {

// Lines of the platform log of process `pid` that hold `text`.
int CountOf(const std::string& log, pid_t pid, const std::string& text) {
  std::string who = "QDAN[" + std::to_string(pid) + "] ";
  int n = 0;
  for (size_t at = 0, end; at < log.size(); at = end + 1) {
    end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    if (line.find(who) != std::string::npos && line.find(text) != std::string::npos) ++n;
  }
  return n;
}

TEST_F(CrashRun, AnalyzersOnOneQueueShareNoRequest) {
  for (int analyzers : {2, 4}) {
    SCOPED_TRACE(std::to_string(analyzers) + " analyzers");
    ASSERT_EQ(db_.exec("truncate qd_txn_log, qd_anal_history, qd_fdb_cat"), "");
    ASSERT_EQ(db_.exec("delete from wm.message"), "");
    std::vector<std::unique_ptr<DaemonRun>> runs;
    std::vector<pid_t> pids;
    int connected = Count("QDZ0102");
    for (int i = 0; i < analyzers; ++i) {
      runs.push_back(std::make_unique<DaemonRun>());
      ASSERT_TRUE(runs.back()->Start(BuildPath("bin/qdAnalyze"), {"-d", "-t", "60"},
                                     root_.under("/analyzer" + std::to_string(i) + ".stderr")));
      pids.push_back(runs.back()->pid());
    }
    ASSERT_TRUE(PollUntil([&] { return Count("QDZ0102") == connected + analyzers; },
                          kAnalyzerPatience))
        << Log();
    // Every request waits before any is taken, so that each analyzer finds
    // work and they all take from the queue at once.
    Hold(kHoldPoints[0]);
    std::vector<std::string> seqs;
    std::vector<std::string> ids;
    for (int i = 0; i < 10 * analyzers; ++i) {
      seqs.push_back(std::to_string(i + 1));
      ids.push_back(Request(events_[i % events_.size()], seqs.back()));
    }
    PQclear(PQexec(holder_, "select pg_advisory_unlock_all()"));
    ASSERT_TRUE(QueueEmpty(kAnalyzerPatience * 4)) << Log();
    for (auto& run : runs) {
      run->Signal(SIGTERM);
      int status = 0;
      ASSERT_TRUE(run->Wait(kAnalyzerPatience, status));
      EXPECT_EQ(ExitCode(status), 100);
    }
    ASSERT_EQ(db_.exec("drop trigger qd_test_hold on qd_txn_log"), "");

    ExpectEachOnce(seqs);
    // Delivered once: one log row per request, none taken up again.
    EXPECT_EQ(Rows("select fdb_objid, count(*) from qd_txn_log where TxnId = 'FAR' "
                   "group by fdb_objid having count(*) <> 1"),
              "");
    EXPECT_EQ(Number("select count(*) from qd_txn_log where TxnId = 'FAR'"),
              static_cast<long>(seqs.size()));
    std::string log = Log();
    int ended = 0;
    for (const std::string& id : ids) {
      for (pid_t pid : pids) ended += CountOf(log, pid, "Deleted message " + id);
    }
    EXPECT_EQ(ended, static_cast<int>(ids.size()));
    for (pid_t pid : pids) {
      EXPECT_GT(CountOf(log, pid, "Deleted message"), 0) << "analyzer " << pid << " took no request";
    }
  }
}

}  // namespace
