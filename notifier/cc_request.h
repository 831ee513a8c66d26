#pragma once
// Requests to the communications controller ("SPCM"), the process that owns
// the SP's outside connections and the transfer state. The notifier asks it
// to be signalled when the transfer state changes ("AddSignal" of the
// "BYSstate" event at start-up, "DeleteSignal" at clean-up).
//
// A request travels as the 1356-byte data of message "CCQ"; the controller
// answers with the same record, response part filled, as message "CCR" to
// the requesting process. All numbers are 32-bit little-endian, read and
// written byte by byte (the record is a byte array, never cast):
//
//   offset  size  content
//        0     3  zero
//        3    49  requester name, zero-terminated (the program name)
//       52     4  request code (ccRequests)
//       56     4  AddSignal: event code; DeleteSignal: signal entry id
//       60     4  AddSignal: requester's process id (operating system)
//       64     4  AddSignal: signal number to send
//       68     4  AddSignal: signal type, 1 ("Signal")
//       72   256  zero
//      328     4  response: result code (ccResults)
//      332  1024  response: AddSignal: the signal entry id (4 bytes);
//                 result code 12: a zero-terminated message text
//     1356        (end)

#include <cstddef>
#include <cstdint>
#include <string>

#include "work_messages.h"

constexpr size_t kCcNameOffset = 3;
constexpr size_t kCcNameSize = 49;
constexpr size_t kCcRequestOffset = 52;
constexpr size_t kCcArg1Offset = 56;  // event code, or the entry id to delete
constexpr size_t kCcPidOffset = 60;
constexpr size_t kCcSignalOffset = 64;
constexpr size_t kCcSigTypeOffset = 68;
constexpr size_t kCcResultOffset = 328;
constexpr size_t kCcDataOffset = 332;
constexpr size_t kCcDataSize = 1024;
constexpr size_t kCcRecordSize = 1356;

static_assert(kCcNameOffset + kCcNameSize == kCcRequestOffset, "cc name ends at the request");
static_assert(kCcSigTypeOffset + 4 + 256 == kCcResultOffset, "cc reserved bytes");
static_assert(kCcDataOffset + kCcDataSize == kCcRecordSize, "cc record is 1356 bytes");

// One request or response record.
struct CcRecord {
  unsigned char bytes[kCcRecordSize];
};
static_assert(sizeof(CcRecord) == kCcRecordSize, "CcRecord is 1356 bytes");

// Request codes (only AddSignal and DeleteSignal are sent by this system;
// the others are the controller's vocabulary, see CcRequestName).
enum ccRequests : long {
  ccrNotUsed = 0,
  ccrBYSstate = 2,
  ccrBYSset = 50,
  ccrAddSignal = 70,
  ccrDeleteSignal = 71,
  ccrGetSigEntry = 72,
  ccrLast = 73,
};

// Event codes.
enum ccEvents : long {
  cceNotSet = 0,
  cceBYSstate = 1,
  cceXferMediaAvail = 10,
};

// Result codes of a response.
enum ccResults : long {
  ccsError = 0,
  ccsDone = 1,
  ccsCString = 12,  // the response data is a message text
  ccsStructured = 14,
};

// Signal types of AddSignal.
constexpr long kCcSignalTypeSignal = 1;

// Results of spReqSignal2CC.
enum CcOutcome : int {
  kCcFailed = 0,
  kCcSucceeded = 1,
};

// Name tables of the controller's vocabulary. Each returns the printable
// name of `code`, "" for an unnamed code inside the table and "?" outside it.
const char* CcRequestName(long code);
const char* CcEventName(long code);
const char* CcResultName(long code);
const char* CcXferStateName(long code);   // "Off", "Out", "Both", "GDDA error"
const char* CcMediaName(long code);       // "Off", "Ethernet", "Modem"
const char* CcDirectionName(long code);   // "Not set", "Upload", "Download", "Both"
const char* CcMediaStateName(long code);  // "NotSet" .. "InitInProgress"
const char* CcSignalTypeName(long code);  // "Not set", "Signal", "CCS Message"
const char* CcBooleanName(long code);     // 0 "True", 1 "False"

// Little-endian 32-bit access to the record.
void CcPut32(CcRecord& rec, size_t offset, long value);
long CcGet32(const CcRecord& rec, size_t offset);

// Builds the record of `request` (AddSignal: `event`, `process` (the
// process to signal), `signal`,
// type Signal; DeleteSignal: the entry id `entry`) from requester `name`
// (cut to 48 characters). False for any other request code.
bool CcBuildRequest(CcRecord& rec, long request, long event, long signal, long entry,
                    long process, const char* name);

// Sends one AddSignal or DeleteSignal request to the controller and waits
// for its answer, through `wm` (the caller's message service, whose
// process is `process`). The record names the calling operating-system
// process (getpid), the one the controller signals. Returns kCcSucceeded or kCcFailed; `message`
// always holds the outcome:
//   "<no message>" before anything is tried;
//   the service's error text when "SPCM" is unknown or "CCR" cannot be
//     registered or translated;
//   "Invalid request: %ld(0x%lX)" for another request code;
//   "%s failed for %s event: " + the reason when sending, receiving or the
//     controller failed ("Communications Controller is not active.",
//     "Unknown SEND return code", the service's text, "Timeout waiting for
//     Communications Controller response." after five empty waits of one
//     second each (QD_TIME_SCALE applies), or the controller's own text for
//     result code 12);
//   "%s succeeded for %s event" on success.
// AddSignal sets `*entry` to -1 first and to the controller's entry id on
// success; DeleteSignal deletes entry `*entry`. "CCR" is unregistered at the
// end; a failure of that appends "; " and the service's text. A response
// received is deleted from the queue; a request the controller never took
// stays queued for it. Logs nothing.
[[nodiscard]] int spReqSignal2CC(long request, long event, long signal, long* entry,
                                 long process, const char* name, CWorkMessages* wm,
                                 std::string& message);
