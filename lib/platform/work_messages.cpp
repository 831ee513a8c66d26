#include "work_messages.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include "hex_id.h"
#include "time_scale.h"
#include "wm_conn.h"

// ---- statements ----------------------------------------------------------

namespace {

const WmStatement kProcesses = {
    "wm_processes", "select uid, name, logchar, coalesce(input, '') from wm.process order by uid"};
const WmStatement kMsgNames = {"wm_msgnames",
                               "select msgno, name from wm.msgname order by msgno"};

// Stores one message. $1 registration key of (target, msgno); $2 target;
// $3 sender; $4 msgno; $5..$7 flags; $8 time sent; $9 data; $10 spool key
// ("" for a direct send); $11 channel of the target. A spool key already
// stored gives no row: that entry was sent before.
//
// Whether a receiver is registered is asked of the lock manager without
// waiting: receivers hold the input's lock shared. If our exclusive try
// succeeds, nobody holds it. If it fails but a shared try succeeds, the
// holders are receivers. If both fail, another sender holds it exclusively
// for a moment, which it can only do while no receiver is registered. The
// transaction locks end with the statement's transaction. (Reading
// pg_locks instead costs more than the rest of the statement.)
const WmStatement kStore = {
    "wm_store",
    "with reg as ("
    "  select case when pg_try_advisory_xact_lock(" WM_KEY_INPUT_TEXT ", $1::int4) then false"
    "         else pg_try_advisory_xact_lock_shared(" WM_KEY_INPUT_TEXT ", $1::int4) end as live),"
    " k as (insert into wm.spool_sent (key, msg_id)"
    "       select $10::text, nextval('wm.message_id') where $10::text <> ''"
    "       on conflict do nothing returning msg_id),"
    " ids as (select nextval('wm.message_id')::int4 as id where $10::text = ''"
    "         union all select msg_id from k),"
    " m as (insert into wm.message (id, target, sender, msgno, state, response,"
    "         response_required, user_flags, time_sent, time_posted, data)"
    "       select ids.id, $2, $3, $4, case when reg.live then 'A' else 'P' end, $5, $6, $7, $8,"
    "              extract(epoch from statement_timestamp())::int8, $9"
    "       from ids, reg"
    "       returning id, time_posted, state)"
    " select m.id, m.time_posted, m.state = 'A', pg_notify($11::text, '') from m"};

// Takes the oldest deliverable message of $1 among message numbers $2 and
// locks it for this transaction.
#define WM_TAKE_COLUMNS                                                          \
  "select id, sender, msgno, state, response, response_required, user_flags,"  \
  " time_sent, time_posted, time_retry, data from wm.message"
#define WM_TAKE_TAIL                                                             \
  " order by id limit 1 for update skip locked)"                                 \
  " select m.*, pg_try_advisory_xact_lock(" WM_KEY_HELD_TEXT ", m.id) from m"

const WmStatement kTake = {
    "wm_take", "with m as (" WM_TAKE_COLUMNS
               " where target = $1 and msgno = any($2::int4[]) and state in ('A', 'P')" WM_TAKE_TAIL};
const WmStatement kTakeRetry = {
    "wm_take_retry",
    "with m as (" WM_TAKE_COLUMNS
    " where target = $1 and msgno = any($2::int4[]) and state in ('R', 'D')"
    "   and (state = 'R' or retry_due <= extract(epoch from statement_timestamp())::int8)" WM_TAKE_TAIL};

// Ending the held message (inside its transaction): $1 id.
const WmStatement kDeleteHeld = {"wm_delete_held", "delete from wm.message where id = $1"};
const WmStatement kRejectHeld = {"wm_reject_held",
                                 "update wm.message set state = 'J' where id = $1"};
// $2 new state, $3 delay in seconds.
const WmStatement kRetryHeld = {
    "wm_retry_held",
    "update wm.message set state = $2::\"char\","
    " time_retry = extract(epoch from statement_timestamp())::int8,"
    " retry_due = extract(epoch from statement_timestamp())::int8 + $3::int8 where id = $1"};

// Ending a message nobody holds: $1 id, $2 the process, addressed or sender.
#define WM_FREE_ROW                                                              \
  "(select id from wm.message where id = $1 and (target = $2 or sender = $2)"   \
  " for update skip locked)"
const WmStatement kDeleteFree = {"wm_delete_free",
                                 "delete from wm.message where id = " WM_FREE_ROW " returning id"};
const WmStatement kRejectFree = {
    "wm_reject_free", "update wm.message set state = 'J' where id = " WM_FREE_ROW " returning id"};
const WmStatement kRetryFree = {
    "wm_retry_free",
    "update wm.message set state = $3::\"char\","
    " time_retry = extract(epoch from statement_timestamp())::int8,"
    " retry_due = extract(epoch from statement_timestamp())::int8 + $4::int8"
    " where id = " WM_FREE_ROW " returning id"};
const WmStatement kOwner = {"wm_owner", "select target, sender from wm.message where id = $1"};

// The message stored under a send key before: $1 key.
const WmStatement kKeyedBefore = {"wm_keyed_before",
                                  "select msg_id from wm.spool_sent where key = $1"};
// Send keys and spool keys are kept this long: far beyond the time a
// request can be delivered again (its retry limit) or a spool entry can
// wait for the next drain.
const WmStatement kPruneKeys = {
    "wm_prune_keys", "delete from wm.spool_sent where sent_at < now() - interval '30 days'"};

std::string IntArray(const std::vector<int>& values) {
  std::string text = "{";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) text += ",";
    text += std::to_string(values[i]);
  }
  return text + "}";
}

