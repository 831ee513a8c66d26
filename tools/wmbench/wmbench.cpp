// wmbench: measures the work-message service on the database that
// WM_CONNINFO (or the PG* environment) names. Not a test: scripts/bench runs
// it against a private cluster with default durability and compares it
// with pgbench.
//
//   wmbench handoff MESSAGES RECEIVERS
//       one sender (this process) and RECEIVERS receiver processes of
//       "QDAN"/"AIQ"; every message is sent, received and deleted. Prints
//       the hand-off rate over all messages, over the first and the last
//       10,000, and per 10,000.
//   wmbench wakeup SAMPLES
//       one receiver waits in Receive; the sender sends one message at a
//       time at light load. Prints median and 99th percentile of the time
//       from the start of Send to the return of Receive, and from the
//       return of Send to the return of Receive.
//
// Output lines are "key=value", for scripts/bench. The environment variable
// WMBENCH_SIZE sets another data length for the hand-off messages (the
// default is an analysis request record, 1746 bytes).

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "qd_txn.h"
#include "time_scale.h"
#include "work_messages.h"

namespace {

constexpr long kWindow = 10000;
const char kEnd[] = "END";

struct Shared {
  std::atomic<long> done;
  std::atomic<long> failures;
  double start;
  double mark[1024];  // mark[i]: when hand-off i*kWindow completed
  double received_at;  // wakeup: when Receive returned
};

double Now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A realistic payload: an analysis request as the collector sends it.
qd_Transaction_Format_2 Record() {
  qd_Transaction_Format_2 r;
  memset(&r, 0, sizeof r);
  r.hdr.fmt = 2;
  r.hdr.encription = '0';
  r.hdr.compression = '0';
  r.hdr.char_set = 'A';
  r.hdr.hw_architecture = 'L';
  memcpy(r.hdr.TxnId, "FAR", 3);
  TStampOut(time(nullptr), r.hdr.TxnTime, true);
  snprintf(r.hdr.AssocId, sizeof r.hdr.AssocId, "Sec%.8lXuSec%.8lX", 1L, 2L);
  snprintf(r.hdr.sp.vendor, sizeof r.hdr.sp.vendor, "bench");
  snprintf(r.hdr.sp.prod, sizeof r.hdr.sp.prod, "SP");
  snprintf(r.hdr.sp.id, sizeof r.hdr.sp.id, "SP0001");
  snprintf(r.FileType, sizeof r.FileType, "event");
  TStampOut(time(nullptr), r.FileTime, true);
  snprintf(r.FileSeq, sizeof r.FileSeq, "1-234567");
  snprintf(r.FileName, sizeof r.FileName, "/sp/prod/data/files/1234567/event/090305.140709.1-234567");
  snprintf(r.comments, sizeof r.comments, "Analysis Request Message");
  return r;
}

Shared* MapShared() {
  void* p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    perror("wmbench: mmap");
    exit(1);
  }
  return new (p) Shared();
}

int Die(const char* what, const CWorkMessages& wm) {
  fprintf(stderr, "wmbench: %s: %s\n", what, wm.szErrorMsg);
  return 1;
}

// A receiver process: takes messages until it meets an end marker.
int Receiver(Shared* shared, int ready_fd, long total, bool timed_wakeup) {
  CWorkMessages wm(true);
  if (wm.nLastError != 0) return Die("connect", wm);
  int uid = wm.GetUID("QDAN");
  if (uid < 1 || wm.SetInput(uid, "AIQ") != 0) return Die("register", wm);
  if (write(ready_fd, "R", 1) != 1) return 1;
  std::vector<char> buf(8192);
  for (;;) {
    Message_Queue_ env = {};
    env.pDepData = buf.data();
    env.nDepDataLength = static_cast<int32_t>(buf.size());
    int rc = wm.Receive(uid, 30, &env, false);
    if (timed_wakeup && rc == 0) shared->received_at = Now();
    if (rc == WM_NOTHING) continue;
    if (rc != 0) return Die("receive", wm);
    bool end = env.nDepDataLength == sizeof kEnd && memcmp(buf.data(), kEnd, sizeof kEnd) == 0;
    if (wm.Delete(uid, env.nMessageID) != 0) return Die("delete", wm);
    if (end) return 0;
    long n = shared->done.fetch_add(1) + 1;
    if (n % kWindow == 0 && n / kWindow < 1024) shared->mark[n / kWindow] = Now();
    if (timed_wakeup && write(ready_fd, "D", 1) != 1) return 1;
    (void)total;
  }
}

pid_t StartReceiver(Shared* shared, int ready_fd, long total, bool timed) {
  pid_t pid = fork();
  if (pid == 0) _exit(Receiver(shared, ready_fd, total, timed));
  return pid;
}

