// The child table: every finished child is reaped in one call, kinds are
// kept apart, and a child that is not in the table is never waited for.
#include "child_table.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

bool PollUntil(const std::function<bool()>& done, int seconds) {
  for (int i = 0; i < seconds * 100; ++i) {
    if (done()) return true;
    usleep(10000);
  }
  return done();
}

pid_t Spawn(int code) {
  pid_t pid = fork();
  if (pid == 0) _exit(code);
  return pid;
}

TEST(ChildTable, ReapsEveryEndedChildOnceAndKeepsKindsApart) {
  ChildTable t;
  ChildAdd(t, Spawn(3), KIND_DUMP, "core");
  ChildAdd(t, Spawn(0), KIND_COMMAND, "a");
  ChildAdd(t, Spawn(1), KIND_COMMAND, "b");
  pid_t outside = Spawn(7);  // not in the table: left for its own waiter
  EXPECT_EQ(1, ChildCount(t, KIND_DUMP));
  EXPECT_EQ(2, ChildCount(t, KIND_COMMAND));
  std::vector<ChildEnded> all;
  ASSERT_TRUE(PollUntil([&] {
    for (auto& e : ChildReapAll(t)) all.push_back(e);
    return all.size() == 3;
  }, 10));
  EXPECT_TRUE(t.entries.empty());
  EXPECT_EQ(0, ChildCount(t, KIND_DUMP));
  for (const auto& e : all) {
    ASSERT_TRUE(WIFEXITED(e.status));
    if (e.kind == KIND_DUMP) EXPECT_EQ(3, WEXITSTATUS(e.status));
    else EXPECT_EQ(e.tag == "a" ? 0 : 1, WEXITSTATUS(e.status));
  }
  EXPECT_TRUE(ChildReapAll(t).empty());
  int status = 0;
  ASSERT_EQ(outside, waitpid(outside, &status, 0));
  EXPECT_EQ(7, WEXITSTATUS(status));
}

TEST(ChildTable, RunningChildStaysUntilKilled) {
  ChildTable t;
  pid_t pid = fork();
  if (pid == 0) {
    pause();
    _exit(0);
  }
  ChildAdd(t, pid, KIND_PROBEX);
  EXPECT_TRUE(ChildReapAll(t).empty());
  EXPECT_EQ(1, ChildCount(t, KIND_PROBEX));
  ChildKillAll(t, SIGKILL);
  std::vector<ChildEnded> ended;
  ASSERT_TRUE(PollUntil([&] { ended = ChildReapAll(t); return !ended.empty(); }, 10));
  EXPECT_TRUE(WIFSIGNALED(ended[0].status));
}

}  // namespace