std::string Channel(int uid) { return "wm_" + std::to_string(uid); }

// The statement that takes (or gives up) the registration of one input.
std::string LockInput(int procid, int msgno, bool take) {
  return std::string("select pg_advisory_") + (take ? "lock" : "unlock") + "_shared(" +
         WM_KEY_INPUT_TEXT + ", " + std::to_string(WmInputKey(procid, msgno)) + ")";
}

long MonotonicMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// Marker of TakeOne for "no message now".
constexpr int kNone = 1;

}  // namespace

const char* WmStateName(int state) {
  switch (state) {
    case WQCF_Available: return "Available";
    case WQCF_Pending: return "Pending";
    case WQCF_Received: return "Received";
    case WQCF_Retry: return "Retry";
    case WQCF_Delayed_Retry: return "Delayed_Retry";
    case WQCF_Rejected: return "Rejected";
    default: return "?";
  }
}

// ---- object state --------------------------------------------------------

struct CWorkMessages::Registry {
  struct Process {
    int uid;
    char logchar;
  };
  std::map<std::string, Process> processes;
  std::map<std::string, int> messages;
  bool loaded = false;
};

struct CWorkMessages::Held {
  int id = 0;
  int procid = 0;
};

CWorkMessages::CWorkMessages(bool connect)
    : szErrorMsg{0},
      nLastError(0),
      ctl_(new WmConn),
      recv_(new WmConn),
      registry_(new Registry),
      held_(nullptr) {
  if (connect) EnsureCtl();
}

CWorkMessages::~CWorkMessages() = default;

int CWorkMessages::Fail(int result, const std::string& text) {
  nLastError = result;
  snprintf(szErrorMsg, sizeof szErrorMsg, "%s", text.c_str());
  return result;
}

int CWorkMessages::Ok() {
  nLastError = 0;
  szErrorMsg[0] = '\0';
  return 0;
}

int CWorkMessages::DbFailure(bool lost, const std::string& err) {
  return Fail(lost ? WM_UNREACHABLE : WM_DB_ERROR, err);
}

