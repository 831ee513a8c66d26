// The collector's systemd unit as systemd itself reads it: an instance per
// array, verified in a private root holding the unit, the program and the
// operator's file of that array. Skipped where systemd-analyze is absent.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_root.h"
#include "test_files.h"

namespace {

const char* const kAnalyze = "/usr/bin/systemd-analyze";

TEST(EvtmonUnit, SystemdAcceptsAnInstancePerArrayWithoutAWord) {
  if (access(kAnalyze, X_OK) != 0) GTEST_SKIP() << "no systemd-analyze";
  TempRoot root;
  const std::string deploy = SourcePath("deploy");
  root.write("/etc/systemd/system/evtmon@.service", FileText(deploy + "/evtmon@.service"));
  root.write("/usr/local/qd/bin/evtmon", "#!/bin/sh\n");
  chmod(root.under("/usr/local/qd/bin/evtmon").c_str(), 0755);
  // The targets every service is ordered against.
  for (const char* target : {"sysinit.target", "basic.target", "shutdown.target", "multi-user.target",
                             "network-online.target", "network.target", "paths.target", "slices.target",
                             "sockets.target", "timers.target", "local-fs.target", "swap.target"}) {
    root.write(std::string("/usr/lib/systemd/system/") + target, FileText(std::string("/lib/systemd/system/") + target));
  }
  for (const char* array : {"1400123", "1400777"}) {
    root.write(std::string("/etc/qd/evtmon/") + array + ".conf",
               FileText(deploy + "/evtmon/example.conf"));
    ChildSpec cmd;
    cmd.argv = {kAnalyze, "verify", "--root=" + root.path(), std::string("evtmon@") + array + ".service"};
    cmd.stdoutPath = root.under("/verify.out");
    cmd.stderrPath = "=stdout";
    int status = 0;
    char err[256] = "";
    ASSERT_EQ(QdRunChild(cmd, 60, &status, err, sizeof err), CHILD_OK) << err;
    const std::string said = root.read("/verify.out");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_EQ(said, "") << array;
  }
}

}  // namespace
