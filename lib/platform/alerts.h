#pragma once
// Operator alerts about the system itself. Each alert is one JSON object per
// line in /var/log/qd/alerts.log (through QdPath):
//
//   {"time":"2024-05-01T12:34:56+0200","kind":"process","name":"qdAnalyze",
//    "urgency":"H","abstract":"...","text":"..."}
//
// "time" is local time with its offset from UTC; "kind" is "process" for
// ProcessNotify and "backdoor" for BackDoorNotify. Strings are escaped so
// that every line is valid JSON whatever the bytes given: quotes,
// backslashes and control characters are escaped, and bytes that are not
// valid UTF-8 become U+FFFD. Each line is written with a single write() on
// an O_APPEND descriptor, so alerts of concurrent processes stay whole. The
// alert is also logged in the platform log as QDZ0090 (urgency 'A') by a
// logger named after `name`.

#include <string>

// Result codes of the alert functions.
enum QdAlertResult {
  QD_ALERT_DONE = 0,         // alert line and platform log line written
  QD_ALERT_LOG_FAILED = 1,   // alert line written, platform log line not
  QD_ALERT_FAILED = -1,      // alert line not written (the platform log line
                             // may still be); the reason goes to stderr
};

// An alert about the process `name` itself: `urgency` 'H' or 'L' (any letter
// is recorded as given), a one-line `abstract` and a longer `text`. Null
// texts are recorded as "". Returns a QdAlertResult.
int ProcessNotify(const char* name, char urgency, const char* abstract, const char* text);

// An alert raised when the normal notification path failed (a request could
// not be sent): same fields and result as ProcessNotify. `mode` is accepted
// for the callers' sake and not recorded.
int BackDoorNotify(const char* name, char urgency, const char* abstract, const char* text,
                   char mode);

// `text` as the body of a JSON string (without the surrounding quotes):
// '"' and '\\' escaped, control characters as \n, \r, \t, \b, \f or \u00XX,
// bytes that are not part of valid UTF-8 replaced by U+FFFD.
std::string QdJsonEscape(const std::string& text);
