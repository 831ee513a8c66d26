// Runs the built qdconf program against a private root.

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "temp_root.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome Qdconf(const TempRoot& root, std::vector<std::string> args) {
  const char* build = std::getenv("QD_BUILD_DIR");
  std::string program = std::string(build ? build : ".") + "/bin/qdconf";
  args.insert(args.begin(), "qdconf");
  std::string out = root.under("/tmp/qdconf.out"), err = root.under("/tmp/qdconf.err");
  pid_t pid = fork();
  if (pid == 0) {
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  Outcome run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = root.read("/tmp/qdconf.out");
  run.err = root.read("/tmp/qdconf.err");
  return run;
}

}  // namespace

TEST(Qdconf, GetSetAndListThroughTheProgram) {
  TempRoot root;
  root.write("/etc/qd/gdda.conf",
             "[Global]\nSYSTEM_LEVEL = Test\nK = global\nSP_ID = SP0042\n[Test]\nK = test\n");
  Outcome run = Qdconf(root, {"get", "K"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "test\n");  // the system level by default
  EXPECT_EQ(Qdconf(root, {"get", "K", "global"}).out, "global\n");
  EXPECT_EQ(Qdconf(root, {"get", "SP_ID", "4"}).out, "SP0042\n");

  ASSERT_EQ(Qdconf(root, {"set", "NEW", "a value"}).status, 0);  // Global by default
  EXPECT_EQ(Qdconf(root, {"get", "NEW", "Prod"}).out, "a value\n");
  ASSERT_EQ(Qdconf(root, {"set", "K", "override", "TEST"}).status, 0);
  EXPECT_EQ(Qdconf(root, {"get", "K"}).out, "override\n");

  run = Qdconf(root, {"list"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Global K = global  (conf)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Global NEW = a value  (state)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Test   K = override  (state, overrides conf)\n"), std::string::npos)
      << run.out;
}

TEST(Qdconf, FailuresSayWhyAndExitNonZero) {
  TempRoot root;
  Outcome run = Qdconf(root, {"get", "MISSING", "Global"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(" value not found"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  run = Qdconf(root, {"set", "A=B", "v"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("'='"), std::string::npos) << run.err;
  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {}, {"get"}, {"set", "K"}, {"list", "x"}, {"drop", "K"}, {"get", "K", "Stage"}}) {
    run = Qdconf(root, bad);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
  }
  root.write("/etc/qd/gdda.conf", "[Global]\nbroken line\n");
  run = Qdconf(root, {"list"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("line 2"), std::string::npos) << run.err;
}
