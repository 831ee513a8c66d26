#pragma once
// The event analysis (file type 100): AnalZarvekVelmarEvent (analyses.h)
// reads one event file of the array, parses the event into the tag values
// of slot 0, fills tags from the generic patterns, translates the
// severity, runs the handler that qd_anal_evtdata names for the event,
// decides alerting, urgency and suppression, writes the history row, asks
// the notifier to notify and records the symptom in the file catalogue.
//
// The steps, in this order for every file:
//   1 read (FDBRead: decompressed, character set 'A', this machine's
//     architecture)           failure: 0031 '2', result 1
//   2 cut and prepare the XML no marker: result -1; no parser: result 1
//   3 event tag table (first use; the 19 well-known tags must be there,
//     each missing one logged as 0038; "TAG initialization error" 'H' and
//     result 1 otherwise, the slot left empty so the next event tries
//     again); end exits of CompType, CompId and CompName installed
//   4 per-event reset (capture values V0..V9 back to "<no value>") and
//     parse                     parse failure: result 1
//   5 event pattern table (first use)  "Pattern initialization error" 'H',
//     result 1
//   6 generic patterns over the formatted text
//   7 port numbers of the component id decoded, values trimmed
//   8 severity ("tSev" through qd_edit 'SEVERITY'): AUrgency and AClass;
//     unknown: "Sev <Sev>", 'H', class 0 and a notification 'L'; database
//     error: QDZ0100 "edit100 sev select", result 1
//   9 "tType" falls back to "Type"
//  10 default symptom: ShortDesc (or "Unable to determine symptom") and
//     "(tType)", blanks squeezed; ACount 1
//  11 event time from "tTime", else "Time" (seconds since 1970, UTC),
//     else 1999/12/31 23:59:59.00 (EventTime); location 'R'
//  12 AEvent "vendor product tType"; 13 AModel
//  14 handler of the event's qd_anal_evtdata row (table in
//     event_handlers.h); no row: none runs; an unknown name: notification
//     'H' "Event handler '%s' not found"; database error: QDZ0100 "select
//     evtdata", result 1
//  15 alert, service alert, suppression, ForceUrgencyLow, nonalert_low
//  16 notification request (none with ForceUrgencyIgnore; none, 0043 'A',
//     when suppressed), then history row (none with ForceUrgencyIgnore),
//     18 catalogue row (when the request named an object id: symptom, run
//     date, report name) and the status "Done", in one transaction
//     (analysis_outcome.h); failures are logged and the result stays 0.
// A database error also rolls the open transaction back, so the
// reconnect at the end of the pass starts clean.

#include <string>

#include "time_stamp.h"

// The event time of a "Time" value, a decimal count of seconds since 1970
// (UTC): 'a' followed by "YYYY/MM/DD hh:mm:ss.UT". False, `stamp`
// untouched, when the text is no such number (blanks around it allowed)
// or its year does not fit four digits.
bool EventTimeFromSeconds(const std::string& text, Time_Stamp& stamp);

// The event time of step 11 from the "tTime" value `ttime` and the "Time"
// value `seconds` (null: the tag has no data). A "tTime" that gives no date
// and time (an unknown month name, say: month 13) counts as unreadable, like
// a "Time" that is no number: the notification request must carry a stamp
// the transaction log takes (TimeValid), or the notifier would refuse it.
Time_Stamp EventTime(const std::string* ttime, const std::string* seconds);
