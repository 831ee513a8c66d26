#pragma once
// Dump fetches and the children of the collections. Core and panic dumps of
// the array's nodes are fetched by "/sp/prod/code/ruzi/bin/vqxdump", one at
// a time; requests raised meanwhile wait as counters. Every request is
// also a line of the request file of its type,
//   "/sp/prod/data/files/<sysid>/req<core|panic|fwcore>",
// "<node> <dump name> <alert id> <checks>\n", checked off when the dump has
// arrived on the SP (its alert is then acknowledged on the array) and
// dropped after its fourth check. Request files are rewritten whole under a
// lock (temporary name and rename), never in place.
#include <string>
#include <utility>

#include "evtmon_state.h"

// Relaunches of a failed dump fetch in a row before its request is dropped.
constexpr int kMaxDumpRelaunches = 3;

// The log text after "In chk_dumps(), Return status from vqxdump = N, " for
// an exit code, and whether the code means success (a count of dumps).
std::pair<std::string, bool> DumpExitText(int code, const std::string& dumptype);

// Reaps every finished child of the table: a dump fetch's exit code is
// interpreted (success checks its requests off; a failure code relaunches
// it, at most kMaxDumpRelaunches times in a row), a firmware collection
// checks off its requests; then starts a waiting dump request when no fetch
// runs. Returns the number of children reaped.
int chk_dumps(EvtmonState& st);

// True while a dump fetch or the array-wide collection runs.
bool DumpRunning(const EvtmonState& st);

// Starts a fetch for all nodes of the waiting core request (else the panic
// request). 0, or -1 when it could not be started (the request still waits).
int get_more_dumps(EvtmonState& st);

// Starts "vqxdump -I<IPaddr> <type> <node> <id>" as the running fetch. 0 or -1.
int StartDumpFetch(EvtmonState& st, const std::string& type, const std::string& node,
                   const std::string& id);

// At the first read of a worker: a core fetch for all nodes, with a panic
// fetch waiting behind it, so dumps that arrived while no collector ran are
// fetched. 0, or -1 when it could not be started (logged).
int StartupDumpFetch(EvtmonState& st);

// Appends a request line under the file's lock. 0; -1 when `file` cannot be
// a dump name (blanks, "..", control characters; logged); -7 when the line
// could not be written (logged).
int add_dumpreq(EvtmonState& st, int node, const std::string& type, const std::string& file,
                int alertid);

// Checks off the requests of `node` (999: all) and `type` whose dump has
// arrived: acknowledges their alert (unless "0") and drops them; others get
// one more check, and are dropped after their fourth. 0; -1 a dump
// directory could not be read; -2 the request file could not be read; -4
// it could not be rewritten.
int del_dumpreq(EvtmonState& st, int node, const std::string& type);

// Starts "spcollect ... cli_ack_alert <sysid> <IPaddr> <level> <alertid>".
// 0, or -1 when it could not be started or the id is not a number.
int ack_alert(EvtmonState& st, const std::string& alertid);

// Finds the cluster of `sysid` among "/etc/sysconfig/sp/cluster/*": the
// file whose "SERIALNO" line has the system id as its value (after "=" or
// the first blank, quotes removed) names it (up to its first "."). 0 with
// st.filter.clustername set; non-zero otherwise (logged).
int get_clustername(EvtmonState& st);