// Starts `count` receivers and waits until each has registered; their pids
// go to `pids`. Returns the end of the pipe they write their words to (a
// timed receiver one per message), or -1 when the pipe or a word failed.
int StartReceivers(Shared* shared, int count, long total, bool timed, std::vector<pid_t>& pids) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  for (int i = 0; i < count; ++i) pids.push_back(StartReceiver(shared, fds[1], total, timed));
  for (int i = 0; i < count; ++i) {
    char c;
    if (read(fds[0], &c, 1) != 1) return -1;
  }
  return fds[0];
}

bool WaitChildren(const std::vector<pid_t>& pids) {
  bool ok = true;
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

int Send(CWorkMessages& wm, int from, int to, const void* data, long length) {
  Message_Queue_ env = {};
  env.nTargetUID = to;
  env.nDepDataLength = static_cast<int32_t>(length);
  env.pDepData = const_cast<void*>(data);
  int rc = wm.Send(from, "AIQ", &env, false);
  return rc == 0 || rc == WM_QUEUED ? 0 : -1;
}

int Handoff(long total, int receivers) {
  Shared* shared = MapShared();
  std::vector<pid_t> pids;
  if (StartReceivers(shared, receivers, total, false, pids) < 0) return 1;
  CWorkMessages wm(true);
  if (wm.nLastError != 0) return Die("connect", wm);
  int from = wm.GetUID("SPEC"), to = wm.GetUID("QDAN");
  qd_Transaction_Format_2 record = Record();
  shared->start = Now();
  shared->mark[0] = shared->start;
  long size = getenv("WMBENCH_SIZE") ? atol(getenv("WMBENCH_SIZE")) : sizeof record;
  for (long i = 0; i < total; ++i) {
    if (Send(wm, from, to, &record, size) != 0) return Die("send", wm);
  }
  double sent = Now();
  for (int i = 0; i < receivers; ++i) {
    if (Send(wm, from, to, kEnd, sizeof kEnd) != 0) return Die("send", wm);
  }
  if (!WaitChildren(pids)) {
    fprintf(stderr, "wmbench: a receiver failed\n");
    return 1;
  }
  double end = shared->mark[total / kWindow];
  long windows = total / kWindow;
  printf("messages=%ld\nreceivers=%d\n", total, receivers);
  printf("send_rate=%.1f\n", total / (sent - shared->start));
  printf("handoff_rate=%.1f\n", total / (end - shared->start));
  printf("first_window_rate=%.1f\n", kWindow / (shared->mark[1] - shared->mark[0]));
  printf("last_window_rate=%.1f\n", kWindow / (shared->mark[windows] - shared->mark[windows - 1]));
  for (long w = 1; w <= windows; ++w) {
    printf("window_%ld_rate=%.1f\n", w, kWindow / (shared->mark[w] - shared->mark[w - 1]));
  }
  return 0;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

int Wakeup(long samples) {
  Shared* shared = MapShared();
  std::vector<pid_t> pids;
  int words = StartReceivers(shared, 1, samples, true, pids);
  if (words < 0) return 1;
  CWorkMessages wm(true);
  if (wm.nLastError != 0) return Die("connect", wm);
  int from = wm.GetUID("SPEC"), to = wm.GetUID("QDAN");
  qd_Transaction_Format_2 record = Record();
  std::vector<double> from_start, from_stored;
  for (long i = 0; i < samples; ++i) {
    // Light load: the receiver is back in its wait well before the next
    // message.
    QdSleep(0.01);
    double before = Now();
    if (Send(wm, from, to, &record, sizeof record) != 0) return Die("send", wm);
    double after = Now();
    char c;
    if (read(words, &c, 1) != 1) return 1;
    from_start.push_back((shared->received_at - before) * 1000);
    from_stored.push_back(std::max(0.0, shared->received_at - after) * 1000);
  }
  if (Send(wm, from, to, kEnd, sizeof kEnd) != 0) return Die("send", wm);
  if (!WaitChildren(pids)) return 1;
  printf("samples=%ld\n", samples);
  printf("wakeup_median_ms=%.3f\nwakeup_p99_ms=%.3f\n", Percentile(from_start, 0.5),
         Percentile(from_start, 0.99));
  printf("wakeup_after_send_median_ms=%.3f\nwakeup_after_send_p99_ms=%.3f\n",
         Percentile(from_stored, 0.5), Percentile(from_stored, 0.99));
  return 0;
}

int Usage() {
  fprintf(stderr, "usage: wmbench handoff MESSAGES RECEIVERS | wmbench wakeup SAMPLES\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "handoff") == 0) {
    long total = atol(argv[2]);
    int receivers = atoi(argv[3]);
    if (total < kWindow || total % kWindow != 0 || total / kWindow >= 1024 || receivers < 1 ||
        receivers > 8) {
      fprintf(stderr, "wmbench: MESSAGES must be a multiple of %ld, RECEIVERS 1..8\n", kWindow);
      return 2;
    }
    return Handoff(total, receivers);
  }
  if (argc == 3 && strcmp(argv[1], "wakeup") == 0) {
    long samples = atol(argv[2]);
    if (samples < 10) return Usage();
    return Wakeup(samples);
  }
  return Usage();
}
