#pragma once
// The work-message service: persistent request queues between the
// system's processes, kept in PostgreSQL (schema "wm"), reached through
// libpq with the connection text of dictionary key WM_CONNINFO (empty or
// absent: libpq's defaults, the PG* environment).
//
// Names. Processes ("QDAN", "QDNOT", ...) and messages ("AIQ", "NIQ", ...)
// are registered in the service; GetUID and Translate turn names into the
// numbers every other call takes. A message is addressed to a process and
// carries a message number; a process receives the messages addressed to
// it under the message names it registered for (SetInput).
//
// What each call does to a message (the contract):
//  - Send stores the message; it is then available. When no process is
//    registered for the target's message name at that moment, Send answers
//    -96 (queued): the message is kept (state Pending) and delivered like
//    an available one once a receiver registers.
//  - Receive outside a retry cycle takes the oldest available (or pending)
//    message among the message names the process registered for. The
//    message is then received: held by this object's session until the
//    object ends it with Delete, Retry or Reject. No other receiver gets a
//    held message.
//  - A received message that is not ended because the receiver died (even
//    killed with signal 9), lost its database session, or was destroyed,
//    becomes available again at once and is delivered again. A second
//    Receive before the held message was ended gives it back the same way.
//  - Retry keeps the message for the next retry cycle and stamps its
//    nTimeRetry with the current time.
//  - Receive in a retry cycle takes the messages kept for retry, oldest
//    first, and answers -88 when none is left. It never takes available
//    messages.
//  - Reject keeps the message, marked rejected, for operators ("qdwm
//    list", "qdwm requeue"); it is never delivered again by itself.
//  - Delete ends the message: it is gone.
//  - Receive answers -97 when the message's data is longer than the
//    buffer the receiver offers. The message is then held like a received
//    one (so the receiver can Reject it); its data is not copied.
//
// Guarantees: a stored message survives restarts of sender, receiver and
// database; two receivers of one process never hold the same message; a
// receiver waiting in Receive wakes when a message for it arrives (the
// database's LISTEN/NOTIFY), not on a timer; when the database restarts
// while a call waits, that call answers a failure (-90) and the next call
// reconnects. A message is delivered exactly once unless its receiver dies
// between working on it and ending it (then it is delivered again).
//
// How "received" is kept: Receive opens a transaction on the receiving
// session, locks the message's row (FOR UPDATE SKIP LOCKED, so two
// receivers never take the same row) and takes a transaction advisory lock
// on its id (so operators can see it as Received). Delete, Retry and Reject
// change the row and commit. The lock dies with the session, so a dead
// receiver frees its message without any timer. A registration (SetInput)
// is a session advisory lock and likewise ends with the session; Send
// looks for it to decide between 0 and -96.
//
// Each object uses up to two sessions: one for receiving (registrations,
// LISTEN, the held message) and one for everything else, so that a Send
// made while a message is held is committed at once and not tied to the
// held message's transaction.
//
// No call throws. Failures answer a negative result and leave the reason in
// szErrorMsg; nLastError holds the last result (0 after success). An object
// is for one thread; a child process made by fork must create its own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class WmConn;

// ---- results -------------------------------------------------------------

enum WmResult : int {
  WM_OK = 0,
  WM_RETRY_CYCLE_DONE = -88,  // Receive in a retry cycle: nothing more kept for retry
  WM_UNREACHABLE = -90,       // the database cannot be reached or the session broke
  WM_DB_ERROR = -91,          // a statement failed
  WM_NO_MESSAGE = -92,        // no such message for this process (or another receiver holds it)
  WM_BAD_ARGUMENT = -93,      // an argument is out of range or missing
  WM_SEND_FAILED = -94,       // Send: the message was not stored; szErrorMsg says why
  WM_ALREADY_SENT = -95,      // SendOnce: a message was stored under the key before; none now
  WM_QUEUED = -96,            // Send: stored, but no receiver is registered for it now
  WM_REFUSED = -97,           // Receive: data longer than the offered buffer (message held)
  WM_NOTHING = -98,           // Receive: nothing arrived within the wait
  WM_IMPOSSIBLE = -99,        // Receive: unknown process or no registered input
  WM_UNKNOWN_NAME = -100,     // GetUID, Translate, SetInput: name not registered
};

// States of a message.
enum WmState : int {
  WQCF_Available = 1,      // waiting for a receiver
  WQCF_Pending = 2,        // waiting; nobody was registered for it when it was sent
  WQCF_Received = 3,       // held by a receiver
  WQCF_Retry = 4,          // kept for the next retry cycle
  WQCF_Delayed_Retry = 5,  // kept for a retry cycle once its delay has passed
  WQCF_Rejected = 6,       // kept for operators
};

