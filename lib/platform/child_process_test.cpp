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
  ChildSpec spec;
  // A file name full of shell syntax reaches the program as one argument.
  std::string odd = root.under("/tmp/a b;$(touch x)'q\".txt");
  root.write("/tmp/a b;$(touch x)'q\".txt", "odd\n");
  spec.argv = {"cat", root.under("/in.txt"), odd};
  spec.stdoutPath = root.under("/out.txt");
  int status = 0;
  ASSERT_EQ(QdRunChild(spec, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(root.read("/out.txt"), "hello; rm -rf /\nodd\n");
  EXPECT_EQ(root.read("/x"), "");  // nothing was interpreted

  spec.argv = {"sh", "-c", "echo out; echo err >&2; exit 3"};
  spec.stdoutPath = root.under("/both.txt");
  spec.stderrPath = "=stdout";
  ASSERT_EQ(QdRunChild(spec, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(root.read("/both.txt"), "out\nerr\n");

  spec.argv = {"cat"};
  spec.stdinPath = root.under("/in.txt");
  spec.stdoutPath = root.under("/both.txt");
  spec.appendStdout = true;
  spec.stderrPath.clear();
  ASSERT_EQ(QdRunChild(spec, 10, &status, err, sizeof err), CHILD_OK) << err;
  EXPECT_EQ(root.read("/both.txt"), "out\nerr\nhello; rm -rf /\n");
}

TEST(ChildProcess, StartFailuresAreReportedNotExit127) {
  TempRoot root;
  ChildSpec spec;
  pid_t pid = 0;
  spec.argv = {"/nonexistent/program"};
  EXPECT_EQ(QdStartChild(spec, &pid, err, sizeof err), CHILD_FAILED);
  EXPECT_NE(std::string(err).find("cannot execute for '/nonexistent/program'"), std::string::npos) << err;

  spec.argv = {"cat"};
  spec.stdinPath = root.under("/missing");
  EXPECT_EQ(QdStartChild(spec, &pid, err, sizeof err), CHILD_FAILED);
  EXPECT_NE(std::string(err).find("cannot open standard input"), std::string::npos) << err;

  spec = ChildSpec();
  EXPECT_EQ(QdStartChild(spec, &pid, err, sizeof err), CHILD_FAILED);
  EXPECT_EQ(QdReapChildren(), 0);  // failed starts leave no zombie behind
}

TEST(ChildProcess, TimeoutStopsTheChild) {
  setenv("QD_TIME_SCALE", "0.01", 1);
  ChildSpec spec;
  spec.argv = {"sleep", "30"};
  int status = 0;
  EXPECT_EQ(QdRunChild(spec, 10, &status, err, sizeof err), CHILD_TIMEOUT);  // 0.1 s scaled
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);

  pid_t pid;
  ASSERT_EQ(QdStartChild(spec, &pid, err, sizeof err), CHILD_OK);
  EXPECT_EQ(QdWaitChild(pid, 1, &status, err, sizeof err), CHILD_TIMEOUT);
  kill(pid, SIGKILL);
  EXPECT_EQ(QdWaitChild(pid, -1, &status, err, sizeof err), CHILD_OK);
  EXPECT_EQ(QdWaitChild(pid, 1, &status, err, sizeof err), CHILD_FAILED);  // already reaped
  unsetenv("QD_TIME_SCALE");
}

TEST(ChildProcess, CommandTextQuotesLikeAShell) {
  ChildSpec spec;
  spec.argv = {"bzip2", "-d", "it's here.bz2"};
  spec.stdinPath = "/tmp/in";
  spec.stdoutPath = "/tmp/out file";
  EXPECT_EQ(QdCommandText(spec), "bzip2 -d 'it'\\''s here.bz2' < /tmp/in > '/tmp/out file'");
}
