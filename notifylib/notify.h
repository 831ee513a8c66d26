#pragma once
// libnotifyq: raise a notification from any program on the SP without
// talking to the notifier. The record is written to a temporary file and the
// SP's file transfer process "SPFT" is asked (work message "TOQ") to carry
// that file, as file type "NOTIFY", on behalf of a named process.
//
// The notification record, byte-packed and written to the file exactly as
// it is held in memory (4657 bytes):
//
//   offset  field           width  content
//        0  urgency             1  urgency letter ('H' from the collector)
//        1  event             257  event name
//      258  source            257  source text
//      515  EventTimeFirst     24  Time_Stamp of the first occurrence
//      539  EventTimeLast      24  Time_Stamp of the last occurrence
//      563  EventLocation       1  'R' (the site's zone) or 'L' (local)
//      564  abstract           81  one-line summary
//      645  counter            10  decimal counter text
//      655  text             4001  notification text
//     4656  nclass              1  notification class
//     4657  (end)
//
// Texts are NUL-terminated within their widths. All fields are single
// bytes, so the record has no padding and no byte order.

#include <cstddef>
#include <cstdint>

#include "time_stamp.h"

struct fsNOTIFY {
  uint8_t urgency;
  char event[257];
  char source[257];
  Time_Stamp EventTimeFirst;
  Time_Stamp EventTimeLast;
  uint8_t EventLocation;
  char abstract[81];
  char counter[10];
  char text[4001];
  uint8_t nclass;
};

static_assert(sizeof(fsNOTIFY) == 4657, "fsNOTIFY is 4657 bytes");
static_assert(offsetof(fsNOTIFY, urgency) == 0, "fsNOTIFY.urgency");
static_assert(offsetof(fsNOTIFY, event) == 1, "fsNOTIFY.event");
static_assert(offsetof(fsNOTIFY, source) == 258, "fsNOTIFY.source");
static_assert(offsetof(fsNOTIFY, EventTimeFirst) == 515, "fsNOTIFY.EventTimeFirst");
static_assert(offsetof(fsNOTIFY, EventTimeLast) == 539, "fsNOTIFY.EventTimeLast");
static_assert(offsetof(fsNOTIFY, EventLocation) == 563, "fsNOTIFY.EventLocation");
static_assert(offsetof(fsNOTIFY, abstract) == 564, "fsNOTIFY.abstract");
static_assert(offsetof(fsNOTIFY, counter) == 645, "fsNOTIFY.counter");
static_assert(offsetof(fsNOTIFY, text) == 655, "fsNOTIFY.text");
static_assert(offsetof(fsNOTIFY, nclass) == 4656, "fsNOTIFY.nclass");

// Where the record files are made: "/tmp/fsnotXXXXXX" (below QD_ROOT when
// that is set; the transfer request names the path without the root, as
// every path carried in a record does).
constexpr char kNotifyFileTemplate[] = "/tmp/fsnotXXXXXX";
// File type of the transfer request.
constexpr char kNotifyFileType[] = "NOTIFY";
// Size of the error text.
constexpr size_t kNotifyErrSize = 4096;

// The library's error text: empty after a successful call, otherwise one
// line per failure, each ended by a line feed. Overwritten by every call;
// one buffer for the process, so Notify is not for several threads at once.
extern char szNotifyErrMsg[kNotifyErrSize];

// Sends `fsn` on behalf of the process registered as `id` ("QDNOT" from the
// collector). Completes the record in place first: an EventTimeFirst
// without the format letter 'a' gets the current local time, an
// EventTimeLast without it a copy of EventTimeFirst, an EventLocation other
// than 'R' or 'L' becomes 'R'.
//
// Writes the record whole to a new file made from kNotifyFileTemplate (mode
// 0644 once written, so the transfer process may read it), then sends the
// transfer request (format 1, type 'S', extra-request bit 2, urgency 'N',
// time stamp 1, file type "NOTIFY", the file's path) as "TOQ" from `id` to
// "SPFT". A send answered 0 or -96 (stored, no receiver yet) succeeds.
//
// Returns null on success; the file then stays for the transfer process,
// which removes it. On failure returns szNotifyErrMsg with the reasons in
// the order they happened ("mkstemp failed for '...':...", "write failed
// for ...", "close failed for ...", "chmod failed for ...", "Error creating
// CWorkMessages, rc=..., msg=...", the service's error text, "Unknown SEND
// return code=...;"), and removes the file it made ("remove failed for
// ..." when that fails too). Writes no log.
char* Notify(fsNOTIFY& fsn, const char* id);
