#pragma once
// The transaction formats as data: the size of each format and its fields
// by name, offset, width and kind, for the code that builds or shows a
// record field by field (qdtxn, qdwm show, the test harness) instead of
// naming every member. The names are the members of qd_txn.h, machine
// identifiers as "prod.vendor", "sp.id", ...; the format number itself
// ("fmt") is not among them.

#include <cstddef>
#include <string>
#include <vector>

// How a field's bytes are read.
enum class TxnFieldKind {
  kText,    // char[N], a NUL-terminated text of at most N-1 characters
  kCode,    // one character, zero meaning "not given"
  kNumber,  // one byte, a number 0..255
  kFlags,   // one byte of flag bits (shown in hex)
  kStamp,   // a Time_Stamp
};

struct TxnField {
  const char* name;
  size_t offset;  // from the start of the record
  size_t width;
  TxnFieldKind kind;
};

// The size in bytes of format `fmt` (1..7, 255); 0 for any other number.
size_t TxnFormatSize(int fmt);

// The fields of format `fmt` in record order, header first; empty for an
// unknown format.
std::vector<TxnField> TxnFields(int fmt);

// The field `name` of format `fmt`; null when the format has none of that
// name (or the format is unknown).
const TxnField* FindTxnField(int fmt, const std::string& name);
