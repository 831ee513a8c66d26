#include "child_process.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "temp_root.h"

namespace {
char err[512];
}

TEST(ChildProcess, RunsWithRedirectionsAndNoShell) {
  TempRoot root;
  root.write("/in.txt", "hello; rm -rf /\n");
  ChildSpec cmd;
  // A file name full of shell syntax reaches the program as one argument.
  std::string odd = root.under("/tmp/a b;$(touch x)'q\".txt");
  root.write("/tmp/a b;$(touch x)'q\".txt", "odd\n");
  cmd.argv = {"cat", root.under("/in.txt"), odd};
  cmd.stdoutPath = root.under("/out.txt");
  int status = 0;
  ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(root.read("/out.txt"), "hello; rm -rf /\nodd\n");
  EXPECT_EQ(root.read("/x"), "");  // nothing was interpreted

  cmd.argv = {"sh", "-c", "echo out; echo err >&2; exit 3"};
  cmd.stdoutPath = root.under("/both.txt");
  cmd.stderrPath = "=stdout";
  ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(root.read("/both.txt"), "out\nerr\n");

  cmd.argv = {"cat"};
  cmd.stdinPath = root.under("/in.txt");
  cmd.stdoutPath = root.under("/both.txt");
  cmd.appendStdout = true;
  cmd.stderrPath.clear();
  ASSERT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_EQ(root.read("/both.txt"), "out\nerr\nhello; rm -rf /\n");
}

TEST(ChildProcess, StartFailuresAreReportedNotExit127) {
  TempRoot root;
  ChildSpec cmd;
  pid_t pid = 0;
  cmd.argv = {"/nonexistent/program"};
  EXPECT_EQ(QdStartChild(cmd, &pid, err, sizeof err), CHILD_FAILED);
  EXPECT_NE(std::string(err).find("cannot execute for '/nonexistent/program'"), std::string::npos) << err;

  cmd.argv = {"cat"};
  cmd.stdinPath = root.under("/missing");
  EXPECT_EQ(QdStartChild(cmd, &pid, err, sizeof err), CHILD_FAILED);
  EXPECT_NE(std::string(err).find("cannot open standard input"), std::string::npos) << err;

  cmd = ChildSpec();
  EXPECT_EQ(QdStartChild(cmd, &pid, err, sizeof err), CHILD_FAILED);
  EXPECT_EQ(QdReapChildren(), 0);  // failed starts leave no zombie behind
}

TEST(ChildProcess, TimeoutStopsTheChild) {
  setenv("QD_TIME_SCALE", "0.01", 1);
  ChildSpec cmd;
  cmd.argv = {"sleep", "30"};
  int status = 0;
  EXPECT_EQ(QdRunChild(cmd, 10, &status, err, sizeof err), CHILD_TIMEOUT);  // 0.1 s scaled
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);

  pid_t pid;
  ASSERT_EQ(QdStartChild(cmd, &pid, err, sizeof err), CHILD_OK);
  EXPECT_EQ(QdWaitChild(pid, 1, &status, err, sizeof err), CHILD_TIMEOUT);
  kill(pid, SIGKILL);
  EXPECT_EQ(QdWaitChild(pid, -1, &status, err, sizeof err), CHILD_OK);
  EXPECT_EQ(QdWaitChild(pid, 1, &status, err, sizeof err), CHILD_FAILED);  // already reaped
  unsetenv("QD_TIME_SCALE");
}

TEST(ChildProcess, CommandTextQuotesLikeAShell) {
  ChildSpec cmd;
  cmd.argv = {"bzip2", "-d", "it's here.bz2"};
  cmd.stdinPath = "/tmp/in";
  cmd.stdoutPath = "/tmp/out file";
  EXPECT_EQ(QdCommandText(cmd), "bzip2 -d 'it'\\''s here.bz2' < /tmp/in > '/tmp/out file'");
}
