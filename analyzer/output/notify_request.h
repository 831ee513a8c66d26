#pragma once
// The notification request of an analysis: the analysis result and the
// current file turned into a format 6 "PNR" record and sent to the
// notifier ("QDNOT") as work message "NIQ". When the service cannot take
// it, the record goes to the fallback spool (QueueSend) and the operators
// get a back-door alert naming the file and the originating message. The
// analysis goes on in every case.

#include <cstddef>
#include <ctime>
#include <string>

#include "analysis_engine.h"
#include "qd_txn.h"

// Longest notification text the record carries (its field holds one more
// byte for the NUL).
constexpr size_t kNotifyTextMax = 4000;

// Sends the notification request for the analysis of `txn` (the received
// "FAR" request), from the engine's result, current file and daemon.
//  - The notifier's process id is looked up once per process; a failed
//    lookup logs 0020 ('2'; message id, "QDNOT", result, reason) and counts
//    as an error of the pass.
//  - AExtraText gains the physical-disk line when one was identified; AText
//    becomes the text the record carries (cut with a note past 4000).
//  - Sent: 0011 ('A') "... submitted by this" or, for a message kept until
//    the notifier registers, "... queued by this".
//  - Not sent (or no id): 0010 ('A') for a failed send, then the record goes
//    through QueueSend (its result logged as 9999) and BackDoorNotify raises
//    "<module> Unable to Send() NIQ message". A failed send is not an error
//    of the pass.
// Without a daemon attached to the engine nothing is sent.
void do_notify(const QDTxn* txn);

// ---- building blocks (no service, no logging) ---------------------------

// What the record takes besides the analysis result.
struct NotifySource {
  const qd_Transaction_Header* request = nullptr;  // the analysis request
  const CurrentFile* file = nullptr;
  std::string severity;       // the translated severity ("tSev")
  int notclass = 0;           // NotificationClass
  char hw_arch = 0;           // this machine's architecture code
  time_t now = 0;             // TxnTime
};

// The notification text of `result`: AFormattedText, AExtraText when not
// empty, AAddedData. Longer than 4000 characters, it is cut and ends with
// "\nTRUNCATED - see <where> for full details." so that it is exactly 4000
// (fewer when the cut would split a UTF-8 character).
std::string NotifyText(const AnalysisResult& result, const std::string& where);

// Clears `rec` and fills it as the "PNR" request of `result` and `src`
// (field by field as qd_txn.h lays format 6 out); the text is
// result.AText. `src.request` and `src.file` must be set.
void BuildNotifyRecord(const AnalysisResult& result, const NotifySource& src,
                       qd_Transaction_Format_6& rec);

// Forgets the notifier's process id (Engine().notifier_id), so the next
// do_notify looks it up again. For tests; ResetEngine forgets it too.
void ResetNotifierId();
