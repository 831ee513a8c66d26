#pragma once
// The history row of an analysis (qd_anal_history): every analysis writes
// one, with the component, keyword and detail taken apart from the symptom
// and the repeat key that the notifier's suppression uses.
//
// Symptom convention (templates of qd_anal_evtdata are written to it): with
// comp 'Y' or 'U' and skey 'Y' a symptom reads
//   COMPONENT|LOCATION [TP_SUPP|TP_ALRT] KEYWORD DETAIL(event type)
// e.g. "PD|cage2:mag3 TP_ALRT disk_failed Disk has failed(disk_event)".

#include <string>

#include "analysis_engine.h"
#include "analysis_sql.h"
#include "qd_txn.h"

// The indicators of the current analysis (Engine().indicators): what the
// history row takes from the analysis report, null (false) until a report
// is written completely in this analysis.
HistoryIndicators& ReportIndicators();

// Sets the indicators back to null; each analysis calls it before its
// handler runs.
void ResetReportIndicators();

enum HistoryResult : int {
  kHistoryWritten = 0,
  kHistoryFailed = -1,
};

// The row WriteHistory inserts, built from the engine's state: template
// number t = entry->rule (no entry, or a rule outside 0..9: template 0 with
// comp 'N', skey 'N', sev 'Y', nu_rule 0, nu_value "analysis error");
// component, location, keyword and detail from ASymptom by the settings of
// t (comp 'N' takes `comptype` as the component); dates, keys and details.
// Sets Anot_unique, the repeat key, by nu_rule. An empty component becomes
// "Unknown" with a process notification 'L' "No component found". Texts are
// cut to their column widths on character boundaries, malformed UTF-8
// replaced by '?'.
HistoryRow BuildHistoryRow(const PatternEntry* entry, const std::string& severity,
                           const std::string& comptype);

// Inserts the row of BuildHistoryRow and commits it. Returns
// kHistoryWritten, or kHistoryFailed after logging QDZ0100 ("History
// insert", with a process notification 'H' "History insert error" naming
// the store file; or "Commit history insert"), raising the reconnect
// request and rolling the transaction back. Never stops the analysis.
// `txn` is the request being analyzed; the row takes its values from the
// current file instead.
int WriteHistory(const PatternEntry* entry, const QDTxn* txn, const std::string& severity,
                 const std::string& comptype);

// `text` as a column value of at most `width` bytes: malformed UTF-8
// replaced by '?', cut so that no character is split.
std::string ColumnText(const std::string& text, size_t width);
