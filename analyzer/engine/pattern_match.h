#pragma once
// Matching pattern groups of a slot's pattern table against a text.

#include <string>

#include "analysis_engine.h"

// Applies the group `apply` of slot `slot`'s pattern table to `text`: the
// entries of the group are tried in lineseq order and the first that
// matches is applied: each capture group 1..10 is copied into capture
// buffer V0..V9 (cut to 4095 characters; "<no value>" for a group that
// took no part), and each set tag0..tag9 entry's data (the entry itself,
// no redirect, no flags consulted or changed) becomes buffer 0..9. Returns
// that entry. When no entry matches (or the group, or the table, does not
// exist): 9999 ('0') "Pattern search failed for filetype=%ld,
// apply='%s'\nFile='%s'\nData='%s'\n" and a process notification 'H'
// "Pattern search failed" with the same text; returns null, the capture
// buffers untouched.
PatternEntry* Parse_entry(int slot, const char* apply, const std::string& text);

// Runs the generic group (" generic", the leading run of the table) over
// `text`: every entry that matches, not only the first, gives each set
// tag k its group k + 1 (empty when the group took no part) under the
// collection rules of the event parse: the target T (redirect target or
// the entry) takes the text when it holds no data of this event yet (and
// then holds data); when it does, the tag's flag_repdata replaces, its
// flag_catdata appends the tag's separator and the text, otherwise T
// keeps its value. Logs nothing; does nothing without a table.
void RunGenericPatterns(int slot, const std::string& text);

// The apply name of the generic group.
extern const char kGenericApply[];
