#pragma once
// Exit routines of the event tag table: reformatting of particular tags'
// values while the event file is parsed. The event analysis installs them
// as end exits ("CompType": Exit_captureRawComponent, "CompId":
// Exit_translateCID, "CompName": Exit_endingSeparator).
//
// Each works on the entry E in the innermost slot of the stack and on its
// target T (TagTarget(E)). When E has flag_catdata, the value's last
// segment starts one past the last character of T's data that occurs in
// E's separator (at 0 when none does); otherwise it is all of T's data.
// Each does nothing when the stack has no innermost entry.

#include <cstddef>
#include <string>

#include "analysis_engine.h"

// Appends E's separator to T's data, turned into its closer when it is
// exactly "(", "{", "[" or "<". Nothing when the separator is empty.
void Exit_endingSeparator(ParseStack* stack);

// Records the last segment (the untranslated component type) in
// RawComponent while fewer than 10 are recorded, then runs
// Exit_translateTagData.
void Exit_captureRawComponent(ParseStack* stack);

// Replaces the last segment by its qd_edit translation (field: E's tag
// name) for the current file type. A value longer than the table can
// hold (256 characters) has no translation and is treated as not found.
// Not found: the value stays and a process notification 'L' "%s '%s' '%s'
// not found" (product id, tag name, value), "Source file: %s" is raised.
// A null translation leaves the value quietly. A database error: the
// value stays, QDZ0100 "translate filetype %ld tag %s value '%s'" is
// logged and the reconnect request raised.
// The look-up is SelectTagTranslation, or the engine's translate seam when a
// test set one.
void Exit_translateTagData(ParseStack* stack);

// Reformats the component id by the last recorded component type:
// with flag_makehex, a "comp_hw_disk" number behind the segment's first
// two characters becomes 16 upper-case hex digits; a "comp_sw_port" id is
// recorded in PortComponent (up to 10) for DecodePorts; a
// "comp_hw_cage_sled" number in a later segment becomes "HD[...]" or
// "HD?". "comp_hw_disk" and "comp_sw_pd" ids are offered to LookupPD. An
// id met before any component type is left as it is.
void Exit_translateCID(ParseStack* stack);

// Whether `value` names a known physical disk; when it does, its disk
// number, WWN and location are written to the three outputs. This system
// knows no physical disks: always false, outputs untouched.
bool LookupPD(const std::string& value, std::string& number, std::string& wwn,
              std::string& location);

