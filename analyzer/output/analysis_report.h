#pragma once
// The analysis report: a text file beside the analyzed file, named after it
// with ".analysis" appended, stating the symptom, a description and the
// parts (FRUs) and maintenance procedures to use in priority order, all
// taken from qd_anal_msgtext and qd_fru_callout/qd_fru by the event name
// and the message keys Mkey1..Mkey6 that the handler chose.
//
// Layout (an in-test description, in_test 'Y' or null, adds the WARNING
// banner at the start and, after a blank line, at the end):
//
//   Analysis for VENDOR/PRODUCT/PRODID PRODFILE file dated DATE, sequence SEQ.
//   Analysis timestamp is RUNDATE.
//
//   ========== Symptom ==============================
//   SYMPTOM
//   VENDOR/PRODUCT/PRODID
//
//   ========== Description ==========================
//   DESCRIPTION
//
//   ========== FRUs/Maintenance Procedures ==========
//
//   Priority 1, Probability 80%
//   <tab>Part name: NAME
//   <tab>Part number: NUMBER
//   <tab><tab>Notes: NOTES
//   <tab><tab>GM script: SCRIPT
//   <tab><tab>a line of the procedure file
//
// The report is all or nothing: it is written to a temporary file beside
// it and renamed into place only when complete; any failure leaves no
// report of that name.

#include <string>

#include "analysis_engine.h"

// Writes the report for the current event and keys. `entry->rule` names the
// event's template that ASymptom is expanded from (expanded once more when
// `resymptom`; no entry, a rule outside 0..9 or a null template leave
// ASymptom as it is); the description is expanded likewise (twice when
// `redescribe`). Returns true when the report was written completely: then
// Canal_filename names it, the history row will carry the keys and, when
// EADetails is not empty, its first 4000 characters, and a released
// description adds the "Extended analysis output" line to AExtraText.
// Returns false, with no report file and the indicators null, when:
//  - no description row matches (notification 'H' "<event> description not
//    found.", message 0033) or its description is null - before any file
//    is made;
//  - a statement fails (QDZ0100, reconnect request, transaction rolled
//    back);
//  - the report or a procedure file cannot be opened, read, written or
//    closed (message 0033 with the system error).
// A missing FRU callout is written into the report as an analysis error,
// notified ('H' "FRU select error for <event>", messages 0033 and 9999),
// and the report still counts as written.
bool EA_common(int slot, PatternEntry* entry, bool resymptom, bool redescribe);

// The report of a handler whose analysis failed: logs 0042 with `reason`
// unless `quiet`; sets Mkey1 "AnalysisFailed" and Mkey2..Mkey6 "na", message
// value 8 to the reason and EADetails to "~Reason=<reason>~"; writes the
// report of the event name "AnalysisFailed" (EA_common with `resymptom`,
// the symptom still from the analyzed event's template); restores the
// event name.
void EA_AnalysisFailed(const std::string& reason, bool quiet, int slot, PatternEntry* entry,
                       bool resymptom);
