#pragma once
// The checks of a transaction record, header and body, before anything is
// stored: each applies the field rules (txn_fields.h) to every field of its
// part of the record in field order, fills the text form of that part
// (txn_text.h) and reports every bad field through the logger, not just
// the first. No database work here.
//
// Every check returns 0 when its part is valid and -1 otherwise; on -1 the
// text form holds whatever the rules produced and must not be stored.

#include "log_message.h"
#include "qd_txn.h"
#include "txn_text.h"

// The header: TxnId, TxnTime, the four codes, AssocId and the SP
// identification are mandatory (QDZ0044 with the field's label, QDZ0045
// "TxnTime"); the product identification is optional but all or nothing
// (QDZ0048 "prod.vendor,prod.prod,prod.id"). Also writes fmt and txnattr.
int TxnCheckHeader(const qd_Transaction_Header& hdr, TxnHeaderText& out, CLogMessage* log);

// Format 1: FileType, FileTime, FileSeq, both sizes and FileName
// mandatory, comments optional with leading blanks kept (labels "f1.*",
// stamp "FileTime").
int TxnCheckFormat1(const qd_Transaction_Format_1& f1, TxnFileText& out, CLogMessage* log);

// Format 2: every field optional, an invalid stamp counts as absent
// (FileTime_ind -1, nothing logged for it); but the record must name a
// file by FDB_Objid or by all of FileType, FileTime, FileSeq and FileName,
// else QDZ0049 "FDB_Objid", "FileType,FileTime,FileSeq,FileName".
int TxnCheckFormat2(const qd_Transaction_Format_2& f2, TxnFdbText& out, CLogMessage* log);

// Format 3 and the format 3 part of formats 5, 6 and 7: urgency, event,
// source, both event stamps, EventLocation, abstract, counter and text
// mandatory (text keeps its leading blanks); notclass as decimal text.
int TxnCheckFormat3(const qd_Transaction_Format_3& f3, TxnNotifyText& out, CLogMessage* log);

// Format 4: format 1's fields (labels "f4.*"), then the optional FileHash,
// MultiHash, MultiSeq and MultiTotal.
int TxnCheckFormat4(const qd_Transaction_Format_4& f4, TxnFileText& out, CLogMessage* log);

// What formats 5, 6 and 7 add to format 3, by the record's format number:
// 5 model ("f5.model"); 6 model ("f5.model") and NotifyUnique
// ("f6.NotifyUnique"); 7 model and NotifyUnique ("f7.*") mandatory,
// SRnumber and EntityId optional. Any other format: nothing to check, 0.
int TxnCheckNotifyExtra(const QDTxn& txn, TxnNotifyText& out, CLogMessage* log);

// Format 255: comments, optional, leading blanks kept.
int TxnCheckStop(const qd_Transaction_Format_255& stop, TxnStopText& out);
