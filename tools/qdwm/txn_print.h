#pragma once
// Readable views of the records that travel as work-message data, for
// "qdwm show": transaction records (every format) and file transfer
// requests. The functions only read the bytes they are given; a record
// that is too short, unterminated or holds unprintable bytes is shown as it
// is, never read past its end.

#include <string>
#include <vector>

// True when `data` holds a transaction record: a known format number in the
// first byte and at least that format's size, at most the largest record.
bool IsTxnRecord(const std::string& data);

// One line per field, "name: value", header first, then the body of the
// record's format. Texts are cut at their NUL ("(unterminated)" when the
// field has none); unprintable bytes appear as \xHH; empty code bytes as
// "(none)"; stamps as their text, or "(invalid) ..." with the raw bytes.
// Returns no lines when `data` is not a transaction record.
std::vector<std::string> DescribeTxn(const std::string& data);

// The fields of a file transfer request (exactly 1032 bytes), one line per
// field; no lines for data of any other length.
std::vector<std::string> DescribeFtpRequest(const std::string& data);
