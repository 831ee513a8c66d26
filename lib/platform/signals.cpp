#include "signals.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "err_text.h"

namespace {

static_assert(ATOMIC_INT_LOCK_FREE == 2 && ATOMIC_BOOL_LOCK_FREE == 2,
              "signal flags need lock-free atomics");

std::atomic<int> g_arrived[NSIG];
std::atomic<bool> g_watched[NSIG];
char g_trap_error[kErrTextSize];

void RecordSignal(int signal) {
  if (signal > 0 && signal < NSIG) g_arrived[signal].store(1);
}

bool Catchable(int signal) {
  return signal > 0 && signal < NSIG && signal != SIGKILL && signal != SIGSTOP;
}

size_t ListLength(const int* signals, size_t count) {
  size_t n = 0;
  while (n < count && signals[n] != -1) ++n;
  return n;
}

int Install(int signal, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: blocking calls return EINTR
  return sigaction(signal, &action, nullptr);
}

}  // namespace

bool SetupSignalList(sigset_t* set, bool fresh, const int* signals, std::size_t count) {
  if (!signals) return false;
  size_t n = ListLength(signals, count);
  for (size_t i = 0; i < n; ++i) {
    if (!Catchable(signals[i])) return false;
  }
  if (set && fresh) sigemptyset(set);
  for (size_t i = 0; i < n; ++i) {
    int sig = signals[i];
    g_arrived[sig].store(0);
    g_watched[sig].store(true);
    if (Install(sig, RecordSignal) != 0) {
      g_watched[sig].store(false);
      return false;
    }
    if (set) sigaddset(set, sig);
  }
  return true;
}

bool CheckForSignal(int signal, bool reset) {
  if (signal <= 0 || signal >= NSIG || !g_watched[signal].load()) return false;
  return (reset ? g_arrived[signal].exchange(0) : g_arrived[signal].load()) != 0;
}

bool KCheckForSignal(int signal, bool reset) {
  bool arrived = CheckForSignal(signal, reset);
  if (signal <= 0 || signal >= NSIG || !g_watched[signal].load()) return arrived;
  sigset_t pending;
  if (sigpending(&pending) != 0 || sigismember(&pending, signal) != 1) return arrived;
  if (reset) {
    // Pending means blocked, so taking it synchronously cannot race with
    // the handler.
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    struct timespec now = {0, 0};
    sigtimedwait(&one, nullptr, &now);
  }
  return true;
}

const char* TrapSignalList(sigset_t* set, const int* signals, const QdSignalHandler* handlers,
                           std::size_t count) {
  if (!signals || !handlers) return "TrapSignals: no signal list";
  size_t n = ListLength(signals, count);
  for (size_t i = 0; i < n; ++i) {
    if (!Catchable(signals[i])) {
      SetErrText(g_trap_error, "cannot trap signal %d: not a signal that can be caught",
                 signals[i]);
      return g_trap_error;
    }
    if (!handlers[i]) {
      SetErrText(g_trap_error, "cannot trap signal %d: no handler given", signals[i]);
      return g_trap_error;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    g_watched[signals[i]].store(false);
    if (Install(signals[i], handlers[i]) != 0) {
      SetErrText(g_trap_error, "cannot trap signal %d: %s", signals[i], std::strerror(errno));
      return g_trap_error;
    }
    if (set) sigaddset(set, signals[i]);
  }
  return nullptr;
}

int ResetTrapSignal(int signal) {
  if (signal <= 0 || signal >= NSIG) return -1;
  g_watched[signal].store(false);
  return Install(signal, SIG_DFL) == 0 ? 0 : -1;
}
