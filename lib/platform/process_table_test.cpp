#include "process_table.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

TEST(ProcessTable, ListsRunningAndEndedChildrenUntilReaped) {
  pid_t running = fork();
  if (running == 0) {
    pause();
    _exit(0);
  }
  pid_t ended = fork();
  if (ended == 0) _exit(0);
  // The ended child stays a zombie, and so a child, until it is reaped.
  usleep(50000);
  std::vector<pid_t> kids = QdChildPids(getpid());
  EXPECT_NE(std::find(kids.begin(), kids.end(), running), kids.end());
  EXPECT_NE(std::find(kids.begin(), kids.end(), ended), kids.end());
  EXPECT_TRUE(QdChildPids(running).empty());
  kill(running, SIGKILL);
  waitpid(running, nullptr, 0);
  waitpid(ended, nullptr, 0);
  kids = QdChildPids(getpid());
  EXPECT_EQ(std::find(kids.begin(), kids.end(), running), kids.end());
  EXPECT_EQ(std::find(kids.begin(), kids.end(), ended), kids.end());
}
