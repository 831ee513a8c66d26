#pragma once
// Event processing: the stream reader's callback. Turns built-in test
// events into their test content, refreshes the supervisor's heartbeat,
// applies the prefilter, and keeps a kept event's file text for the batch;
// FlushEvents files the batch, asks for each file's analysis and then
// records the newest event time filed.
#include <string>

#include "evt_record.h"
#include "evtmon_state.h"

// Rewrites type and event string of a built-in test event ("evt_notify"
// whose event string holds "test "). True when a row applied.
bool ApplyTestEvent(evtmon_t& e);

// The file sequence of an event: "<node>-<last six digits of seq>" (all
// digits when six or fewer).
std::string FileSeq(const evtmon_t& e);

// Port location of a port number after the port-numbering change:
// "node:slot:port" of bits 9..7, 6..3, 2..0; "invalid" above 1023.
std::string convert_port(int port);

// The component text with the word after "Port" turned into a port
// location: octal digits "a:b:c" up to level 2.3.1.0, convert_port after.
// Text without "Port" comes back unchanged.
std::string format_port(const std::string& comp_text, const std::string& vqx_level);

// The callback: processes one complete event (see the file comment); a
// kept event waits in st.pending until FlushEvents. Every failure is
// logged; nothing is returned.
void process_event(EvtmonState& st, evtmon_t& e, const std::string& raw_xml);

// Writes st.last_event_time and `node_seq` to the dictionary, each only
// when it differs from what the dictionary holds (SPE0014 on failure).
void StoreLastEvent(EvtmonState& st, const std::string& node_seq);

// Works off st.pending as one batch: files every event (FileEvents), then
// sends the analysis request of each file filed (DoAnalyze), then stores
// the newest event time among them with its node-sequence in the
// dictionary, each key only when it changed. The stored time thus never
// passes an event whose file or request is not yet durable. An event that
// could not be filed is logged as SPE0021 and gets no request. st.pending
// is empty afterwards.
void FlushEvents(EvtmonState& st);

// Reaps finished collection and dump children (chk_dumps), sends the
// analysis requests whose collection has ended or timed out (all of them
// when `finishing`, on the way out), and stores the event time held back for
// them once none is left.
void CollectorTick(EvtmonState& st, bool finishing);
