#include "cc_request.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "str_format.h"

namespace {

constexpr const char* kController = "SPCM";
constexpr const char* kRequestMsg = "CCQ";
constexpr const char* kResponseMsg = "CCR";
constexpr int kResponseAttempts = 5;
constexpr int kResponseWait = 1;  // seconds per attempt

const char* const kRequestNames[] = {
    "Not Used", "NoOP", "BYSstate", "XferMedia", "ROMedia", "XferWaitQueue", "XferRetryQueue",
    "XferMediaState", "SPPhoneNo", "DialoutPrefix", "ROMediaState", "VelmarMediaState",
    "XferServer", "XferState", "LastXferData", "CurrXferData", "ROstate", "StatIfaces",
    "StatSetIface", "StatSetSvr", "StatAll", "StatStartTime", "StatPIP", "StatPBad",
    "StatPNonIP", "StatPAll", "StatBAll", "StatBIn", "StatBOut", "StatRate", "StatPeakRate",
    "StatSvrBall", "StatSvrBin", "StatSvrBout", "StatSvrRate", "StatSvrPeakRate",
    "CommInhQuery", "LastQuery", "", "", "", "", "", "", "", "", "", "", "", "",
    "BYSset", "XferMediaSet", "ROMediaSet", "StartSvrmonitor", "StopSvrmonitor",
    "SetDialoutPrefix", "sws", "SetSPphoneNo", "LastConfig", "", "PPPstatus", "ROstatus",
    "CancelXfer", "CommStopInh", "SetXferState", "LastStatus", "", "", "", "", "AddSignal",
    "DeleteSignal", "GetSigEntry", ""};
static_assert(sizeof kRequestNames / sizeof kRequestNames[0] == ccrLast + 1,
              "one name per request code 0..73");

const char* const kEventNames[] = {"Not set",        "BYSstate",    "XferMedia",
                                   "ROMedia",        "XferMediaState", "ROMediaState",
                                   "VelmarMediaState", "XferState", "ROState",
                                   "CommInhibit",    "cceXferMediaAvail"};
const char* const kResultNames[] = {"Error", "Done",  "No changes", "Delayed", "No data",
                                    "Enumeration", "Boolean", "Long", "ULONG", "I64",
                                    "U64", "Float", "C-string", "Time", "Structured"};
const char* const kXferStates[] = {"Off", "Out", "Both", "GDDA error"};
const char* const kMedia[] = {"Off", "Ethernet", "Modem"};
const char* const kDirections[] = {"Not set", "Upload", "Download", "Both"};
const char* const kMediaStates[] = {"NotSet",   "Done",         "NotConfigured", "Offline",
                                    "Online",   "Active",       "Idle",          "Connecting",
                                    "InProgress", "Hung",       "Gone",          "Error",
                                    "Quiesced", "Inactive",     "Cancelled",     "Disconnecting",
                                    "InitInProgress"};
const char* const kSignalTypes[] = {"Not set", "Signal", "CCS Message"};
const char* const kBooleans[] = {"True", "False"};

template <size_t N>
const char* Lookup(const char* const (&table)[N], long code) {
  return code >= 0 && static_cast<size_t>(code) < N ? table[code] : "?";
}

// Sends the request and waits for the answer. Returns kCcSucceeded, or
// kCcFailed with `why` set.
int Exchange(CWorkMessages* wm, long process, int controller, int ccr, long request,
             CcRecord& rec, long* entry, std::string& why) {
  Message_Queue_ env{};
  env.nTargetUID = controller;
  env.nDepDataLength = kCcRecordSize;
  env.pDepData = reinterpret_cast<char*>(rec.bytes);
  int rc = wm->Send(static_cast<int>(process), kRequestMsg, &env, false);
  if (rc == WM_SEND_FAILED) {
    why = wm->szErrorMsg;
    return kCcFailed;
  }
  if (rc == WM_QUEUED) {
    // Nobody takes requests now: the request must not wait for a later one.
    (void)wm->Delete(static_cast<int>(process), env.nMessageID);
    why = "Communications Controller is not active.";
    return kCcFailed;
  }
  if (rc != 0) {
    why = "Unknown SEND return code";
    return kCcFailed;
  }
  CcRecord answer{};
  for (int attempt = 0; attempt < kResponseAttempts; ++attempt) {
    Message_Queue_ in{};
    in.nDepDataLength = kCcRecordSize;
    in.pDepData = reinterpret_cast<char*>(answer.bytes);
    rc = wm->ReceiveByMsg(static_cast<int>(process), kResponseWait, &in, ccr, ccr, false);
    if (rc == WM_NOTHING) continue;
    if (rc != 0) {
      why = wm->szErrorMsg;
      return kCcFailed;
    }
    (void)wm->Delete(static_cast<int>(process), in.nMessageID);
    if (in.nDepDataLength < static_cast<int>(kCcDataOffset)) {
      why = "response too short";
      return kCcFailed;
    }
    long result = CcGet32(answer, kCcResultOffset);
    if (result == ccsCString) {
      const char* text = reinterpret_cast<const char*>(answer.bytes + kCcDataOffset);
      why.assign(text, strnlen(text, kCcDataSize));
      return kCcFailed;
    }
    if (request == ccrAddSignal) *entry = CcGet32(answer, kCcDataOffset);
    return kCcSucceeded;
  }
  why = "Timeout waiting for Communications Controller response.";
  return kCcFailed;
}

}  // namespace

