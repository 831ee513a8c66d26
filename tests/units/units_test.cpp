// The units of deploy/ as systemd reads them: each one verified by
// systemd-analyze (a warning counts as a failure), the daemons restarting
// on failure but not after an operator stop (exit 100), and the account
// they run as being the one the sysusers and tmpfiles files make.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_root.h"
#include "test_files.h"

namespace {

const char kInstalledBin[] = "/usr/local/qd/bin/";

// Every *.service file of deploy/, sorted.
std::vector<std::string> UnitNames() {
  std::vector<std::string> names;
  DIR* dir = opendir(SourcePath("deploy").c_str());
  if (!dir) return names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".service") == 0) {
      names.push_back(name);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// `tool` found in PATH, or "".
std::string FindTool(const std::string& tool) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = dir + "/" + tool;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Values of `key` in the unit text, in order.
std::vector<std::string> Values(const std::string& text, const std::string& key) {
  std::vector<std::string> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) out.push_back(line.substr(key.size() + 1));
  }
  return out;
}

// Runs `argv` with standard output and error joined into `out`; the exit
// status, or -1 when it could not run or did not end normally.
int RunTool(const TempRoot& root, const std::vector<std::string>& argv, std::string& out) {
  ChildSpec cmd;
  cmd.argv = argv;
  cmd.stdoutPath = root.under("/tool.out");
  cmd.stderrPath = "=stdout";
  int status = 0;
  char err[256] = "";
  if (QdRunChild(cmd, 60, &status, err, sizeof err) != CHILD_OK) {
    out = err;
    return -1;
  }
  out = root.read("/tool.out");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(UnitsTest, EveryUnitPassesTheVerifierWithoutAWarning) {
  std::string tool = FindTool("systemd-analyze");
  if (tool.empty()) GTEST_SKIP() << "systemd-analyze not found: the units are not verified";
  std::vector<std::string> names = UnitNames();
  ASSERT_FALSE(names.empty()) << "no unit in " << SourcePath("deploy");
  // The programs are not installed here: each unit is verified as a copy
  // whose programs are stand-ins of the same name below the test's root.
  TempRoot root;
  std::string bin = root.under(kInstalledBin);
  std::vector<std::string> argv = {tool, "verify", "--man=no"};
  for (const std::string& name : names) {
    std::string text = FileText(SourcePath("deploy/" + name));
    for (const std::string& exec : Values(text, "ExecStart")) {
      ASSERT_EQ(exec.compare(0, sizeof kInstalledBin - 1, kInstalledBin), 0) << name << ": " << exec;
      std::string program = exec.substr(sizeof kInstalledBin - 1);
      program = program.substr(0, program.find(' '));
      root.write(std::string(kInstalledBin) + program, "#!/bin/sh\n");
      ASSERT_EQ(chmod((bin + program).c_str(), 0755), 0);
    }
    for (size_t at = 0; (at = text.find(kInstalledBin, at)) != std::string::npos;
         at += bin.size()) {
      text.replace(at, sizeof kInstalledBin - 1, bin);
    }
    root.write("/units/" + name, text);
    argv.push_back(root.under("/units/" + name));
  }
  std::string out;
  EXPECT_EQ(RunTool(root, argv, out), 0) << out;
  EXPECT_EQ(out, "") << "systemd-analyze verify warned";
}

TEST(UnitsTest, DaemonsRestartAfterAFailureButNotAfterAStop) {
  for (const std::string& name : UnitNames()) {
    std::string text = FileText(SourcePath("deploy/" + name));
    EXPECT_EQ(Values(text, "Restart"), std::vector<std::string>{"on-failure"}) << name;
    EXPECT_EQ(Values(text, "RestartPreventExitStatus"), std::vector<std::string>{"100"}) << name;
  }
}

TEST(UnitsTest, DaemonsRunAsTheAccountThatSysusersMakesAndTmpfilesGivesTheDirectories) {
  std::string users = FileText(SourcePath("deploy/qd-sysusers.conf"));
  std::string tmpfiles = FileText(SourcePath("deploy/qd-tmpfiles.conf"));
  std::string example = FileText(SourcePath("deploy/gdda.conf.example"));
  ASSERT_NE(users.find("\nu qd "), std::string::npos) << users;
  EXPECT_NE(tmpfiles.find(" qd qd "), std::string::npos);
  EXPECT_NE(example.find("\nSERVICE_USER = qd\n"), std::string::npos);
  for (const char* name : {"qdAnalyze.service", "qdNotify.service", "qdGrpNot.service"}) {
    std::string text = FileText(SourcePath(std::string("deploy/") + name));
    EXPECT_EQ(Values(text, "User"), std::vector<std::string>{"qd"}) << name;
    EXPECT_EQ(Values(text, "Group"), std::vector<std::string>{"qd"}) << name;
    EXPECT_EQ(Values(text, "StandardError"), std::vector<std::string>{"journal"}) << name;
  }

  std::string tool = FindTool("systemd-sysusers");
  if (tool.empty()) GTEST_SKIP() << "systemd-sysusers not found: the account file is not tried";
  TempRoot root;
  root.write("/etc/passwd", "root:x:0:0:root:/root:/bin/sh\n");
  root.write("/etc/group", "root:x:0:\n");
  root.write("/usr/lib/sysusers.d/qd.conf", users);
  std::string out;
  EXPECT_EQ(RunTool(root, {tool, "--dry-run", "--root=" + root.path()}, out), 0) << out;
  EXPECT_NE(out.find("Creating user 'qd'"), std::string::npos) << out;
}

}  // namespace