// Text of a state ("Available", ..., "Rejected"; "?" for anything else).
const char* WmStateName(int state);

// Every this many messages ended by one object, the object vacuums the
// message table (see CountEnded in work_messages.cpp).
constexpr long kWmVacuumEvery = 2000;
// Size of szErrorMsg.
constexpr size_t kWmErrorTextSize = 512;
// Largest message data the service stores.
constexpr long kWmMaxDataLength = 1L << 20;

// ---- the envelope --------------------------------------------------------

// Envelope of one message. A sender clears it, sets nTargetUID,
// nDepDataLength and pDepData (and may set the three one-byte flags, which
// travel with the message); Send fills nMessageID, nSenderUID, nMsgNo,
// nTimeSent and nTimePosted. A receiver offers a buffer in pDepData with
// its capacity in nDepDataLength; Receive fills every field and sets
// nDepDataLength to the data's length. Times are seconds since 1970.
//
//   offset  field               width
//        0  nResponse               1
//        1  nResponseRequired       1
//        2  nUserFlags              1
//        3  cReserved               1
//        4  nMessageID              4
//        8  nTargetUID              4
//       12  nSenderUID              4
//       16  nMsgNo                  4
//       20  nTimeSent               4
//       24  nTimePosted             4
//       28  nTimeRetry              4  0 until the message is first retried
//       32  nDepDataLength          4
//       40  pDepData                8  (36..39 padding)
struct Message_Queue_ {
  uint8_t nResponse;
  uint8_t nResponseRequired;
  uint8_t nUserFlags;
  uint8_t cReserved;
  int32_t nMessageID;
  int32_t nTargetUID;
  int32_t nSenderUID;
  int32_t nMsgNo;
  int32_t nTimeSent;
  int32_t nTimePosted;
  int32_t nTimeRetry;
  int32_t nDepDataLength;
  void* pDepData;
};

static_assert(offsetof(Message_Queue_, nMessageID) == 4, "envelope.nMessageID");
static_assert(offsetof(Message_Queue_, nTargetUID) == 8, "envelope.nTargetUID");
static_assert(offsetof(Message_Queue_, nSenderUID) == 12, "envelope.nSenderUID");
static_assert(offsetof(Message_Queue_, nMsgNo) == 16, "envelope.nMsgNo");
static_assert(offsetof(Message_Queue_, nTimeSent) == 20, "envelope.nTimeSent");
static_assert(offsetof(Message_Queue_, nTimePosted) == 24, "envelope.nTimePosted");
static_assert(offsetof(Message_Queue_, nTimeRetry) == 28, "envelope.nTimeRetry");
static_assert(offsetof(Message_Queue_, nDepDataLength) == 32, "envelope.nDepDataLength");

// ---- operator views ------------------------------------------------------

struct WmProcessInfo {
  int uid = 0;
  std::string name;
  char logchar = 0;
  std::string input;                // usual input message name, "" if none
  std::vector<std::string> inputs;  // message names registered right now
  int receivers = 0;                // sessions registered right now
};

struct WmMsgNameInfo {
  int msgno = 0;
  std::string name;
};

struct WmMessageInfo {
  int id = 0;
  int target = 0;
  int sender = 0;
  int msgno = 0;
  std::string target_name;   // "" when the registry has no such process
  std::string sender_name;
  std::string msgname;
  int state = 0;             // WmState
  int response = 0;
  int response_required = 0;
  int user_flags = 0;
  int64_t time_sent = 0;
  int64_t time_posted = 0;
  int64_t time_retry = 0;
  int64_t retry_due = 0;
  long length = 0;
};

// Outcome of one drain of the fallback spool.
struct WmDrainReport {
  int sent = 0;        // entries stored as new messages
  int duplicates = 0;  // entries whose message had already been stored
  int set_aside = 0;   // entries renamed to "<name>.bad"
  bool busy = false;   // another drain held the spool (nothing was done)
  std::vector<std::string> lines;  // one line per entry handled
};

class CWorkMessages {
 public:
  // Reason of the last failure; "" after success. First member on purpose.
  char szErrorMsg[kWmErrorTextSize];
  // Result of the last call: 0, or the negative result it answered.
  int nLastError;

  // With `connect`, opens the service session at once and reads the
  // registry; failure leaves nLastError non-zero (WM_UNREACHABLE or
  // WM_DB_ERROR) and the reason in szErrorMsg. The object stays usable: any
  // later call tries to connect again. Without `connect` nothing is done
  // until the first call.
  explicit CWorkMessages(bool connect = true);
  // Closes the sessions; a message still held becomes available again.
  ~CWorkMessages();
  CWorkMessages(const CWorkMessages&) = delete;
  CWorkMessages& operator=(const CWorkMessages&) = delete;

