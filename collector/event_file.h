#pragma once
// The event file that the analyzer reads, the diagnostic file of a stream
// block that could not be read, and the work messages that announce them:
// the analysis request ("FAR" as "AIQ" to "QDAN") and the file transfer
// request ("TOQ" to "SPFT").
//
// Event file layout (the analyzer finds the XML behind "XML FORMAT:"):
//   Event id: <seq>  Node <n>  Cust Alert - Yes|No, Svc Alert - Yes|No   Severity: <name>
//   Event time: <ctime text>Event type: <desc>\t\t\t<alert text><msg id text>
//   Component: <comp_text>
//   Short Dsc: <short_desc>
//   Event String: <event_string>
//   XML FORMAT:
//   <the Event element as received, without its closing tag>
//     <Serial>..</Serial> <SystemModel>..</SystemModel> <ReleaseLevel>..</ReleaseLevel>
//   </Event>
//   (empty line)
//   VQX level for Velmar <sysid> is <level>
#include <ctime>
#include <string>
#include <vector>

#include "evt_record.h"
#include "evtmon_state.h"

// Root of the file area.
constexpr const char* kFileBase = "/sp/prod/data/files";

// Writes the local time of `t` as "YYMMDD.HHMMSS" (13 characters) into
// `out` (14 bytes at least).
void build_timestamp(char* out, time_t t);

// "'Www Mmm DD HH:MM:SS 20YY'" of the local time of `t` (quotes included),
// or "0" for t = 0.
std::string build_cli_timestamp(time_t t);

// The text of the event file for `e`, whose whole element text is `raw`,
// at file time `t` (shown as the event time). `comp_text` is the component
// text as the file shows it (after the port rewriting).
std::string BuildEventText(const evtmon_t& e, const std::string& raw, time_t t,
                           const std::string& comp_text, const EventDefs& defs,
                           const std::string& sysid, const std::string& model,
                           const std::string& vqx_level);

// Files the events of `batch` below the array's event directory (created
// with its parents when missing): each text is written under a temporary
// name, all of them are flushed with one flush, renamed into place, and the
// directory is flushed once, so a reader never sees a part of a file and
// every file is durable on return. `pathname[i]` is the system path of
// event i once it is filed, "" when it is not. Each file filed is logged as
// SPE0024 after the directory flush; a directory that cannot be made is
// SPE0001, a file that cannot be written or flushed SPE0002 (its temporary
// file removed; a flush failure fails every file of the batch). Returns the
// number of files filed, or -1 when the directory cannot be made.
int FileEvents(EvtmonState& st, const std::vector<PendingEvent>& batch,
               std::vector<std::string>& pathname);

// Removes the temporary files "<name>.<pid>.tmp" that FileEvents left in
// the array's event directory when its process died while filing: those
// whose process no longer runs (the event is filed again by the catch-up).
// Returns how many were removed; logs the count when not 0.
int RemoveStaleTempFiles(EvtmonState& st);

// Sends the analysis request for the event file `pathname` (file sequence
// `seq`, file time `filetime`). Sent or queued (no receiver yet): logged as
// SPE0011, returns 0. Otherwise the request goes to the fallback spool and
// the back-door alert is raised; returns -1.
int DoAnalyze(EvtmonState& st, const std::string& pathname, const std::string& seq,
              time_t filetime);

// Writes a diagnostic file of `header` and the block (at most 9999
// characters in all) under the next free "spdiag.NNNN" name (an existing
// file is never overwritten) and asks for its transfer. 0; -1 open or
// transfer failure; -2 write failure; -3 close failure.
int processDiagFile(EvtmonState& st, const std::string& header, const char* block, long len);

// Sends a file transfer request. 0 submitted; -4 queued (the transfer
// process has no receiver now: it gets the request when it registers, so
// callers count this as sent); -2 "SPEC" unknown; -3 "SPFT" unknown; -5 the
// send failed. On -2, -3 and -5 the request goes to the fallback spool (-2
// without any spool when the state has no work-message service object).
int callWorkMsg(EvtmonState& st, const char* filetype, const std::string& path, time_t t,
                const std::string& seq);
