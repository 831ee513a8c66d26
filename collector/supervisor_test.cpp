// The supervisor against real forked workers: its result for a worker
// that ends, dies or falls silent, and the stopping of children.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

#include "process_table.h"
#include "supervisor.h"
#include "temp_root.h"

namespace {

struct Supervision : ::testing::Test {
  TempRoot root;
  EvtmonState st;

  void SetUp() override {
    setenv("QD_TIME_SCALE", "0.01", 1);
    // A notification went out a minute ago: the eight-hour limit keeps the
    // supervisor's own notifications from reaching for the work messages.
    root.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\n[Prod]\nSP_Last.Notify.Time_T1 = " +
                                        std::to_string(time(nullptr) - 60) + "\n");
    st.sysid = "T1";
    st.key_last_notify = "SP_Last.Notify.Time_T1";
    st.gdda = std::make_unique<CGDDA>();
    st.log = std::make_unique<CLogMessage>(kEvtmonWmName, nullptr, false);
    st.object_owner = getpid();
  }
  void TearDown() override { unsetenv("QD_TIME_SCALE"); }
};

TEST(Watchdog, GraceFirstThenSilenceFromTheLastBeat) {
  Watchdog dog;
  dog.Start(100, 360, 60);
  EXPECT_FALSE(dog.Expired(519));
  EXPECT_TRUE(dog.Expired(521));
  dog.Beat(200);
  EXPECT_FALSE(dog.Expired(259));
  EXPECT_TRUE(dog.Expired(261));
}

TEST_F(Supervision, WorkerEndsWithItsCodeOrIsCountedAFailureWhenSignalled) {
  // A worker's exit code comes back as the program's; one ended by a
  // signal is never 0, so the service manager restarts the collector.
  EXPECT_EQ(run_process(st, [](EvtmonState&) -> int { _exit(253); }), -3);
  EXPECT_EQ(run_process(st, [](EvtmonState&) -> int { _exit(100); }), RUN_STOPPED);
  EXPECT_EQ(run_process(st, [](EvtmonState&) -> int {
              raise(SIGKILL);
              _exit(0);
            }),
            RUN_WORKER_SIGNALLED);
  EXPECT_TRUE(QdChildPids(getpid()).empty());
}

TEST_F(Supervision, SilentWorkerIsKilledAfterGraceWhileABeatingOneIsNot) {
  // Grace 3.6 s, silence 0.6 s (scaled). The worker beats for 5 s, past
  // both, with beats 0.1 s apart, then stops itself.
  const double started = MonotonicSeconds();
  int rc = run_process(st, [](EvtmonState& w) -> int {
    for (int i = 0; i < 50; ++i) {
      WriteHeartbeat(w);
      usleep(100000);
    }
    raise(SIGSTOP);
    _exit(0);
  });
  const double took = MonotonicSeconds() - started;
  EXPECT_EQ(rc, RUN_WATCHDOG);
  EXPECT_GT(took, 5.0);
  EXPECT_LT(took, 9.0);
  EXPECT_TRUE(QdChildPids(getpid()).empty());
  EXPECT_NE(root.read("/var/log/qd/qd.log").find("SPE0013"), std::string::npos);
}

TEST_F(Supervision, KillMyChildrenEndsEvenThoseThatIgnoreTerm) {
  for (int i = 0; i < 2; ++i) {
    if (fork() == 0) {
      signal(SIGTERM, SIG_IGN);
      signal(SIGUSR2, SIG_IGN);
      for (;;) pause();
    }
  }
  if (fork() == 0) {
    for (;;) pause();
  }
  usleep(50000);
  ASSERT_EQ(QdChildPids(getpid()).size(), 3u);
  EXPECT_EQ(KillMyChildren(st), 0);
  EXPECT_TRUE(QdChildPids(getpid()).empty());
  EXPECT_EQ(KillMyChildren(st), 0);  // none left: nothing to do
}

}  // namespace