const char* CcRequestName(long code) { return Lookup(kRequestNames, code); }
const char* CcEventName(long code) { return Lookup(kEventNames, code); }
const char* CcResultName(long code) { return Lookup(kResultNames, code); }
const char* CcXferStateName(long code) { return Lookup(kXferStates, code); }
const char* CcMediaName(long code) { return Lookup(kMedia, code); }
const char* CcDirectionName(long code) { return Lookup(kDirections, code); }
const char* CcMediaStateName(long code) { return Lookup(kMediaStates, code); }
const char* CcSignalTypeName(long code) { return Lookup(kSignalTypes, code); }
const char* CcBooleanName(long code) { return Lookup(kBooleans, code); }

void CcPut32(CcRecord& rec, size_t offset, long value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) rec.bytes[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

long CcGet32(const CcRecord& rec, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(rec.bytes[offset + i]) << (8 * i);
  return static_cast<long>(static_cast<int32_t>(v));
}

bool CcBuildRequest(CcRecord& rec, long request, long event, long signal, long entry,
                    long process, const char* name) {
  std::memset(rec.bytes, 0, sizeof rec.bytes);
  if (request != ccrAddSignal && request != ccrDeleteSignal) return false;
  std::snprintf(reinterpret_cast<char*>(rec.bytes + kCcNameOffset), kCcNameSize, "%s",
                name ? name : "");
  CcPut32(rec, kCcRequestOffset, request);
  if (request == ccrAddSignal) {
    CcPut32(rec, kCcArg1Offset, event);
    CcPut32(rec, kCcPidOffset, process);
    CcPut32(rec, kCcSignalOffset, signal);
    CcPut32(rec, kCcSigTypeOffset, kCcSignalTypeSignal);
  } else {
    CcPut32(rec, kCcArg1Offset, entry);
  }
  return true;
}

int spReqSignal2CC(long request, long event, long signal, long* entry, long process,
                   const char* name, CWorkMessages* wm, std::string& message) {
  message = "<no message>";
  if (request == ccrAddSignal) *entry = -1;
  int controller = wm->GetUID(kController);
  if (controller < 1) {
    message = wm->szErrorMsg;
    return kCcFailed;
  }
  int ccr = 0;
  if (wm->SetInput(static_cast<int>(process), kResponseMsg, &ccr, false) != 0 ||
      (ccr = wm->Translate(kResponseMsg)) < 1) {
    message = wm->szErrorMsg;
    return kCcFailed;
  }
  CcRecord rec;
  int result = kCcFailed;
  // The controller signals an operating-system process: the record carries
  // ours, while the message service knows us by `process`.
  if (!CcBuildRequest(rec, request, event, signal, *entry, static_cast<long>(getpid()), name)) {
    char text[80];
    std::snprintf(text, sizeof text, "Invalid request: %ld(0x%lX)", request,
                  static_cast<unsigned long>(request));
    message = text;
  } else {
    std::string why;
    result = Exchange(wm, process, controller, ccr, request, rec, entry, why);
    message = result == kCcSucceeded
                  ? QdFormat("%s succeeded for %s event", CcRequestName(request), CcEventName(event))
                  : QdFormat("%s failed for %s event: ", CcRequestName(request),
                           CcEventName(event)) + why;
  }
  if (wm->UnsetInput(static_cast<int>(process), kResponseMsg, 0) != 0) {
    message += std::string("; ") + wm->szErrorMsg;
  }
  return result;
}
