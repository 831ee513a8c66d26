#pragma once
// Signal handling of the daemons. Two kinds of signals:
//  - watched signals (SetupSignals): their arrival is only recorded, in a
//    flag per signal that the handler sets with one lock-free atomic store
//    (async-signal-safe); the work loop asks CheckForSignal at its own
//    pace. They are installed without SA_RESTART, so a signal that arrives
//    while the process blocks in a wait (read, poll, sleep, a database
//    call) cuts that wait short and the loop notices it promptly.
//  - trapped signals (TrapSignals): a handler of the caller's runs, for the
//    fatal signals whose clean-up cannot wait for the loop. Such a handler
//    typically calls ResetTrapSignal and raises the signal again, so the
//    process still ends by it (core dump included).
//
// Both calls take a signal set that collects every signal the process has
// claimed, so one set can be handed from SetupSignals to TrapSignals and
// later used to block them all; it may be null.
//
// The argument lists are typed: signals are ints, handlers void(int), and
// the list ends at -1 as daemons write it:
//   SetupSignals(&set, true, SIGTERM, SIGINT, SIGHUP, -1);
//   TrapSignals(&set, SIGSEGV, TrapAbend, SIGABRT, TrapAbend, -1);

#include <csignal>
#include <cstddef>
#include <type_traits>
#include <vector>

using QdSignalHandler = void (*)(int);

// Watches `count` signals of `signals` (or up to the first -1): installs the
// recording handler, clears each signal's flag and adds it to `set`
// (emptied first when `fresh`). Returns true on success; false when a
// number is not a signal that can be caught (0, negative, SIGKILL,
// SIGSTOP, beyond the last), nothing then installed, or when the system
// refuses one (the ones before it stay installed). Logs nothing.
bool SetupSignalList(sigset_t* set, bool fresh, const int* signals, std::size_t count);

template <typename... Rest>
bool SetupSignals(sigset_t* set, bool fresh, int signal, Rest... rest) {
  static_assert((std::is_same_v<Rest, int> && ...), "SetupSignals takes signal numbers ending in -1");
  const int list[] = {signal, rest...};
  return SetupSignalList(set, fresh, list, sizeof list / sizeof list[0]);
}

// True when `signal` is watched and arrived since its flag was last
// cleared; `reset` clears the flag in the same atomic step, so a signal
// arriving right then is never lost. An unwatched signal answers false.
bool CheckForSignal(int signal, bool reset);

// CheckForSignal, and also true while `signal` is pending because the
// process blocks it (a caller may block its watched signals around a
// critical section); with `reset` such a pending signal is consumed too.
bool KCheckForSignal(int signal, bool reset);

// Installs `handlers[i]` for `signals[i]`, i < `count` (or up to the first
// signal -1), adding each to `set`. Returns nullptr on success, else an
// error text naming the signal (kept in a static buffer until the next
// call); a bad list installs nothing. Logs nothing.
const char* TrapSignalList(sigset_t* set, const int* signals, const QdSignalHandler* handlers,
                           std::size_t count);

namespace qd_signals_detail {
struct TrapList {
  std::vector<int> signals;
  std::vector<QdSignalHandler> handlers;
  bool malformed = false;
};
inline void Collect(TrapList&) {}
inline void Collect(TrapList& list, int last) {
  if (last != -1) list.malformed = true;
}
template <typename... Rest>
void Collect(TrapList& list, int signal, QdSignalHandler handler, Rest... rest) {
  if (signal == -1) return;
  list.signals.push_back(signal);
  list.handlers.push_back(handler);
  Collect(list, rest...);
}
}  // namespace qd_signals_detail

// TrapSignals(set, signal, handler, signal, handler, ..., -1): as
// TrapSignalList. A list that does not end in -1 returns an error text.
template <typename... Rest>
const char* TrapSignals(sigset_t* set, int signal, QdSignalHandler handler, Rest... rest) {
  qd_signals_detail::TrapList list;
  qd_signals_detail::Collect(list, signal, handler, rest...);
  if (list.malformed) return "TrapSignals: signal list does not end in -1";
  return TrapSignalList(set, list.signals.data(), list.handlers.data(), list.signals.size());
}

// Restores the default action of `signal` (watched or trapped); safe to
// call inside a signal handler. Returns 0, or -1 for a number that is not a
// signal.
int ResetTrapSignal(int signal);