int CWorkMessages::EnsureCtl() {
  std::string err;
  int rc = ctl_->Ensure(err);
  if (rc < 0) return Fail(WM_UNREACHABLE, err);
  if (rc == 1 || !registry_->loaded) return LoadRegistry();
  return 0;
}

int CWorkMessages::EnsureRecv() {
  std::string err;
  int rc = recv_->Ensure(err);
  if (rc < 0) {
    held_.reset();
    return Fail(WM_UNREACHABLE, err);
  }
  if (rc == 1) {
    // A new session: whatever the old one held was given back by the
    // server, and its registrations and LISTENs are gone.
    held_.reset();
    return Reregister();
  }
  return 0;
}

int CWorkMessages::Reregister() {
  std::string err;
  bool lost = false;
  // The held message's transaction may last as long as the processing
  // step; a server-wide idle time-out must not give it back meanwhile.
  if (recv_->Command("set idle_in_transaction_session_timeout = 0", err, lost) != 0) {
    return DbFailure(lost, err);
  }
  std::vector<int> uids;
  for (const auto& in : inputs_) {
    if (recv_->Command(LockInput(in.first, in.second, true).c_str(), err, lost) != 0) {
      return DbFailure(lost, err);
    }
    if (std::find(uids.begin(), uids.end(), in.first) == uids.end()) uids.push_back(in.first);
  }
  for (int uid : uids) {
    if (recv_->Command(("listen " + Channel(uid)).c_str(), err, lost) != 0) {
      return DbFailure(lost, err);
    }
  }
  return 0;
}

int CWorkMessages::LoadRegistry() {
  std::string err;
  bool lost = false;
  PgResult procs = ctl_->Run(kProcesses, WmParams(), err, lost);
  if (!procs) return DbFailure(lost, err);
  PgResult msgs = ctl_->Run(kMsgNames, WmParams(), err, lost);
  if (!msgs) return DbFailure(lost, err);
  Registry fresh;
  for (int r = 0; r < PQntuples(procs.get()); ++r) {
    std::string logchar = WmBytes(procs.get(), r, 2);
    fresh.processes[WmBytes(procs.get(), r, 1)] = {static_cast<int>(WmInt(procs.get(), r, 0)),
                                                   logchar.empty() ? ' ' : logchar[0]};
  }
  for (int r = 0; r < PQntuples(msgs.get()); ++r) {
    fresh.messages[WmBytes(msgs.get(), r, 1)] = static_cast<int>(WmInt(msgs.get(), r, 0));
  }
  fresh.loaded = true;
  *registry_ = std::move(fresh);
  return 0;
}

// 0 found; WM_UNKNOWN_NAME; or a service failure. The registry is read
// again once when the name is missing, so names added while the process
// runs are found.
int CWorkMessages::FindProcess(const std::string& name, int& uid, char* logchar) {
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  for (int pass = 0; pass < 2; ++pass) {
    auto it = registry_->processes.find(name);
    if (it != registry_->processes.end()) {
      uid = it->second.uid;
      if (logchar) *logchar = it->second.logchar;
      return 0;
    }
    if (pass == 0 && (rc = LoadRegistry()) != 0) return rc;
  }
  return Fail(WM_UNKNOWN_NAME, "Unknown process name '" + name + "'");
}

int CWorkMessages::FindMessage(const std::string& name, int& msgno) {
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  for (int pass = 0; pass < 2; ++pass) {
    auto it = registry_->messages.find(name);
    if (it != registry_->messages.end()) {
      msgno = it->second;
      return 0;
    }
    if (pass == 0 && (rc = LoadRegistry()) != 0) return rc;
  }
  return Fail(WM_UNKNOWN_NAME, "Unknown message name '" + name + "'");
}

bool CWorkMessages::KnownUid(int uid) {
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& p : registry_->processes) {
      if (p.second.uid == uid) return true;
    }
    if (pass == 0 && LoadRegistry() != 0) return false;
  }
  return false;
}

