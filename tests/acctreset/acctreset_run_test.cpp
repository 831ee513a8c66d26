// acctreset against a private QD_ROOT: its shadow and web password files, the
// SP marker, the password-file lock and a listener on the system-log socket.
// The faults (a full file system, a read-only directory) are real tmpfs
// mounts below the root, so these tests need root, as the tool does.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "default_tables.h"
#include "qd_path.h"
#include "temp_root.h"

namespace {

constexpr gid_t kShadowGroup = 42;
constexpr uid_t kNobody = 65534;
const char* const kShadow = "/etc/shadow";
const char* const kWeb = "/etc/httpd/conf/.htpasswd";

struct RunResult {
  int status = -1;  // exit status, -1 when the program did not exit
  std::string err;  // its standard error
};

// A tmpfs mounted below the root for one test, unmounted when it ends.
class TestMount {
 public:
  ~TestMount() {
    if (!dir_.empty()) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool Mount(const std::string& dir, const char* options) {
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, options) != 0) return false;
    dir_ = dir;
    return true;
  }
  bool Bind(const std::string& from, const std::string& onto) {
    if (mount(from.c_str(), onto.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    dir_ = onto;
    return true;
  }
  bool ReadOnly() {
    return mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string dir_;
};

class AcctResetRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      if (Strict()) FAIL() << "acctreset runs as root only";
      GTEST_SKIP() << "acctreset runs as root only";
    }
    InitDefaultTables(t_);
    ASSERT_EQ(UnscrambleShadowTable(t_.Uroot, "root"), 0);
    ASSERT_EQ(UnscrambleServiceTables(t_), 0);
    root_.write("/sp/prdall", "");
    QdMakeDirs(root_.under("/dev"));
    QdMakeDirs(root_.under("/etc/httpd/conf"));
    ListenOnLog();
  }

  // scripts/test asks for every test to run: a missing privilege fails.
  static bool Strict() {
    const char* strict = std::getenv("QD_TEST_STRICT");
    return strict != nullptr && std::string(strict) == "1";
  }

  void TearDown() override {
    if (logFd_ >= 0) close(logFd_);
  }

  void ListenOnLog() {
    std::string path = root_.under("/dev/log");
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    logFd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_GE(logFd_, 0);
    ASSERT_EQ(bind(logFd_, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr), 0)
        << std::strerror(errno);
  }

  // The messages the log socket has received, without their time stamps:
  // "<PRI>acctreset[PID]: TEXT" with the process id replaced by "PID".
  std::vector<std::string> Logged() {
    std::vector<std::string> lines;
    char buf[2048];
    ssize_t n;
    while ((n = recv(logFd_, buf, sizeof buf, 0)) > 0) {
      std::string line(buf, static_cast<size_t>(n));
      size_t pri = line.find('>');
      size_t name = line.find(" acctreset[");
      size_t end = line.find("]: ", name);
      if (pri == std::string::npos || name == std::string::npos || end == std::string::npos) {
        lines.push_back("unparsed: " + line);
        continue;
      }
      lines.push_back(line.substr(0, pri + 1) + "acctreset[PID]: " + line.substr(end + 3));
      EXPECT_EQ(line.substr(name + 11, end - name - 11), std::to_string(lastPid_));
    }
    return lines;
  }

  // A tmpfs could not be mounted (errno says why): the test cannot make its
  // fault, so it is skipped, or fails under QD_TEST_STRICT.
  void NoMount() {
    std::string why = std::string("tmpfs mount: ") + std::strerror(errno);
    if (Strict() || errno != EPERM) {
      ADD_FAILURE() << why;
    } else {
      GTEST_SKIP() << why;
    }
  }

  // Writes a password file with owner root, group shadow and `mode`.
  void WriteFile(const char* rel, const std::string& text, mode_t mode = 0640) {
    root_.write(rel, text);
    ASSERT_EQ(chown(root_.under(rel).c_str(), 0, kShadowGroup), 0);
    ASSERT_EQ(chmod(root_.under(rel).c_str(), mode), 0);
  }

