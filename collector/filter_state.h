#pragma once
// What the filter rules, the collections and the dump fetches keep for the
// life of the worker (one member of EvtmonState).
#include <ctime>
#include <string>
#include <vector>

#include "child_table.h"
#include "filter_rules.h"

// An event whose analysis and transfer requests wait for its collection
// child to end, so the analyzer reads the file with the output attached.
struct DeferredRequest {
  pid_t pid = 0;
  std::string filetype;
  std::string pathname;
  std::string seq;
  time_t filetime = 0;
  time_t deadline = 0;  // sent anyway after this (monotonic seconds)
};

struct FilterState {
  FilterTable rules;
  bool rules_read = false;
  ProcTable procs;
  ChildTable children;
  std::vector<DeferredRequest> deferred;
  // The newest event time (and its node-sequence) held back from the
  // dictionary while a deferred request of its batch is not yet sent.
  long held_event_time = 0;
  std::string held_node_seq;
  // Dump fetches: the running one and those waiting.
  std::string dumptype;  // "core", "panic" or "" (none running)
  std::string dumpid;    // collection id of the running fetch
  int dumpnode = 999;    // 999: all nodes
  int fwnode = 999;
  int reqcore = 0;
  int reqpanic = 0;
  std::string reqcoreFN;
  std::string reqpanicFN;
  int relaunches = 0;  // failed fetches in a row, each relaunched
  std::string clustername;
  // Software update in progress since (0: none) and its longest expected time.
  long sw_update_time = 0;
  long max_update_time = 8400;
};
