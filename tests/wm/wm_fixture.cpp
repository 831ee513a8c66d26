#include "wm_fixture.h"

#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

void WriteConnInfo(const TempRoot& root, const std::string& conninfo) {
  root.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\nSP_ID = SP0042\nWM_CONNINFO = " +
                                      conninfo + "\n");
}

void WmTest::SetUp() {
  QD_REQUIRE_DB();
  ASSERT_FALSE(db_.name().empty()) << db_.error();
  WriteConnInfo(root_, db_.conninfo());
}

PrivateCluster::PrivateCluster() {
  char pattern[] = "/tmp/qd-wmpg.XXXXXX";
  if (!mkdtemp(pattern)) return;
  dir_ = pattern;
  ok_ = Run("start");
}

PrivateCluster::~PrivateCluster() {
  if (dir_.empty()) return;
  Run("stop");
  RemoveTree(dir_);
  remove((dir_ + ".log").c_str());
}

std::string PrivateCluster::conninfo() const {
  return "host=" + dir_ + " port=5432 user=qd dbname=wmtest";
}

bool PrivateCluster::Run(const std::string& action) {
  std::string cmd = std::string(QD_WM_TEST_DIR) + "/pg_private.sh " + action + " " + dir_ +
                    " >>" + dir_ + ".log 2>&1";
  return system(cmd.c_str()) == 0;
}

int SendText(CWorkMessages& wm, const char* from, const char* to, const char* msgname,
             const std::string& data, int* id) {
  Message_Queue_ env = {};
  env.nTargetUID = wm.GetUID(to);
  env.nDepDataLength = static_cast<int32_t>(data.size());
  env.pDepData = const_cast<char*>(data.data());
  int rc = wm.Send(wm.GetUID(from), msgname, &env, false);
  if (id) *id = env.nMessageID;
  return rc;
}

int ReceiveText(CWorkMessages& wm, const char* name, int wait, std::string& data,
                Message_Queue_* env, bool retrycycle, int* state) {
  static char buf[8192];
  Message_Queue_ local = {};
  Message_Queue_* e = env ? env : &local;
  if (!e->pDepData) {
    e->pDepData = buf;
    e->nDepDataLength = sizeof buf;
  }
  int rc = wm.Receive(wm.GetUID(name), wait, e, retrycycle, state);
  data = rc == 0 ? std::string(static_cast<char*>(e->pDepData), e->nDepDataLength) : std::string();
  return rc;
}

pid_t Spawn(const std::function<int()>& body) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int Reap(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Channel::Channel() {
  if (pipe(fd_) != 0) fd_[0] = fd_[1] = -1;
}

Channel::~Channel() {
  close(fd_[0]);
  close(fd_[1]);
}

void Channel::Put(const std::string& line) {
  std::string text = line + "\n";
  if (write(fd_[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(99);
}

std::string Channel::Get(double seconds) {
  double deadline = MonotonicSeconds() + seconds;
  for (;;) {
    size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    double left = deadline - MonotonicSeconds();
    if (left <= 0) return "";
    struct pollfd pfd = {fd_[0], POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
    char buf[256];
    ssize_t n = read(fd_[0], buf, sizeof buf);
    if (n <= 0) return "";
    pending_.append(buf, static_cast<size_t>(n));
  }
}

double MonotonicSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}