// Fills the names of processes and messages from the registry copy.
void CWorkMessages::NameMessages(std::vector<WmMessageInfo>& list) {
  for (auto& m : list) {
    for (const auto& p : registry_->processes) {
      if (p.second.uid == m.target) m.target_name = p.first;
      if (p.second.uid == m.sender) m.sender_name = p.first;
    }
    for (const auto& n : registry_->messages) {
      if (n.second == m.msgno) m.msgname = n.first;
    }
  }
}

// ---- names ---------------------------------------------------------------

int CWorkMessages::GetUID(const char* name, char* logchar) {
  if (!name || !*name) return Fail(WM_UNKNOWN_NAME, "Unknown process name ''");
  int uid = 0;
  int rc = FindProcess(name, uid, logchar);
  if (rc != 0) return rc;
  Ok();
  return uid;
}

int CWorkMessages::Translate(const char* msgname) {
  if (!msgname || !*msgname) return Fail(WM_UNKNOWN_NAME, "Unknown message name ''");
  int msgno = 0;
  int rc = FindMessage(msgname, msgno);
  if (rc != 0) return rc;
  Ok();
  return msgno;
}

// ---- registration --------------------------------------------------------

int CWorkMessages::SetInput(int procid, const char* msgname, int* msgno, bool) {
  if (!msgname || strcmp(msgname, "ALLQ") == 0) {
    return Fail(WM_BAD_ARGUMENT, "SetInput needs one message name");
  }
  int number = 0;
  int rc = FindMessage(msgname, number);
  if (rc != 0) return rc;
  if (!KnownUid(procid)) return Fail(WM_BAD_ARGUMENT, "Unknown process id " + std::to_string(procid));
  if (msgno) *msgno = number;
  const std::pair<int, int> input(procid, number);
  if (std::find(inputs_.begin(), inputs_.end(), input) != inputs_.end()) return Ok();
  // Remember first: a new session made by EnsureRecv registers everything
  // remembered, this input included.
  inputs_.push_back(input);
  std::string err;
  bool lost = false;
  int before = recv_->Open() ? 1 : 0;
  rc = EnsureRecv();
  if (rc != 0) {
    inputs_.pop_back();
    return rc;
  }
  if (before) {
    if (recv_->Command(LockInput(procid, number, true).c_str(), err, lost) != 0 ||
        recv_->Command(("listen " + Channel(procid)).c_str(), err, lost) != 0) {
      inputs_.pop_back();
      return DbFailure(lost, err);
    }
  }
  return Ok();
}

int CWorkMessages::UnsetInput(int procid, const char* msgname, int) {
  if (!msgname) return Fail(WM_BAD_ARGUMENT, "UnsetInput needs a message name or ALLQ");
  bool all = strcmp(msgname, "ALLQ") == 0;
  int number = 0;
  if (!all) {
    int rc = FindMessage(msgname, number);
    if (rc != 0) return rc;
  }
  std::vector<std::pair<int, int>> gone;
  for (auto it = inputs_.begin(); it != inputs_.end();) {
    if (it->first == procid && (all || it->second == number)) {
      gone.push_back(*it);
      it = inputs_.erase(it);
    } else {
      ++it;
    }
  }
  // Without an open session the registrations already ended with it.
  if (gone.empty() || !recv_->Open()) return Ok();
  std::string err;
  bool lost = false;
  for (const auto& in : gone) {
    if (recv_->Command(LockInput(in.first, in.second, false).c_str(), err, lost) != 0) {
      return DbFailure(lost, err);
    }
  }
  bool still = std::any_of(inputs_.begin(), inputs_.end(),
                           [procid](const std::pair<int, int>& in) { return in.first == procid; });
  if (!still && recv_->Command(("unlisten " + Channel(procid)).c_str(), err, lost) != 0) {
    return DbFailure(lost, err);
  }
  return Ok();
}

// ---- receiving -----------------------------------------------------------

