#include "service_user.h"

#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "temp_root.h"

namespace {

const char* const kConf = "/etc/qd/gdda.conf";

// Runs `body` in a child so that a switch never touches the test process;
// returns the child's exit status.
int InChild(int (*body)()) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

int SwitchAndCheck() {
  char err[1024];
  if (QDSetUser(err, sizeof err) != 0) return 1;
  struct passwd* nobody = getpwnam("nobody");
  if (getuid() != nobody->pw_uid || geteuid() != nobody->pw_uid) return 2;
  if (getgid() != nobody->pw_gid || getegid() != nobody->pw_gid) return 3;
  gid_t groups[256];
  int n = getgroups(256, groups);
  for (int i = 0; i < n; ++i) {
    if (groups[i] == 0) return 4;  // root's groups must be gone
  }
  if (setuid(0) == 0) return 5;
  return QDSetUser(err, sizeof err) == 0 ? 0 : 6;  // already that user: no-op
}

}  // namespace

TEST(ServiceUser, RootSwitchesToTheConfiguredUser) {
  if (geteuid() != 0 || !getpwnam("nobody")) GTEST_SKIP() << "needs root and user nobody";
  TempRoot root;
  root.write(kConf, "[Global]\nSERVICE_USER = nobody\n");
  EXPECT_EQ(InChild(SwitchAndCheck), 0);
}

TEST(ServiceUser, AbsentKeyIsNoOpAndUnknownUserFailsWithoutChange) {
  TempRoot root;
  char err[1024] = "stale";
  EXPECT_EQ(QDSetUser(err, sizeof err), 0);
  EXPECT_STREQ(err, "");
  uid_t before = geteuid();

  root.write(kConf, "[Global]\nSERVICE_USER = no_such_user_qd\n");
  if (before == 0) {
    EXPECT_EQ(QDSetUser(err, sizeof err), 1);
    EXPECT_NE(std::strstr(err, "no_such_user_qd"), nullptr) << err;
    // A short buffer gets a cut, terminated text and nothing beyond it.
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(QDSetUser(small, 8), 1);
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_EQ(small[8], 'x');
  } else {
    EXPECT_EQ(QDSetUser(err, sizeof err), 0);  // not root: nothing to do
  }
  EXPECT_EQ(geteuid(), before);

  root.write(kConf, "[Global\n");
  EXPECT_EQ(QDSetUser(err, sizeof err), before == 0 ? 1 : 0);
}
