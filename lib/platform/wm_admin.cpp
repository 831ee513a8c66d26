// The operator's view of the work-message service (qdwm): registry,
// messages, one message's data, and requeueing.

#include <algorithm>
#include <cstdio>

#include "hex_id.h"
#include "wm_conn.h"
#include "work_messages.h"

namespace {

#define WM_THIS_DATABASE "(select oid from pg_database where datname = current_database())"

const WmStatement kProcessesFull = {
    "wm_admin_processes",
    "select uid, name, logchar, coalesce(input, '') from wm.process order by uid"};
const WmStatement kMsgNamesFull = {"wm_admin_msgnames",
                                   "select msgno, name from wm.msgname order by msgno"};
const WmStatement kRegistrations = {
    "wm_admin_registrations",
    "select (objid::int8 >> 16)::int4, (objid::int8 & 65535)::int4, pid from pg_locks"
    " where locktype = 'advisory' and database = " WM_THIS_DATABASE
    "   and classid = " WM_KEY_INPUT_TEXT " and objsubid = 2 and granted"};

// The held messages are read once per statement (pg_locks is a snapshot of
// the lock table, costly to read per row).
#define WM_MESSAGE_SELECT                                                                 \
  "with held as materialized (select objid::int8 as id from pg_locks"                    \
  "  where locktype = 'advisory' and database = " WM_THIS_DATABASE                       \
  "    and classid = " WM_KEY_HELD_TEXT " and objsubid = 2 and granted)"                  \
  " select m.id, m.target, m.sender, m.msgno, m.state, m.response, m.response_required," \
  "  m.user_flags, m.time_sent, m.time_posted, m.time_retry, m.retry_due,"               \
  "  length(m.data)::int8, m.id::int8 in (select id from held)"

const WmStatement kList = {"wm_admin_list", WM_MESSAGE_SELECT
                           ", null::bytea from wm.message m"
                           " where $1::int4 = 0 or m.target = $1::int4 order by m.id"};
const WmStatement kGet = {"wm_admin_get",
                          WM_MESSAGE_SELECT ", m.data from wm.message m where m.id = $1::int4"};
const WmStatement kRequeue = {
    "wm_admin_requeue",
    "update wm.message set state = 'A' where id = (select id from wm.message"
    "   where id = $1 and state in ('R', 'D', 'J') for update skip locked)"
    " returning target, pg_notify('wm_' || target::text, '')"};

}  // namespace

int CWorkMessages::ListRegistry(std::vector<WmProcessInfo>& processes,
                                std::vector<WmMsgNameInfo>& messages) {
  processes.clear();
  messages.clear();
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  std::string err;
  bool lost = false;
  PgResult procs = ctl_->Run(kProcessesFull, WmParams(), err, lost);
  if (!procs) return DbFailure(lost, err);
  PgResult msgs = ctl_->Run(kMsgNamesFull, WmParams(), err, lost);
  if (!msgs) return DbFailure(lost, err);
  PgResult regs = ctl_->Run(kRegistrations, WmParams(), err, lost);
  if (!regs) return DbFailure(lost, err);
  for (int r = 0; r < PQntuples(msgs.get()); ++r) {
    messages.push_back({static_cast<int>(WmInt(msgs.get(), r, 0)), WmBytes(msgs.get(), r, 1)});
  }
  for (int r = 0; r < PQntuples(procs.get()); ++r) {
    WmProcessInfo p;
    p.uid = static_cast<int>(WmInt(procs.get(), r, 0));
    p.name = WmBytes(procs.get(), r, 1);
    std::string logchar = WmBytes(procs.get(), r, 2);
    p.logchar = logchar.empty() ? ' ' : logchar[0];
    p.input = WmBytes(procs.get(), r, 3);
    // Inputs in message-number order, receivers counted by session.
    std::vector<long long> pids;
    for (const auto& m : messages) {
      bool registered = false;
      for (int g = 0; g < PQntuples(regs.get()); ++g) {
        if (WmInt(regs.get(), g, 0) != p.uid || WmInt(regs.get(), g, 1) != m.msgno) continue;
        registered = true;
        long long pid = WmInt(regs.get(), g, 2);
        if (std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
      }
      if (registered) p.inputs.push_back(m.name);
    }
    p.receivers = static_cast<int>(pids.size());
    processes.push_back(p);
  }
  return Ok();
}

namespace {
void ReadInfo(const PGresult* r, int row, WmMessageInfo& m) {
  m.id = static_cast<int>(WmInt(r, row, 0));
  m.target = static_cast<int>(WmInt(r, row, 1));
  m.sender = static_cast<int>(WmInt(r, row, 2));
  m.msgno = static_cast<int>(WmInt(r, row, 3));
  m.state = WmInt(r, row, 13) != 0 ? WQCF_Received
                                     : WmStateOfCode(static_cast<char>(WmInt(r, row, 4)));
  m.response = static_cast<int>(WmInt(r, row, 5));
  m.response_required = static_cast<int>(WmInt(r, row, 6));
  m.user_flags = static_cast<int>(WmInt(r, row, 7));
  m.time_sent = WmInt(r, row, 8);
  m.time_posted = WmInt(r, row, 9);
  m.time_retry = WmInt(r, row, 10);
  m.retry_due = WmInt(r, row, 11);
  m.length = static_cast<long>(WmInt(r, row, 12));
}
}  // namespace

int CWorkMessages::ListMessages(int procid, std::vector<WmMessageInfo>& out) {
  out.clear();
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  std::string err;
  bool lost = false;
  PgResult res = ctl_->Run(kList, WmParams().Int(procid), err, lost);
  if (!res) return DbFailure(lost, err);
  for (int r = 0; r < PQntuples(res.get()); ++r) {
    WmMessageInfo m;
    ReadInfo(res.get(), r, m);
    out.push_back(m);
  }
  NameMessages(out);
  return Ok();
}

int CWorkMessages::GetMessage(int msgid, WmMessageInfo& info, std::string& data) {
  data.clear();
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  std::string err;
  bool lost = false;
  PgResult res = ctl_->Run(kGet, WmParams().Int(msgid), err, lost);
  if (!res) return DbFailure(lost, err);
  if (PQntuples(res.get()) == 0) return Fail(WM_NO_MESSAGE, "no message " + HexId(msgid));
  ReadInfo(res.get(), 0, info);
  data = WmBytes(res.get(), 0, 14);
  std::vector<WmMessageInfo> one(1, info);
  NameMessages(one);
  info = one[0];
  return Ok();
}

int CWorkMessages::Requeue(int msgid) {
  int rc = EnsureCtl();
  if (rc != 0) return rc;
  std::string err;
  bool lost = false;
  PgResult res = ctl_->Run(kRequeue, WmParams().Int(msgid), err, lost);
  if (!res) return DbFailure(lost, err);
  if (PQntuples(res.get()) == 1) return Ok();
  WmMessageInfo info;
  std::string data;
  rc = GetMessage(msgid, info, data);
  if (rc != 0) return rc;
  if (info.state == WQCF_Received) {
    return Fail(WM_NO_MESSAGE, "message " + HexId(msgid) + " is held by a receiver");
  }
  return Fail(WM_NO_MESSAGE, "message " + HexId(msgid) + " is " + WmStateName(info.state) +
                                 ", not rejected or retried");
}