int CWorkMessages::Receive(int procid, int waitseconds, Message_Queue_* env, bool retrycycle,
                           int* state) {
  std::vector<int> msgnos;
  for (const auto& in : inputs_) {
    if (in.first == procid) msgnos.push_back(in.second);
  }
  if (msgnos.empty()) {
    return Fail(WM_IMPOSSIBLE, "process " + std::to_string(procid) + " has no registered input");
  }
  return ReceiveWhere(procid, waitseconds, env, retrycycle, msgnos, state);
}

int CWorkMessages::ReceiveByMsg(int procid, int waitseconds, Message_Queue_* env, int frommsg,
                                int tomsg, bool retrycycle, int* state) {
  std::vector<int> msgnos;
  for (const auto& in : inputs_) {
    if (in.first == procid && in.second >= frommsg && in.second <= tomsg) msgnos.push_back(in.second);
  }
  if (msgnos.empty()) {
    return Fail(WM_IMPOSSIBLE, "process " + std::to_string(procid) +
                                   " has no registered input numbered " + std::to_string(frommsg) +
                                   " to " + std::to_string(tomsg));
  }
  return ReceiveWhere(procid, waitseconds, env, retrycycle, msgnos, state);
}

int CWorkMessages::ReceiveWhere(int procid, int waitseconds, Message_Queue_* env, bool retrycycle,
                                const std::vector<int>& msgnos, int* state) {
  if (!env || env->nDepDataLength < 0 || (env->nDepDataLength > 0 && !env->pDepData)) {
    return Fail(WM_BAD_ARGUMENT, "Receive needs an envelope with a buffer");
  }
  GiveBack();
  int rc = EnsureRecv();
  if (rc != 0) return rc;
  long deadline = MonotonicMillis() + (waitseconds > 0 ? QdScaledMillis(waitseconds) : 0);
  for (;;) {
    // Notifications that came before this attempt are answered by it.
    recv_->DrainNotifies();
    rc = TakeOne(procid, msgnos, retrycycle, env, state);
    if (rc != kNone) return rc;
    if (retrycycle) return Fail(WM_RETRY_CYCLE_DONE, "nothing left for retry");
    long left = deadline - MonotonicMillis();
    if (left <= 0) break;
    std::string err;
    int w = recv_->WaitNotify(left, err);
    if (w < 0) {
      held_.reset();
      return Fail(WM_UNREACHABLE, err);
    }
    if (w == 2) break;
  }
  return Fail(WM_NOTHING, "nothing received");
}

int CWorkMessages::TakeOne(int procid, const std::vector<int>& msgnos, bool retrycycle,
                           Message_Queue_* env, int* state) {
  std::string err;
  bool lost = false;
  // One round trip: open the transaction that will hold the message, and
  // take it.
  WmParams params;
  params.Int(procid).Text(IntArray(msgnos));
  std::vector<PgResult> results;
  int rc = recv_->Batch({{nullptr, nullptr, "begin"}, {retrycycle ? &kTakeRetry : &kTake, &params, nullptr}},
                        results, err, lost);
  if (rc != 0 || PQntuples(results[1].get()) == 0) {
    // Leave the transaction before waiting: notifications only arrive
    // outside one.
    std::string ignored;
    bool gone = lost;
    if (!lost) recv_->Command("rollback", ignored, gone);
    if (rc != 0) return DbFailure(lost, err);
    return kNone;
  }
  const PGresult* r = results[1].get();
  long capacity = env->nDepDataLength;
  long length = PQgetlength(r, 0, 10);
  env->nMessageID = static_cast<int32_t>(WmInt(r, 0, 0));
  env->nTargetUID = procid;
  env->nSenderUID = static_cast<int32_t>(WmInt(r, 0, 1));
  env->nMsgNo = static_cast<int32_t>(WmInt(r, 0, 2));
  env->nResponse = static_cast<uint8_t>(WmInt(r, 0, 4));
  env->nResponseRequired = static_cast<uint8_t>(WmInt(r, 0, 5));
  env->nUserFlags = static_cast<uint8_t>(WmInt(r, 0, 6));
  env->nTimeSent = static_cast<int32_t>(WmInt(r, 0, 7));
  env->nTimePosted = static_cast<int32_t>(WmInt(r, 0, 8));
  env->nTimeRetry = static_cast<int32_t>(WmInt(r, 0, 9));
  env->nDepDataLength = static_cast<int32_t>(length);
  if (state) *state = WmStateOfCode(static_cast<char>(WmInt(r, 0, 3)));
  held_.reset(new Held{env->nMessageID, procid});
  if (length > capacity) {
    return Fail(WM_REFUSED, "message " + HexId(env->nMessageID) + " holds " + std::to_string(length) +
                                " bytes, more than the buffer of " + std::to_string(capacity));
  }
  if (length > 0) memcpy(env->pDepData, PQgetvalue(r, 0, 10), static_cast<size_t>(length));
  return Ok();
}

