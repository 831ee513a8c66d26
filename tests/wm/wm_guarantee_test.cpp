// The work-message service's guarantees, with real processes: restarts of
// sender, receiver and database, receivers killed with signal 9, two
// receivers at once, and waking on arrival.

#include <signal.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "test_db.h"
#include "wm_fixture.h"

namespace {

using WorkMessageGuarantees = WmTest;

TEST_F(WorkMessageGuarantees, MessageOutlivesItsSenderAndReceiverProcesses) {
  // The sender sends and ends; a receiver takes the message and dies
  // without ending it; the next receiver still finds it.
  pid_t sender = Spawn([] {
    CWorkMessages wm(true);
    return SendText(wm, "SPEC", "QDAN", "AIQ", "survivor") == WM_QUEUED ? 0 : 1;
  });
  ASSERT_EQ(Reap(sender), 0);
  pid_t quitter = Spawn([] {
    CWorkMessages wm(true);
    std::string got;
    if (wm.SetInput(1, "AIQ") != 0 || ReceiveText(wm, "QDAN", 0, got) != 0) return 1;
    return got == "survivor" ? 0 : 2;  // exits holding it
  });
  ASSERT_EQ(Reap(quitter), 0);
  CWorkMessages wm(true);
  ASSERT_EQ(wm.SetInput(1, "AIQ"), 0);
  std::string got;
  ASSERT_EQ(ReceiveText(wm, "QDAN", 5, got), 0) << wm.szErrorMsg;
  EXPECT_EQ(got, "survivor");
}

TEST_F(WorkMessageGuarantees, MessageOfAReceiverKilledWithSignal9IsDeliveredAgain) {
  CWorkMessages wm(true);
  int id = 0;
  ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "redo me", &id), WM_QUEUED);
  Channel ch;
  pid_t victim = Spawn([&ch] {
    CWorkMessages mine(true);
    std::string got;
    Message_Queue_ env = {};
    if (mine.SetInput(1, "AIQ") != 0 || ReceiveText(mine, "QDAN", 5, got, &env) != 0) return 1;
    ch.Put(std::to_string(env.nMessageID));
    pause();  // working on it forever
    return 0;
  });
  ASSERT_EQ(ch.Get(), std::to_string(id));
  ASSERT_EQ(wm.SetInput(1, "AIQ"), 0);
  std::string got;
  EXPECT_EQ(ReceiveText(wm, "QDAN", 0, got), WM_NOTHING);  // held by the victim
  kill(victim, SIGKILL);
  Reap(victim);
  // The server notices the dead session by itself; no timer is involved.
  Message_Queue_ env = {};
  int rc = WM_NOTHING;
  for (int i = 0; i < 50 && rc == WM_NOTHING; ++i) rc = ReceiveText(wm, "QDAN", 1, got, &env);
  ASSERT_EQ(rc, 0) << wm.szErrorMsg;
  EXPECT_EQ(env.nMessageID, id);
  EXPECT_EQ(got, "redo me");
}

TEST_F(WorkMessageGuarantees, TwoReceiversOfOneProcessNeverGetTheSameMessage) {
  const int kMessages = 300;
  Channel ch;
  auto receiver = [&ch] {
    CWorkMessages wm(true);
    if (wm.SetInput(1, "AIQ") != 0) return 1;
    ch.Put("ready");
    for (;;) {
      std::string got;
      Message_Queue_ env = {};
      int rc = ReceiveText(wm, "QDAN", 10, got, &env);
      if (rc != 0) return 2;
      if (wm.Delete(1, env.nMessageID) != 0) return 3;
      if (got == "end") return 0;
      ch.Put(got);
    }
  };
  pid_t a = Spawn(receiver), b = Spawn(receiver);
  ASSERT_EQ(ch.Get(), "ready");
  ASSERT_EQ(ch.Get(), "ready");
  CWorkMessages wm(true);
  for (int i = 0; i < kMessages; ++i) {
    ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", std::to_string(i)), WM_OK) << wm.szErrorMsg;
  }
  ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "end"), WM_OK);
  ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "end"), WM_OK);
  std::multiset<std::string> seen;
  for (int i = 0; i < kMessages; ++i) {
    std::string line = ch.Get();
    ASSERT_FALSE(line.empty()) << "only " << i << " messages arrived";
    seen.insert(line);
  }
  EXPECT_EQ(Reap(a), 0);
  EXPECT_EQ(Reap(b), 0);
  std::set<std::string> distinct(seen.begin(), seen.end());
  EXPECT_EQ(distinct.size(), seen.size()) << "a message was delivered twice";
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kMessages));
}