  // Runs acctreset with `args`; `inChild` runs in the child before exec.
  RunResult Run(const std::vector<std::string>& args,
                const std::function<void()>& inChild = nullptr) {
    std::string program = std::string(std::getenv("QD_BUILD_DIR") ? std::getenv("QD_BUILD_DIR")
                                                                   : "build") +
                          "/bin/acctreset";
    std::string errPath = root_.under("/acctreset.stderr");
    pid_t pid = fork();
    if (pid == 0) {
      int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 2) < 0) _exit(126);
      if (inChild) inChild();
      std::vector<char*> argv = {const_cast<char*>("acctreset")};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    lastPid_ = pid;
    RunResult result;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.err = root_.read("/acctreset.stderr");
    return result;
  }

  // Names in the directory `rel` other than `keep`.
  std::vector<std::string> Others(const char* rel, const std::vector<std::string>& keep) {
    std::vector<std::string> names;
    DIR* dir = opendir(root_.under(rel).c_str());
    if (dir == nullptr) return names;
    while (struct dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      bool kept = false;
      for (const std::string& k : keep) kept = kept || k == name;
      if (!kept) names.push_back(name);
    }
    closedir(dir);
    return names;
  }

  std::string Hash(const PWS* table, int i) const { return table[i].buf; }
  static std::string WebLine(const PWS* table, int i) {
    std::string s = table[i].buf;
    return s.substr(0, s.size() - 1);
  }

  TempRoot root_;
  TestMount mount_;  // after root_: unmounted before the root is removed
  DefaultTables t_;
  int logFd_ = -1;
  pid_t lastPid_ = -1;
};

const std::string kOtherShadow =
    "root:$6$rootsalt$rootown:19000:0:99999:7:::\n"
    "daemon:*:19000:0:99999:7:::\n";

TEST_F(AcctResetRun, RefusesWithoutRootOrTheSpMarker) {
  WriteFile(kShadow, kOtherShadow);
  RunResult asNobody = Run({}, [] {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(125);
  });
  EXPECT_EQ(asNobody.status, 12);
  EXPECT_EQ(asNobody.err, "This code must be run by root on an SP.\n");

  ASSERT_EQ(unlink(root_.under("/sp/prdall").c_str()), 0);
  for (const char* option : {"", "-r"}) {
    RunResult offSp = Run(*option ? std::vector<std::string>{option} : std::vector<std::string>{});
    EXPECT_EQ(offSp.status, 12) << option;
    EXPECT_EQ(offSp.err, "This code must be run by root on an SP.\n");
  }
  EXPECT_EQ(root_.read(kShadow), kOtherShadow);
  EXPECT_TRUE(Logged().empty());
}

TEST_F(AcctResetRun, ArgumentErrorsChangeNothing) {
  WriteFile(kShadow, kOtherShadow);
  const std::string abort = "Aborting due to argument errors.\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-x"}, "Unknown option '-x'.\n"},
      {{"-r", "-q"}, "Unknown option '-q'.\n"},
      {{"--nope"}, "Unknown option '--nope'.\n"},
      {{"--do-root=yes"}, "Unknown option '--do-root=yes'.\n"},
      {{"root"}, "Unexpected operand 'root'.\n"},
  };
  for (const auto& c : cases) {
    RunResult r = Run(c.first);
    EXPECT_EQ(r.status, 1) << c.first[0];
    EXPECT_EQ(r.err, c.second + abort);
  }
  EXPECT_EQ(root_.read(kShadow), kOtherShadow);
  EXPECT_TRUE(Logged().empty());
}