  // The process id (>= 1) of process `name`, and its one log character into
  // `*logchar` when given. -100 when the name is not registered (szErrorMsg
  // "Unknown process name '...'"), -90/-91 when the service failed.
  [[nodiscard]] int GetUID(const char* name, char* logchar = nullptr);

  // The message number (>= 1) of message `msgname`; -100 when not
  // registered; -90/-91 when the service failed.
  [[nodiscard]] int Translate(const char* msgname);

  // Registers this object's session as a receiver of `msgname` for process
  // `procid`. 0 when done (also when already registered); -100 unknown
  // message; -93 unknown process or "ALLQ"; -90/-91. `msgno`, when given,
  // receives the message number. `reserved` has no effect. The
  // registration lasts until UnsetInput or the end of the object (or of its
  // session: after a reconnection the object registers again by itself).
  [[nodiscard]] int SetInput(int procid, const char* msgname, int* msgno = nullptr,
                             bool reserved = false);

  // Ends the registration for `msgname`, or for all of the process's
  // message names with "ALLQ". 0 when done (also when not registered);
  // -100 unknown message name; -90/-91. `reserved` has no effect.
  [[nodiscard]] int UnsetInput(int procid, const char* msgname, int reserved = 0);

  // Takes one message for `procid` (see the contract above), waiting up to
  // `waitseconds` (scaled by QD_TIME_SCALE; 0 = do not wait) for one to
  // arrive. `env->pDepData` is the receiver's buffer and
  // `env->nDepDataLength` its capacity. Results: 0 received (envelope
  // filled, data copied); -98 nothing arrived within the wait (or a signal
  // cut the wait short); -88 in a retry cycle when nothing is left for
  // retry; -97 data longer than the buffer (envelope filled with the id and
  // the real length, message held); -99 unknown process or no registered
  // input; -93 bad envelope; -90 the database cannot be reached or went
  // away during the call (the next call reconnects); -91 a statement
  // failed. `state`, when given, receives the state the message had
  // (Available, Pending, Retry or Delayed_Retry).
  [[nodiscard]] int Receive(int procid, int waitseconds, Message_Queue_* env, bool retrycycle,
                            int* state = nullptr);

  // Receive limited to the registered message numbers from `frommsg` to
  // `tomsg` (inclusive). -99 when none of the registered numbers is in the
  // range.
  [[nodiscard]] int ReceiveByMsg(int procid, int waitseconds, Message_Queue_* env, int frommsg,
                                 int tomsg, bool retrycycle, int* state = nullptr);

  // End a message: Delete removes it; Reject keeps it marked rejected;
  // Retry keeps it for the next retry cycle (with `delayed`, for a retry
  // cycle at least `delayseconds` from now) and stamps its retry time.
  // The message is the one this object holds, or a message addressed to or
  // sent by `procid` that nobody holds. 0 when done; -92 no such message
  // for `procid`, or another receiver holds it; -90/-91 (a held message is
  // then given back by the server and delivered again).
  [[nodiscard]] int Delete(int procid, int msgid);
  [[nodiscard]] int Reject(int procid, int msgid);
  [[nodiscard]] int Retry(int procid, int msgid, bool delayed = false, long delayseconds = 0);

  // Stores a message from `ownprocid` to env->nTargetUID under `msgname`
  // with env->nDepDataLength bytes of env->pDepData. Results: 0 submitted;
  // -96 queued (stored; no receiver registered now); -94 not stored, with
  // the reason in szErrorMsg (unknown names, bad envelope, service
  // unreachable, statement failed). On 0 and -96 the envelope's
  // nMessageID, nSenderUID, nMsgNo, nTimeSent and nTimePosted are set.
  // Before storing, the message entries waiting in the fallback spool are
  // sent first (unless another process is draining it). `reserved` has no
  // effect.
  [[nodiscard]] int Send(int ownprocid, const char* msgname, Message_Queue_* env,
                         bool reserved = false);

  // Send, once for `key`: the message is stored together with the key, in
  // one transaction. When a message was stored under `key` before (by
  // SendOnce, or by a drained QueueSend entry that carried the key),
  // nothing is stored and the answer is -95, with that message's id in
  // env->nMessageID (0 when it is no longer known). A sender that may be
  // asked twice for the same message (a request delivered again after its
  // receiver died) sends it this way. Keys (1 to 200 letters, digits, '-',
  // '_' and '.') are remembered 30 days. Otherwise results as Send; a bad
  // key is -94.
  [[nodiscard]] int SendOnce(int ownprocid, const char* msgname, Message_Queue_* env,
                             const std::string& key);