void CWorkMessages::GiveBack() {
  if (!held_) return;
  held_.reset();
  std::string err;
  bool lost = false;
  recv_->Command("rollback", err, lost);
}

// ---- ending messages -----------------------------------------------------

int CWorkMessages::Delete(int procid, int msgid) { return EndMessage(procid, msgid, 'X', 0); }

int CWorkMessages::Reject(int procid, int msgid) { return EndMessage(procid, msgid, 'J', 0); }

int CWorkMessages::Retry(int procid, int msgid, bool delayed, long delayseconds) {
  if (delayed && delayseconds < 0) return Fail(WM_BAD_ARGUMENT, "negative retry delay");
  return EndMessage(procid, msgid, delayed ? 'D' : 'R', delayed ? delayseconds : 0);
}

int CWorkMessages::EndMessage(int procid, int msgid, char action, long delayseconds) {
  if (held_ && held_->id == msgid) return EndHeld(action, delayseconds);
  return EndOther(procid, msgid, action, delayseconds);
}

int CWorkMessages::EndHeld(char action, long delayseconds) {
  int id = held_->id;
  held_.reset();
  std::string err;
  bool lost = false;
  WmParams params;
  params.Int(id);
  const WmStatement* stmt = &kDeleteHeld;
  if (action == 'J') {
    stmt = &kRejectHeld;
  } else if (action != 'X') {
    stmt = &kRetryHeld;
    params.Text(std::string(1, action)).Int(delayseconds);
  }
  // The change and its commit in one round trip. A failed change leaves the
  // transaction aborted, and the commit then rolls it back: the message is
  // available again, as if the receiver had died.
  std::vector<PgResult> results;
  if (recv_->Batch({{stmt, &params, nullptr}, {nullptr, nullptr, "commit"}}, results, err, lost) != 0) {
    std::string ignored;
    bool gone = lost;
    if (!lost) recv_->Command("rollback", ignored, gone);
    return DbFailure(lost, "message " + HexId(id) + ": " + err);
  }
  CountEnded();
  return Ok();
}

// Every ended message leaves a dead entry at the head of the queue's index,
// where no insert ever lands, so only vacuum removes it; until then every
// Receive walks over it. Autovacuum wakes too seldom for a busy queue (once
// a minute), so the processes that end messages vacuum the table
// themselves, every kWmVacuumEvery ended messages. SKIP_LOCKED: when a
// vacuum runs already, this one is skipped. Without the right to vacuum the
// server only warns (notices are discarded); a failure is ignored, as the
// table then merely stays slower.
void CWorkMessages::CountEnded() {
  if (++ended_ % kWmVacuumEvery != 0 || EnsureCtl() != 0) return;
  std::string err;
  bool lost = false;
  ctl_->Command("vacuum (skip_locked, index_cleanup on) wm.message", err, lost);
}

