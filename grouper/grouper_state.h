#pragma once
// The grouper's own process-wide state, beside the framework's DaemonState
// (DaemonState::app points at it). One per process, owned by main.

// Default and fallback of the sleep interval (option -s), in seconds.
constexpr long kGrouperSleepDefault = 120;
constexpr long kGrouperSleepBelowOne = 60;

struct GrouperState {
  // Seconds between two grouping passes (option -s).
  long sleep_interval = kGrouperSleepDefault;
};

// Indexes of DaemonState::resolved: the processes start-up resolves.
enum GrouperResolved : int {
  kResolvedNotifier = 0,  // "QDNOT", the receiver of the summaries
  kResolvedFileDb = 1,    // "QDDB"
};
