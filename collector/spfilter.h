#pragma once
// The filter rules at work: for every filed event the first matching rule
// (filter_rules.h) picks an action; most actions start a collection program
// in a child process with values taken from the event's components,
// parameters or event string; the suppression table keeps one collection
// from starting again within its window; then the event file is handed to
// the analyzer and to the file transfer process.
//
// Collection command lines are one argument each, built from words and
// single-quoted texts (the times of build_cli_timestamp, the event string of
// action 92): a value from the event that the collection program's command
// syntax cannot carry as one word (blanks, quotes, control characters), or
// as one quoted text (a single quote, control characters), is refused and
// logged, and the event is still analysed. No shell is ever involved.
//
// "Collect and rename" actions turn the "-" of the file sequence into "+",
// rename the event file to match, and send the analysis and transfer
// requests only when the collection child has ended (or its time limit
// passed), so the analyzer reads the file with the output attached.
#include <ctime>
#include <string>
#include <vector>

#include "evt_record.h"
#include "evtmon_state.h"

// Longest wait for a collection before its event is analysed anyway (s,
// scaled by QD_TIME_SCALE).
constexpr double kCollectionWait = 600;

// Runs the rules for the event `e` whose file `name` (system path
// `pathname`, file sequence `seq`, file time `filetime`) has just been
// filed; `evtime` is the event's own time (0 when it had none). Returns 0,
// or -1 when the transfer request could not be made (urgency set to "H",
// logged). Every failure of an action is logged and ends only that action.
int spfilter(EvtmonState& st, const evtmon_t& e, const std::string& name, const std::string& pathname,
             const std::string& seq, time_t filetime, long evtime);

// Sends the analysis and transfer requests of `filetype`/`pathname`/`seq`;
// 0, or -1 when the transfer request failed (logged, urgency "H").
int SendRequests(EvtmonState& st, const std::string& filetype, const std::string& pathname,
                 const std::string& seq, time_t filetime);

// Sends the deferred requests whose collection has ended, whose time limit
// has passed, or all of them when `all` (on the way out). Returns how many
// remain.
size_t SendDeferred(EvtmonState& st, bool all);

// True when `value` can travel as one word of a collection command line:
// 1 to 199 characters of letters, digits and "._:/@+,=-", not containing "..".
bool CommandWord(const std::string& value);

// True when `text` can travel inside single quotes of a collection command
// line: no single quote, no control character.
bool QuotableText(const std::string& text);

// Starts "/sp/prod/code/ruzi/bin/spcollect" with `args` (after argv[0]) as a
// child of `kind` in the child table. Its pid, or -1 when it could not be
// started (logged).
pid_t LaunchCollection(EvtmonState& st, const std::vector<std::string>& args, int kind,
                       const std::string& tag = "");