int CWorkMessages::EndOther(int procid, int msgid, char action, long delayseconds) {
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  std::string err;
  bool lost = false;
  PgResult res(nullptr);
  if (action == 'X') {
    res = ctl_->Run(kDeleteFree, WmParams().Int(msgid).Int(procid), err, lost);
  } else if (action == 'J') {
    res = ctl_->Run(kRejectFree, WmParams().Int(msgid).Int(procid), err, lost);
  } else {
    res = ctl_->Run(kRetryFree,
                    WmParams().Int(msgid).Int(procid).Text(std::string(1, action)).Int(delayseconds),
                    err, lost);
  }
  if (!res) return DbFailure(lost, err);
  if (PQntuples(res.get()) == 1) {
    CountEnded();
    return Ok();
  }
  PgResult owner = ctl_->Run(kOwner, WmParams().Int(msgid), err, lost);
  if (!owner) return DbFailure(lost, err);
  if (PQntuples(owner.get()) == 0) return Fail(WM_NO_MESSAGE, "no message " + HexId(msgid));
  int target = static_cast<int>(WmInt(owner.get(), 0, 0));
  int sender = static_cast<int>(WmInt(owner.get(), 0, 1));
  if (target != procid && sender != procid) {
    return Fail(WM_NO_MESSAGE, "message " + HexId(msgid) + " is neither addressed to nor sent by process " +
                                   std::to_string(procid));
  }
  return Fail(WM_NO_MESSAGE, "message " + HexId(msgid) + " is held by another receiver");
}

// ---- sending -------------------------------------------------------------

int CWorkMessages::Store(int sender, int target, int msgno, const Message_Queue_& env,
                         const void* data, long length, const std::string& spoolkey, int& msgid,
                         int64_t& posted, bool& live) {
  WmParams params;
  params.Int(WmInputKey(target, msgno))
      .Int(target)
      .Int(sender)
      .Int(msgno)
      .Int(env.nResponse)
      .Int(env.nResponseRequired)
      .Int(env.nUserFlags)
      .Int(env.nTimeSent)
      .Bytes(data, static_cast<size_t>(length))
      .Text(spoolkey)
      .Text(Channel(target));
  std::string err;
  bool lost = false;
  PgResult res = ctl_->Run(kStore, params, err, lost);
  if (!res) return DbFailure(lost, err);
  if (PQntuples(res.get()) == 0) return kNone;  // spool entry stored before
  msgid = static_cast<int>(WmInt(res.get(), 0, 0));
  posted = WmInt(res.get(), 0, 1);
  live = WmInt(res.get(), 0, 2) != 0;
  return 0;
}

int CWorkMessages::Send(int ownprocid, const char* msgname, Message_Queue_* env, bool) {
  if (!env || !msgname) return Fail(WM_SEND_FAILED, "Send needs an envelope and a message name");
  int msgno = 0;
  if (FindMessage(msgname, msgno) != 0) return Fail(WM_SEND_FAILED, szErrorMsg);
  if (!KnownUid(ownprocid)) {
    return Fail(WM_SEND_FAILED, "Unknown sending process id " + std::to_string(ownprocid));
  }
  return SendResolved(ownprocid, msgno, *env);
}

int CWorkMessages::SendOnce(int ownprocid, const char* msgname, Message_Queue_* env,
                           const std::string& key) {
  if (!WmSendKeyValid(key)) return Fail(WM_SEND_FAILED, "invalid send key '" + key + "'");
  if (!env || !msgname) return Fail(WM_SEND_FAILED, "Send needs an envelope and a message name");
  int msgno = 0;
  if (FindMessage(msgname, msgno) != 0) return Fail(WM_SEND_FAILED, szErrorMsg);
  if (!KnownUid(ownprocid)) {
    return Fail(WM_SEND_FAILED, "Unknown sending process id " + std::to_string(ownprocid));
  }
  return SendResolved(ownprocid, msgno, *env, key);
}

