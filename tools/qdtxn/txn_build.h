#pragma once
// Building transaction records from NAME=VALUE settings, for operators,
// tests and the demo (tool qdtxn).

#include <string>
#include <vector>

#include "qd_txn.h"

// Fills `txn` (cleared first) as a record of format `fmt` with defaults
// (codes '0', '0', 'A' and this machine's architecture, TxnTime now, a new
// AssocId, TxnId "FAR" for format 2, "GNR" for 3 and "PNR" for 6), then
// applies each "NAME=VALUE" of `settings` in order. NAME is a field of the
// header (TxnId, TxnAttr1, prod.vendor, sp.id, ...) or of the format's body
// (FDB_Objid, FileType, FileTime, urgency, text, ...), as txn_layout.h
// lists them. Texts must fit their field with the NUL; codes are one character;
// TxnAttr1..4 and notclass are numbers 0..255; time stamps are given as
// "YYYY/MM/DD HH:MM:SS" (hundredths ".hh" optional) or "now".
// Returns 0, or -1 with `error` naming the setting that could not be
// applied (`txn` then holds what was applied before it).
[[nodiscard]] int TxnBuild(int fmt, const std::vector<std::string>& settings, QDTxn& txn,
                           std::string& error);
