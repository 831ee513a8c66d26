#pragma once
// The transaction logger: every daemon hands each transaction record it
// receives to qdLogTxn before any other database work for the message. The
// logger checks the header and the body of the record's format, writes one
// row into qd_txn_log with status "InProc", commits and hands back the
// row's object id, which the daemon keeps to set the final status later.

#include "log_message.h"
#include "qd_txn.h"

// Results of qdLogTxn and of its format routines.
constexpr int kTxnLogged = 0;    // row written and committed
constexpr int kTxnInvalid = -1;  // the record is invalid; nothing stored
constexpr int kTxnDbError = 2;   // a database error; nothing stored

// Size the caller's object id buffer must have at least (39 characters
// and the NUL).
constexpr size_t kTxnObjidSize = 40;

// Validates `txn` and stores it as one row of qd_txn_log on the process's
// current default database connection (ecpg, no AT).
//
// `objid` (at least kTxnObjidSize bytes) is emptied on entry and receives
// the new row's object id (the value of qd_txn_log_seq as text) when the
// result is kTxnLogged. `log` is the caller's logger; every message goes
// through it, and a message that cannot be issued goes to standard error
// ("Error attempting to issue message ID ...", module "qdLogTxn").
//
// Every bad field is reported in the one call, in field order:
//   QDZ0044 'A' label            a mandatory field is empty
//   QDZ0045 'A' stamp name       a time stamp is invalid
//   QDZ0048 'A' "prod.vendor,prod.prod,prod.id"   product half given
//   QDZ0049 'A' "FDB_Objid", "FileType,FileTime,FileSeq,FileName"
//                                a format 2 record names no file
//   QDZ0041 'A' "transaction format", number      unknown format
//   QDZ0100 '2' code, action, database message    a statement failed
//
// Returns kTxnLogged after a commit; kTxnInvalid for an invalid record (or
// a null `txn`); kTxnDbError when the sequence, an insert or an update
// failed. On every result but kTxnLogged the database transaction is
// rolled back, so no row is left behind and `objid` stays empty. Either way
// the caller's open transaction ends: call this first for a message.
//
// One call at a time per process.
[[nodiscard]] int qdLogTxn(const QDTxn* txn, char* objid, CLogMessage* log);
