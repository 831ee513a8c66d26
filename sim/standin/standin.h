#pragma once
// What every stand-in of an outside program shares: the record of each call
// ($QD_ROOT/var/log/qd/sim/<program>.calls, one JSON line
// {"argv": [...], "time": N, "pid": N[, more]}) and the control file a test
// writes ($QD_ROOT/etc/qd/sim/<program>.conf, "key = value" lines).
#include <string>
#include <vector>

// Appends the call's JSON line; `more` is extra JSON members (", \"k\": v").
void StandinRecord(const char* program, const std::vector<std::string>& argv, const std::string& more = "");

// The value of `key` in the control file, "" when absent.
std::string StandinConf(const char* program, const std::string& key);

// How many calls the record holds so far.
int StandinCalls(const char* program);

// The `n`-th (from 1) of the comma-separated values, the last one for
// every later call; "" for an empty list.
std::string StandinNth(const std::string& list, int n);

// Sleeps the control file's "delay" seconds, when given.
void StandinDelay(const char* program);
