#include "txn_fields.h"

#include <cstring>

#include "text_util.h"

namespace {

// What the rules trim: blanks and newlines, nothing else.
const char kTrimSet[] = " \n";

// The field's text: up to its NUL, never more than width - 1 bytes.
long FieldLength(const char* field, size_t width) {
  return width == 0 ? 0 : static_cast<long>(strnlen(field, width - 1));
}

void TakeText(bool both_ends, const char* field, size_t width, char* dest) {
  if (width == 0) return;
  if (both_ends) {
    Trim(kTrimCut, dest, width, field, FieldLength(field, width), kTrimSet);
  } else {
    TrimRight(kTrimCut, dest, width, field, FieldLength(field, width), kTrimSet);
  }
  TxnScrubUtf8(dest);
}

bool Given(TxnCheck& check, const char* label, const char* dest) {
  if (dest[0] != '\0') return true;
  TxnIssue(check.log, "QDZ0044", 'A', label);
  check.failed = true;
  return false;
}

int Digits(const char* p, int width) {
  int value = 0;
  for (int i = 0; i < width; ++i) {
    if (p[i] < '0' || p[i] > '9') return -1;
    value = value * 10 + (p[i] - '0');
  }
  return value;
}


}  // namespace

void TxnIssueFailed(const CLogMessage* log, const char* id) {
  std::string text = std::string("Error attempting to issue message ") + id + " ";
  text += log ? log->szErrorMsg : "(no logger)";
  Log2cerr(text, "qdLogTxn", true);
}

bool Manditory(TxnCheck& check, const char* label, const char* field, size_t width, char* dest) {
  TakeText(true, field, width, dest);
  return Given(check, label, dest);
}

bool ManditoryR(TxnCheck& check, const char* label, const char* field, size_t width, char* dest) {
  TakeText(false, field, width, dest);
  return Given(check, label, dest);
}

void Optional(const char* field, size_t width, char* dest) { TakeText(true, field, width, dest); }

void OptionalR(const char* field, size_t width, char* dest) { TakeText(false, field, width, dest); }

bool Manditory(TxnCheck& check, const char* label, char code, char* dest) {
  dest[0] = code;
  dest[1] = '\0';
  TxnScrubUtf8(dest);
  return Given(check, label, dest);
}

bool TimeValid(const Time_Stamp& s) {
  if (s.fmt != 'a' || s.dlm1 != '/' || s.dlm2 != '/' || s.dlm3 != ' ' || s.dlm4 != ':' ||
      s.dlm5 != ':' || s.dlm6 != '.' || s.dlm7 != '\0') {
    return false;
  }
  // The digits go to the database as a date and time: anything it cannot
  // read there would fail the insert as a database error and have the
  // message retried for hours, where the record itself is at fault.
  int year = Digits(s.Year, 4), mon = Digits(s.Mon, 2), day = Digits(s.Day, 2);
  int hour = Digits(s.Hour, 2), min = Digits(s.Min, 2), sec = Digits(s.Sec, 2);
  // The hundredths are dropped when a stamp is stored. An event time given
  // in seconds since 1970 carries "UT" there instead, marking universal
  // time.
  bool universal = s.Tsec[0] == 'U' && s.Tsec[1] == 'T';
  if (year < 1 || mon < 1 || mon > 12 || day < 1 || (Digits(s.Tsec, 2) < 0 && !universal)) {
    return false;
  }
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int days = mon == 2 && QdLeapYear(year) ? 29 : kDays[mon - 1];
  if (day > days) return false;
  // Hours 0..23, minutes and seconds 0..59: the database takes no leap second.
  return hour >= 0 && hour <= 23 && min >= 0 && min <= 59 && sec >= 0 && sec <= 59;
}

bool TimeValid(TxnCheck& check, const char* name, const Time_Stamp& stamp, char* dest) {
  if (TimeValid(stamp)) {
    TxnStampText(stamp, dest);
    return true;
  }
  dest[0] = '\0';
  TxnIssue(check.log, "QDZ0045", 'A', name);
  check.failed = true;
  return false;
}

void TxnStampText(const Time_Stamp& stamp, char* dest) {
  std::memcpy(dest, &stamp.Year[0], kTxnStampTextSize - 1);
  dest[kTxnStampTextSize - 1] = '\0';
}

int TxnScrubUtf8(char* text) {
  int replaced = 0;
  unsigned char* p = reinterpret_cast<unsigned char*>(text);
  const unsigned char* end = p + std::strlen(text);
  while (*p) {
    size_t n = QdUtf8Length(p, end);
    if (n == 0) {
      *p++ = '?';
      ++replaced;
    } else {
      p += n;
    }
  }
  return replaced;
}
