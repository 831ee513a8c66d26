#pragma once
// The field rules of the transaction logger: each takes one field of a
// record, puts its text form into a destination and, for the mandatory
// rules, tells whether the field is given. A failing rule logs its message
// and marks the check failed, but never stops it, so one check reports every
// bad field of a record.
//
// A text field char[N] is read up to its NUL and never beyond N-1 bytes,
// so a sender that filled the field to the brim cannot make the logger read
// past it. Bytes that are not UTF-8 become '?' in the text form: the
// database stores UTF-8 and would refuse the whole row for them.

#include <cstddef>
#include <string>

#include "log_message.h"
#include "time_stamp.h"

// One check of one record: the logger its messages go to, and whether any
// rule failed.
struct TxnCheck {
  explicit TxnCheck(CLogMessage* logger) : log(logger) {}
  CLogMessage* log;
  bool failed = false;
};

// Issues message `id` through `log`. When that fails (or `log` is null)
// writes "Error attempting to issue message ID <logger error>" to standard
// error under the module name "qdLogTxn". Returns true when logged.
void TxnIssueFailed(const CLogMessage* log, const char* id);
template <class... Args>
bool TxnIssue(CLogMessage* log, const char* id, char urgency, const Args&... args) {
  if (log && log->Insert(id, urgency, args...)) return true;
  TxnIssueFailed(log, id);
  return false;
}

// Manditory: the text of `field` (`width` bytes) with blanks and newlines
// removed at both ends goes to `dest` (at least `width` bytes). Empty: logs
// QDZ0044 'A' with `label`, marks `check` failed and returns false.
bool Manditory(TxnCheck& check, const char* label, const char* field, size_t width, char* dest);
// ManditoryR: the same, trimming the right end only (leading blanks kept).
bool ManditoryR(TxnCheck& check, const char* label, const char* field, size_t width, char* dest);
// Optional, OptionalR: the same two trimmings; an empty text is fine.
void Optional(const char* field, size_t width, char* dest);
void OptionalR(const char* field, size_t width, char* dest);

// Manditory for a one-byte code: `dest` (2 bytes) becomes the one-character
// text of `code`. A zero code logs QDZ0044 'A' with `label`, marks `check`
// failed, leaves `dest` "" and returns false.
bool Manditory(TxnCheck& check, const char* label, char code, char* dest);

// The forms that take the arrays themselves, so a destination can never be
// shorter than its field.
template <size_t N>
bool Manditory(TxnCheck& check, const char* label, const char (&field)[N], char (&dest)[N]) {
  return Manditory(check, label, field, N, dest);
}
template <size_t N>
bool ManditoryR(TxnCheck& check, const char* label, const char (&field)[N], char (&dest)[N]) {
  return ManditoryR(check, label, field, N, dest);
}
template <size_t N>
void Optional(const char (&field)[N], char (&dest)[N]) {
  Optional(field, N, dest);
}
template <size_t N>
void OptionalR(const char (&field)[N], char (&dest)[N]) {
  OptionalR(field, N, dest);
}

// Text form of a stamp: "YYYY/MM/DD HH:MM:SS" and a NUL.
constexpr size_t kTxnStampTextSize = 20;

// True when `stamp` is valid: format letter 'a', the delimiters '/', '/',
// blank, ':', ':', '.', NUL, and digits that make a real date and time the
// database can store (year 0001..9999, a day of that month, 00:00:00 to
// 23:59:59). The hundredths, which are never stored, are two digits or
// "UT" (universal time: an event time the analyzer took from seconds since
// 1970).
bool TimeValid(const Time_Stamp& stamp);

// TimeValid for a stamp the record must carry: valid, `dest`
// (kTxnStampTextSize bytes) gets its text form and the result is true;
// otherwise logs QDZ0045 'A' with `name`, marks `check` failed, leaves
// `dest` "" and returns false.
bool TimeValid(TxnCheck& check, const char* name, const Time_Stamp& stamp, char* dest);

// Writes the text form of `stamp` (no check) into `dest`
// (kTxnStampTextSize bytes).
void TxnStampText(const Time_Stamp& stamp, char* dest);

// Replaces in place, by one '?' each, the bytes of `text` that do not form
// UTF-8 the database accepts (stray continuation bytes, truncated, overlong
// or surrogate sequences, values above U+10FFFF). Returns how many were
// replaced.
int TxnScrubUtf8(char* text);