// The last statement and its start time of the one session in the test's
// database that is waiting (LISTEN) for messages.
std::string WaiterActivity(const TestDatabase& db) {
  auto rows = db.query(
      "select query || '@' || query_start from pg_stat_activity"
      " where datname = current_database() and pid <> pg_backend_pid()"
      "   and state = 'idle' and query = 'rollback'");
  return rows.size() == 1 ? rows[0] : "";
}

TEST_F(WorkMessageGuarantees, WaitingReceiverWakesWhenAMessageArrivesNotOnATimer) {
  Channel ch;
  pid_t waiter = Spawn([&ch] {
    CWorkMessages wm(true);
    if (wm.SetInput(1, "AIQ") != 0) return 1;
    ch.Put("waiting");
    std::string got;
    double start = MonotonicSeconds();
    int rc = ReceiveText(wm, "QDAN", 120, got);
    ch.Put(std::to_string(rc) + " " + got + " " + std::to_string(MonotonicSeconds() - start));
    return 0;
  });
  ASSERT_EQ(ch.Get(), "waiting");
  // Once the receiver waits, its session runs no statement at all: a
  // receiver polling on a timer would.
  std::string first;
  for (int i = 0; i < 200 && first.empty(); ++i) {
    first = WaiterActivity(db_);
    if (first.empty()) usleep(10000);
  }
  ASSERT_FALSE(first.empty()) << "the receiver never started waiting";
  usleep(300000);
  EXPECT_EQ(WaiterActivity(db_), first);
  CWorkMessages wm(true);
  double sent = MonotonicSeconds();
  ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "wake"), WM_OK);
  std::string report = ch.Get(60);
  double woke = MonotonicSeconds() - sent;
  ASSERT_EQ(report.substr(0, 7), "0 wake ") << report;
  // Far below the wait of 120 s: woken by the arrival.
  EXPECT_LT(woke, 5.0);
  EXPECT_EQ(Reap(waiter), 0);
}

// ---- the database itself restarting ---------------------------------------

class WorkMessagesAcrossServerRestarts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cluster_.ok()) << "cannot start a private PostgreSQL cluster";
    WriteConnInfo(root_, cluster_.conninfo());
  }
  TempRoot root_;
  PrivateCluster cluster_;
};

TEST_F(WorkMessagesAcrossServerRestarts, StoredMessagesSurviveCleanAndCrashRestarts) {
  {
    CWorkMessages wm(true);
    ASSERT_EQ(wm.nLastError, 0) << wm.szErrorMsg;
    ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "before restart"), WM_QUEUED);
  }
  ASSERT_TRUE(cluster_.Run("restart"));
  {
    CWorkMessages wm(true);
    ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "before crash"), WM_QUEUED);
  }
  ASSERT_TRUE(cluster_.Run("crash"));
  CWorkMessages wm(true);
  ASSERT_EQ(wm.nLastError, 0) << wm.szErrorMsg;
  ASSERT_EQ(wm.SetInput(1, "AIQ"), 0);
  std::string got;
  Message_Queue_ env = {};
  ASSERT_EQ(ReceiveText(wm, "QDAN", 0, got, &env), 0);
  EXPECT_EQ(got, "before restart");
  ASSERT_EQ(wm.Delete(1, env.nMessageID), 0);
  ASSERT_EQ(ReceiveText(wm, "QDAN", 0, got), 0);
  EXPECT_EQ(got, "before crash");
}

TEST_F(WorkMessagesAcrossServerRestarts, WaitEndsWithAFailureAndTheNextCallReconnects) {
  CWorkMessages receiver(true);
  ASSERT_EQ(receiver.SetInput(1, "AIQ"), 0);
  int rc = 0;
  double took = 0;
  std::thread waiting([&] {
    std::string got;
    double start = MonotonicSeconds();
    rc = ReceiveText(receiver, "QDAN", 120, got);
    took = MonotonicSeconds() - start;
  });
  // Give the receiver time to reach its wait; had it not, the restart
  // would fail its first statement the same way.
  usleep(200000);
  ASSERT_TRUE(cluster_.Run("restart"));
  waiting.join();
  EXPECT_EQ(rc, WM_UNREACHABLE) << receiver.szErrorMsg;
  EXPECT_LT(took, 60.0);
  // The next call reconnects, registers again and gets what is sent now.
  CWorkMessages sender(true);
  ASSERT_EQ(sender.nLastError, 0) << sender.szErrorMsg;
  std::string got;
  EXPECT_EQ(ReceiveText(receiver, "QDAN", 0, got), WM_NOTHING) << receiver.szErrorMsg;
  EXPECT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "after"), WM_OK) << sender.szErrorMsg;
  EXPECT_EQ(ReceiveText(receiver, "QDAN", 10, got), 0) << receiver.szErrorMsg;
  EXPECT_EQ(got, "after");
}

}  // namespace