  // Sends the fallback spool's entries, oldest first, each exactly once.
  // With `wait`, waits for a drain running in another process to finish;
  // without, returns 0 with report.busy set when one runs. Entries that
  // cannot be read, or name a process or message the registry does not
  // know, are set aside ("<name>.bad"). Returns 0 when every entry was
  // handled; -90/-91 when the service failed (the remaining entries stay);
  // -94 on a spool file error.
  [[nodiscard]] int DrainSpool(bool wait, WmDrainReport& report);

  // ---- operator interface (qdwm) ----

  // The registry with the registrations in force. 0 or -90/-91.
  [[nodiscard]] int ListRegistry(std::vector<WmProcessInfo>& processes,
                                 std::vector<WmMsgNameInfo>& messages);
  // Messages addressed to `procid` (every message with 0), oldest first. A
  // message some receiver holds shows state Received. 0 or -90/-91.
  [[nodiscard]] int ListMessages(int procid, std::vector<WmMessageInfo>& out);
  // One message and its data. 0; -92 no such message; -90/-91.
  [[nodiscard]] int GetMessage(int msgid, WmMessageInfo& info, std::string& data);
  // Makes a rejected or retried message available again. 0; -92 no such
  // message, or it is not rejected or retried (szErrorMsg says which), or
  // a receiver holds it; -90/-91.
  [[nodiscard]] int Requeue(int msgid);

  // Stores a message by names (sender may be unregistered: it is then
  // carried as sender 0). Used by QueueSend; results as Send, or as
  // SendOnce with a non-empty `key`. On 0 and -96 `msgid` receives the new
  // message's id (on -95 the earlier one's).
  [[nodiscard]] int SendByName(const std::string& sender, const std::string& target,
                               const std::string& msgname, const void* data, long length,
                               int& msgid, const std::string& key = "");

 private:
  struct Registry;
  struct Held;

  int Fail(int result, const std::string& text);
  int Ok();
  int EnsureCtl();
  int EnsureRecv();
  int LoadRegistry();
  int FindProcess(const std::string& name, int& uid, char* logchar);
  int FindMessage(const std::string& name, int& msgno);
  bool KnownUid(int uid);
  int Reregister();
  int ReceiveWhere(int procid, int waitseconds, Message_Queue_* env, bool retrycycle,
                   const std::vector<int>& msgnos, int* state);
  int TakeOne(int procid, const std::vector<int>& msgnos, bool retrycycle, Message_Queue_* env,
              int* state);
  void GiveBack();
  int EndMessage(int procid, int msgid, char action, long delayseconds);
  int EndHeld(char action, long delayseconds);
  int EndOther(int procid, int msgid, char action, long delayseconds);
  void CountEnded();
  int Store(int sender, int target, int msgno, const Message_Queue_& env, const void* data,
            long length, const std::string& spoolkey, int& msgid, int64_t& posted,
            bool& live);
  int SendResolved(int sender, int msgno, Message_Queue_& env, const std::string& key = "");
  void PruneKeys(bool now = false);
  void DrainBeforeSend();
  int DrainEntry(const std::string& name, WmDrainReport& report);
  int DbFailure(bool lost, const std::string& err);
  void NameMessages(std::vector<WmMessageInfo>& list);

  std::unique_ptr<WmConn> ctl_;   // registry, sends, operator calls, ending messages not held
  std::unique_ptr<WmConn> recv_;  // registrations, LISTEN, the held message
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Held> held_;    // the message this object holds, if any
  std::vector<std::pair<int, int>> inputs_;  // (procid, msgno) registered
  long ended_ = 0;                           // messages this object ended
  long keyed_ = 0;                           // messages this object sent with a key
};

// Results of QueueSend.
enum QueueSendResult : int {
  QUEUESEND_SENT = 0,      // the service took the message after all
  QUEUESEND_SPOOLED = 1,   // stored in the fallback spool
  QUEUESEND_FAILED = -1,   // neither: the message is lost unless the caller keeps it
};

// The durable fallback after a failed Send: hands the message (`length`
// bytes of `data`, from process name `sender` to process name `target` as
// message `msgname`) to the service when it can be reached (first sending
// what waits in the spool), else writes it to the fallback spool
// /var/spool/qd/wm/, whence the next successful Send of any process, or
// "qdwm drain", sends it, in order and exactly once. `resulttext` says
// where the message went (for the caller's log). Names must be 1 to 32
// letters, digits or '_'; `sender` need not be registered. With a `key`
// (as SendOnce takes it) the message is sent, or spooled, under that key:
// when a message was stored under it before, nothing is stored
// (QUEUESEND_SENT, `resulttext` says so). Never throws.
[[nodiscard]] int QueueSend(const char* sender, const char* target, const char* msgname,
                            const void* data, long length, std::string& resulttext,
                            const char* key = nullptr);

// True when `key` can serve SendOnce and QueueSend: 1 to 200 letters,
// digits, '-', '_' or '.'.
bool WmSendKeyValid(const std::string& key);