TEST_F(AcctResetRun, ServiceAccountsGoBackToTheirDefaults) {
  const std::string longLine = "longuser:$6$x$" + std::string(2000, 'L') + ":1::::::\n";
  const std::string shadowIn = kOtherShadow +
                               "spdood:" + Hash(t_.Uspdood, 1) + ":19000:0:99999:7:::\n" +
                               "spvar:$6$local$chosenbyoperator:19001:0:99999:7:::\n" + longLine +
                               "zarvekcust:!:19002:0:99999:7:::\n"
                               "qdapp:$6$q$apphash:19003::::::\n"
                               "last:*:19004::::::";  // no line feed
  const std::string shadowOut = kOtherShadow +
                                "spdood:" + Hash(t_.Uspdood, 0) + ":19000:0:99999:7:::\n" +
                                "spvar:$6$local$chosenbyoperator:19001:0:99999:7:::\n" + longLine +
                                "zarvekcust:" + Hash(t_.Uzarvekcust, 0) + ":19002:0:99999:7:::\n"
                                "qdapp:!!:19003::::::\n"
                                "last:*:19004::::::";
  const std::string webLong = "spvar:" + std::string(2000, 'w');
  const std::string webIn = "admin:$apr1$a$b\n" + WebLine(t_.Uspdood_ht, 1) + "\n" + webLong +
                            "\nsetupusr:!\nviewer:$6$v$v";
  const std::string webOut = "admin:$apr1$a$b\n" + WebLine(t_.Uspdood_ht, 0) + "\n" + webLong +
                             "\n" + WebLine(t_.Usetupusr_ht, 0) + "\nviewer:$6$v$v";
  WriteFile(kShadow, shadowIn, 0640);
  WriteFile(kWeb, webIn, 0600);

  RunResult r = Run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(root_.read(kShadow), shadowOut);
  EXPECT_EQ(root_.read(kWeb), webOut);
  EXPECT_EQ(Logged(), (std::vector<std::string>{
                          "<85>acctreset[PID]: Set default password for spdood",
                          "<85>acctreset[PID]: Retained locally set password for spvar",
                          "<85>acctreset[PID]: Set default password for zarvekcust",
                          "<85>acctreset[PID]: Set default http password for spdood",
                          "<85>acctreset[PID]: Retained locally set http password for spvar",
                          "<85>acctreset[PID]: Set default http password for setupusr",
                      }));
  struct stat st;
  ASSERT_EQ(stat(root_.under(kShadow).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, kShadowGroup);
  ASSERT_EQ(stat(root_.under(kWeb).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_gid, kShadowGroup);
  EXPECT_EQ(Others("/etc", {"shadow", ".pwd.lock", "qd", "httpd"}), std::vector<std::string>{});
  EXPECT_EQ(Others("/etc/httpd/conf", {".htpasswd"}), std::vector<std::string>{});

  // A second run finds everything on its defaults or locally set.
  r = Run({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(root_.read(kShadow), shadowOut);
  EXPECT_EQ(root_.read(kWeb), webOut);
}

TEST_F(AcctResetRun, RootOptionSetsOnlyRoot) {
  const std::string rest = "spdood:!:1::::::\nqdapp:$6$q$q:1::::::\n";
  for (const char* option : {"-r", "--do-root"}) {
    WriteFile(kShadow, kOtherShadow + rest);
    WriteFile(kWeb, "spdood:!\n");
    RunResult r = Run({option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(root_.read(kShadow), "root:" + Hash(t_.Uroot, 0) +
                                       ":19000:0:99999:7:::\ndaemon:*:19000:0:99999:7:::\n" + rest);
    EXPECT_EQ(root_.read(kWeb), "spdood:!\n");
    EXPECT_EQ(Logged(), std::vector<std::string>{"<85>acctreset[PID]: root password set"});
  }
  // Without a root line there is nothing to set: that is a failure.
  WriteFile(kShadow, rest);
  RunResult r = Run({"-r"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "No entry for root in perm file\n");
  EXPECT_EQ(Logged(), std::vector<std::string>{"<83>acctreset[PID]: Failed to set password for root"});
}

TEST_F(AcctResetRun, MissingFilesAndAHeldLockAreErrors) {
  RunResult r = Run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to open perm file: No such file or directory\n");

  // The shadow file done, the web password file missing.
  const std::string in = "spdood:!:1::::::\n";
  WriteFile(kShadow, in);
  r = Run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to open permHT file: No such file or directory\n");
  EXPECT_EQ(root_.read(kShadow), "spdood:" + Hash(t_.Uspdood, 0) + ":1::::::\n");
  EXPECT_EQ(Logged(), std::vector<std::string>{"<85>acctreset[PID]: Set default password for spdood"});

  // Another password tool holds the lock: acctreset gives up without
  // touching the file.
  WriteFile(kShadow, in);
  int fd = open(root_.under("/etc/.pwd.lock").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(fd, F_SETLK, &fl), 0);
  r = Run({}, [] { setenv("QD_TIME_SCALE", "0.01", 1); });
  close(fd);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to lock perm file\n");
  EXPECT_EQ(root_.read(kShadow), in);
}

TEST_F(AcctResetRun, FullFileSystemLeavesTheShadowFileAlone) {
  if (!mount_.Mount(root_.under("/etc"), "size=64k,mode=0755")) return NoMount();
  const std::string in = kOtherShadow + "spdood:!:1::::::\n" + std::string(3000, '#') + "\n";
  WriteFile(kShadow, in);
  root_.write("/etc/.pwd.lock", "");
  // Fill what is left.
  int fd = open(root_.under("/etc/filler").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  std::string block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  EXPECT_EQ(errno, ENOSPC);
  close(fd);

  RunResult r = Run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to write temp file: No space left on device\n");
  EXPECT_EQ(root_.read(kShadow), in);
  EXPECT_EQ(Others("/etc", {"shadow", ".pwd.lock", "filler"}), std::vector<std::string>{});
  EXPECT_TRUE(Logged().empty());
}

TEST_F(AcctResetRun, ReadOnlyDirectoriesLeaveTheFilesAlone) {
  // The web password file's directory read-only: the shadow file is done,
  // the web password file stays as it was.
  const std::string shadowIn = "spdood:!:1::::::\n";
  const std::string webIn = "spdood:!\nother:x\n";
  WriteFile(kShadow, shadowIn);
  if (!mount_.Mount(root_.under("/etc/httpd/conf"), "size=64k,mode=0755")) return NoMount();
  WriteFile(kWeb, webIn);
  ASSERT_TRUE(mount_.ReadOnly()) << std::strerror(errno);

  RunResult r = Run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to open tempHT file: Read-only file system\n");
  EXPECT_EQ(root_.read(kShadow), "spdood:" + Hash(t_.Uspdood, 0) + ":1::::::\n");
  EXPECT_EQ(root_.read(kWeb), webIn);
  EXPECT_EQ(Others("/etc/httpd/conf", {".htpasswd"}), std::vector<std::string>{});
  EXPECT_EQ(Logged(), std::vector<std::string>{"<85>acctreset[PID]: Set default password for spdood"});
}

TEST_F(AcctResetRun, ReadOnlyShadowDirectoryLeavesTheShadowFileAlone) {
  TestMount etc;
  TestMount lock;  // unmounted first
  if (!etc.Mount(root_.under("/etc"), "size=64k,mode=0755")) return NoMount();
  const std::string in = "root:$6$r$r:1::::::\n";
  WriteFile(kShadow, in);
  root_.write("/etc/.pwd.lock", "");
  ASSERT_TRUE(etc.ReadOnly()) << std::strerror(errno);

  // Not even the lock can be taken.
  RunResult r = Run({"-r"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to lock perm file\n");
  EXPECT_EQ(Logged(), std::vector<std::string>{"<83>acctreset[PID]: Failed to set password for root"});

  // A writable lock file in the read-only directory: locked, but no
  // temporary file can be made beside the shadow file.
  root_.write("/pwd.lock", "");
  ASSERT_TRUE(lock.Bind(root_.under("/pwd.lock"), root_.under("/etc/.pwd.lock")))
      << std::strerror(errno);
  r = Run({"-r"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Failed to open temp file: Read-only file system\n");
  EXPECT_EQ(root_.read(kShadow), in);
  EXPECT_EQ(Others("/etc", {"shadow", ".pwd.lock"}), std::vector<std::string>{});
  EXPECT_EQ(Logged(), std::vector<std::string>{"<83>acctreset[PID]: Failed to set password for root"});
}

}  // namespace