// The table of keys grows by one row per keyed send; the first keyed send
// of an object and every kWmVacuumEvery-th one remove the old keys (a
// drain that sent entries does it `now`). A failure only leaves them for
// the next time.
void CWorkMessages::PruneKeys(bool now) {
  if (!now && keyed_++ % kWmVacuumEvery != 0) return;
  std::string err;
  bool lost = false;
  ctl_->Run(kPruneKeys, WmParams(), err, lost);
}

int CWorkMessages::SendResolved(int sender, int msgno, Message_Queue_& env,
                                const std::string& key) {
  if (env.nDepDataLength < 0 || env.nDepDataLength > kWmMaxDataLength ||
      (env.nDepDataLength > 0 && !env.pDepData)) {
    return Fail(WM_SEND_FAILED, "invalid data length " + std::to_string(env.nDepDataLength));
  }
  if (!KnownUid(env.nTargetUID)) {
    return Fail(WM_SEND_FAILED, "Unknown target process id " + std::to_string(env.nTargetUID));
  }
  DrainBeforeSend();
  env.nTimeSent = static_cast<int32_t>(time(nullptr));
  int msgid = 0;
  int64_t posted = 0;
  bool live = false;
  int rc = Store(sender, env.nTargetUID, msgno, env, env.pDepData, env.nDepDataLength, key, msgid,
                 posted, live);
  if (rc < 0) return Fail(WM_SEND_FAILED, szErrorMsg);
  if (rc == kNone) {
    std::string err;
    bool lost = false;
    PgResult before = ctl_->Run(kKeyedBefore, WmParams().Text(key), err, lost);
    env.nMessageID = before && PQntuples(before.get()) == 1
                         ? static_cast<int32_t>(WmInt(before.get(), 0, 0))
                         : 0;
    return Fail(WM_ALREADY_SENT, "a message was sent under key '" + key + "' before (" +
                                     HexId(env.nMessageID) + "); none sent now");
  }
  if (!key.empty()) PruneKeys();
  env.nMessageID = msgid;
  env.nSenderUID = sender;
  env.nMsgNo = msgno;
  env.nTimePosted = static_cast<int32_t>(posted);
  if (!live) {
    std::string target = std::to_string(env.nTargetUID), message = std::to_string(msgno);
    for (const auto& p : registry_->processes) {
      if (p.second.uid == env.nTargetUID) target = p.first;
    }
    for (const auto& m : registry_->messages) {
      if (m.second == msgno) message = m.first;
    }
    return Fail(WM_QUEUED, "no receiver registered for " + target + "/" + message + "; message " +
                               HexId(msgid) + " kept until one is");
  }
  return Ok();
}

int CWorkMessages::SendByName(const std::string& sender, const std::string& target,
                              const std::string& msgname, const void* data, long length,
                              int& msgid, const std::string& key) {
  if (!key.empty() && !WmSendKeyValid(key)) {
    return Fail(WM_SEND_FAILED, "invalid send key '" + key + "'");
  }
  Message_Queue_ env = {};
  env.nDepDataLength = static_cast<int32_t>(std::min(length, kWmMaxDataLength + 1));
  env.pDepData = const_cast<void*>(data);
  int targetuid = 0, senderuid = 0, msgno = 0;
  if (FindProcess(target, targetuid, nullptr) != 0 || FindMessage(msgname, msgno) != 0) {
    return Fail(WM_SEND_FAILED, szErrorMsg);
  }
  // A sender that is no process of the registry (a program's own name)
  // travels as sender 0.
  if (FindProcess(sender, senderuid, nullptr) != 0 && nLastError != WM_UNKNOWN_NAME) {
    return Fail(WM_SEND_FAILED, szErrorMsg);
  }
  env.nTargetUID = targetuid;
  int rc = SendResolved(senderuid, msgno, env, key);
  msgid = env.nMessageID;
  return rc;
}

bool WmSendKeyValid(const std::string& key) {
  if (key.empty() || key.size() > 200) return false;
  return std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_' || c == '.';
  });
}
