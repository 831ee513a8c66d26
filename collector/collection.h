#pragma once
// The worker's start-up collections, run through the collection program
// "/sp/prod/code/ruzi/bin/spcollect": the array's event definition files and
// its model name.
#include <string>

#include "evtmon_state.h"

// Directory of the definition files of the worker's software level.
std::string DefinitionDir(const EvtmonState& st);

// Runs "spcollect -O special <sysid> <IPaddr> <level> none <cmdline>",
// writing heartbeats while it runs, for at most 240 s (scaled; then the
// command is stopped). Its exit code (>= 0); -1 when it could not start,
// ended by a signal or could not be waited for (SPE0065 for a signal);
// -2 on the time-out. SPE0064 when it ended normally.
int RunCollection(EvtmonState& st, const std::string& cmdline, const char* what);

// Makes sure the three definition files exist, fetching them when one is
// missing. 0 present; else the fetch's exit code (100 counts as success),
// -1 / -2 as RunCollection, -2 also when the directory cannot be made.
int get_event_files(EvtmonState& st);

// Fetches the model file and reads its first line (11 characters at most)
// into st.model. 0; -1 fetch failed; -5 no model file; -4 empty file.
int get_model(EvtmonState& st);
