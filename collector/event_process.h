#pragma once
// Event processing: the stream reader's callback. Turns built-in test
// events into their test content, refreshes the supervisor's heartbeat,
// applies the prefilter, and for a kept event writes the event file, asks
// for its analysis and records it as the last event processed.
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

// The callback: processes one complete event (see the file comment). Every
// failure is logged; nothing is returned.
void process_event(EvtmonState& st, evtmon_t& e, const std::string& raw_xml);
