// qdwm: the operator's view of the work-message service.
//
//   qdwm processes                     the registry and who is registered now
//   qdwm list [PROCESS]                one line per message
//   qdwm send FROM TO MSGNAME FILE     sends FILE's bytes, prints the new id
//   qdwm show [--raw] ID               envelope and decoded record / raw data
//   qdwm requeue ID                    rejected or retried -> available
//   qdwm drain                         re-sends the fallback spool
//   qdwm stop PROCESS                  sends a stop transaction (format 255)
//
// Exit status: 0 done, 1 the command failed (the reason on standard
// error), 2 usage error.

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "err_text.h"
#include "gdda.h"
#include "hex_id.h"
#include "hw_arch.h"
#include "local_time.h"
#include "qd_txn.h"
#include "txn_header.h"
#include "txn_print.h"
#include "work_messages.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: qdwm processes\n"
          "       qdwm list [PROCESS]\n"
          "       qdwm send FROM TO MSGNAME FILE\n"
          "       qdwm show [--raw] ID\n"
          "       qdwm requeue ID\n"
          "       qdwm drain\n"
          "       qdwm stop PROCESS\n");
  return 2;
}

int Fail(const std::string& text) {
  fprintf(stderr, "qdwm: %s\n", text.c_str());
  return 1;
}

int ServiceFail(const CWorkMessages& wm) { return Fail(wm.szErrorMsg); }

std::string When(int64_t seconds) {
  if (seconds <= 0) return "-";
  std::string text = LocalTimeText(static_cast<time_t>(seconds), "%Y-%m-%d %H:%M:%S");
  return text.empty() ? std::to_string(seconds) : text;
}

// A message id as "list" shows it: 1 to 8 hex digits.
bool ParseId(const char* text, int& id) {
  size_t n = strlen(text);
  if (n == 0 || n > 8 || strspn(text, "0123456789abcdefABCDEF") != n) return false;
  unsigned long v = strtoul(text, nullptr, 16);
  if (v == 0 || v > 0x7fffffffUL) return false;
  id = static_cast<int>(v);
  return true;
}

std::string Named(const std::string& name, int number) {
  return (name.empty() ? std::string("?") : name) + " (" + std::to_string(number) + ")";
}

int Processes(CWorkMessages& wm) {
  std::vector<WmProcessInfo> procs;
  std::vector<WmMsgNameInfo> msgs;
  if (wm.ListRegistry(procs, msgs) != 0) return ServiceFail(wm);
  printf("%5s %-16s %-3s %-8s %s\n", "UID", "PROCESS", "LOG", "INPUT", "REGISTERED");
  for (const auto& p : procs) {
    std::string regs;
    for (const auto& in : p.inputs) regs += (regs.empty() ? "" : ",") + in;
    if (p.receivers > 0) regs += " (" + std::to_string(p.receivers) + " receiver" + (p.receivers > 1 ? "s)" : ")");
    printf("%5d %-16s %-3c %-8s %s\n", p.uid, p.name.c_str(), p.logchar,
           p.input.empty() ? "-" : p.input.c_str(), regs.empty() ? "-" : regs.c_str());
  }
  printf("\n%5s %s\n", "MSGNO", "MESSAGE");
  for (const auto& m : msgs) printf("%5d %s\n", m.msgno, m.name.c_str());
  return 0;
}

int List(CWorkMessages& wm, const char* process) {
  int uid = 0;
  if (process && (uid = wm.GetUID(process)) < 1) return ServiceFail(wm);
  std::vector<WmMessageInfo> msgs;
  if (wm.ListMessages(uid, msgs) != 0) return ServiceFail(wm);
  printf("%-8s %-16s %-8s %-13s %-19s %-19s %s\n", "ID", "TARGET", "MESSAGE", "STATE", "POSTED",
         "RETRY", "LENGTH");
  for (const auto& m : msgs) {
    printf("%-8s %-16s %-8s %-13s %-19s %-19s %ld\n", HexId(m.id).c_str(),
           m.target_name.empty() ? std::to_string(m.target).c_str() : m.target_name.c_str(),
           m.msgname.empty() ? std::to_string(m.msgno).c_str() : m.msgname.c_str(),
           WmStateName(m.state), When(m.time_posted).c_str(), When(m.time_retry).c_str(), m.length);
  }
  return 0;
}

int SendBytes(CWorkMessages& wm, const char* from, const char* to, const char* msgname,
              const std::string& data, int& msgid) {
  int sender = wm.GetUID(from);
  if (sender < 1) return ServiceFail(wm);
  int target = wm.GetUID(to);
  if (target < 1) return ServiceFail(wm);
  Message_Queue_ env = {};
  env.nTargetUID = target;
  env.nDepDataLength = static_cast<int32_t>(data.size());
  env.pDepData = const_cast<char*>(data.data());
  int rc = wm.Send(sender, msgname, &env, false);
  if (rc != WM_OK && rc != WM_QUEUED) return ServiceFail(wm);
  if (rc == WM_QUEUED) fprintf(stderr, "qdwm: %s\n", wm.szErrorMsg);
  msgid = env.nMessageID;
  return 0;
}

int Send(CWorkMessages& wm, char** argv) {
  std::ifstream in(argv[3], std::ios::binary);
  if (!in) return Fail(std::string("cannot open \"") + argv[3] + "\": " + strerror(errno));
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(std::string("cannot read \"") + argv[3] + "\"");
  if (static_cast<long>(data.size()) > kWmMaxDataLength) {
    return Fail(std::string("\"") + argv[3] + "\" is larger than a message may be (" +
                std::to_string(kWmMaxDataLength) + " bytes)");
  }
  int msgid = 0;
  if (SendBytes(wm, argv[0], argv[1], argv[2], data, msgid) != 0) return 1;
  printf("%s\n", HexId(msgid).c_str());
  return 0;
}

int Show(CWorkMessages& wm, const char* idtext, bool raw) {
  int id = 0;
  if (!ParseId(idtext, id)) return Fail(std::string("invalid message id \"") + idtext + "\"");
  WmMessageInfo m;
  std::string data;
  if (wm.GetMessage(id, m, data) != 0) return ServiceFail(wm);
  if (raw) {
    if (fwrite(data.data(), 1, data.size(), stdout) != data.size() || fflush(stdout) != 0) {
      return Fail(std::string("cannot write the data: ") + strerror(errno));
    }
    return 0;
  }
  printf("id: %s\n", HexId(m.id).c_str());
  printf("target: %s\n", Named(m.target_name, m.target).c_str());
  printf("sender: %s\n", Named(m.sender_name, m.sender).c_str());
  printf("message: %s\n", Named(m.msgname, m.msgno).c_str());
  printf("state: %s\n", WmStateName(m.state));
  printf("sent: %s\nposted: %s\nretry: %s\n", When(m.time_sent).c_str(), When(m.time_posted).c_str(),
         When(m.time_retry).c_str());
  if (m.state == WQCF_Delayed_Retry) printf("retry due: %s\n", When(m.retry_due).c_str());
  printf("flags: response %d, response required %d, user %d\n", m.response, m.response_required,
         m.user_flags);
  printf("length: %ld\n", m.length);
  std::vector<std::string> lines;
  if (m.msgname == "TOQ" && !(lines = DescribeFtpRequest(data)).empty()) {
    printf("file transfer request:\n");
  } else if (!(lines = DescribeTxn(data)).empty()) {
    printf("transaction record, format %u:\n", static_cast<unsigned char>(data[0]));
  } else {
    printf("data: not a transaction record (qdwm show --raw %s writes it out)\n", HexId(m.id).c_str());
  }
  for (const auto& line : lines) printf("  %s\n", line.c_str());
  return 0;
}

int Requeue(CWorkMessages& wm, const char* idtext) {
  int id = 0;
  if (!ParseId(idtext, id)) return Fail(std::string("invalid message id \"") + idtext + "\"");
  if (wm.Requeue(id) != 0) return ServiceFail(wm);
  printf("message %s is available again\n", HexId(id).c_str());
  return 0;
}

int Drain(CWorkMessages& wm) {
  WmDrainReport report;
  int rc = wm.DrainSpool(true, report);
  for (const auto& line : report.lines) printf("%s\n", line.c_str());
  printf("spool: %d sent, %d already sent, %d set aside\n", report.sent, report.duplicates,
         report.set_aside);
  return rc == 0 ? 0 : ServiceFail(wm);
}

// The SP's identity for the record's header, from the dictionary.
std::string SpId() {
  CGDDA dict(nullptr, false);
  std::string id;
  if (dict.CreateError == 0 && dict.GetValue("SP_ID", id, GDDA_GLOBAL, true) && !id.empty()) {
    return id;
  }
  char host[64] = "unknown";
  gethostname(host, sizeof host - 1);
  return host;
}

int BuildStop(qd_Transaction_Format_255& rec, std::string& err) {
  memset(&rec, 0, sizeof rec);
  char errtext[kErrTextSize] = "";
  char arch = GetHWArch(errtext);
  if (arch == 0) {
    err = std::string("cannot tell this machine's architecture: ") + errtext;
    return -1;
  }
  struct timeval now;
  gettimeofday(&now, nullptr);
  TxnHeaderStart(rec.hdr, QD_TXN_FMT_STOP, "STP", arch);
  if (TStampOut(now.tv_sec, rec.hdr.TxnTime, true) != 0) {
    err = "cannot format the current time";
    return -1;
  }
  snprintf(rec.hdr.AssocId, sizeof rec.hdr.AssocId, "Sec%.8lXuSec%.8lX",
           static_cast<unsigned long>(now.tv_sec), static_cast<unsigned long>(now.tv_usec));
  snprintf(rec.hdr.sp.vendor, sizeof rec.hdr.sp.vendor, "Zarvek");
  snprintf(rec.hdr.sp.prod, sizeof rec.hdr.sp.prod, "SP");
  snprintf(rec.hdr.sp.id, sizeof rec.hdr.sp.id, "%s", SpId().c_str());
  snprintf(rec.comments, sizeof rec.comments, "Stop requested by operator (qdwm)");
  return 0;
}

// The message a stop goes to: the process's usual input, else the one
// message name it is registered for right now.
int StopInput(CWorkMessages& wm, const std::string& process, std::string& input) {
  std::vector<WmProcessInfo> procs;
  std::vector<WmMsgNameInfo> msgs;
  if (wm.ListRegistry(procs, msgs) != 0) return ServiceFail(wm);
  for (const auto& p : procs) {
    if (p.name != process) continue;
    if (!p.input.empty()) {
      input = p.input;
    } else if (p.inputs.size() == 1) {
      input = p.inputs[0];
    } else {
      return Fail("process " + process + " has no input message to send a stop to");
    }
    return 0;
  }
  return Fail("Unknown process name '" + process + "'");
}

int Stop(CWorkMessages& wm, const char* process) {
  std::string input, err;
  if (StopInput(wm, process, input) != 0) return 1;
  qd_Transaction_Format_255 rec;
  if (BuildStop(rec, err) != 0) return Fail(err);
  int msgid = 0;
  // The tool is no process of the registry: the stop travels from sender 0.
  int rc = wm.SendByName("QDWM", process, input, &rec, sizeof rec, msgid);
  if (rc != WM_OK && rc != WM_QUEUED) return ServiceFail(wm);
  if (rc == WM_QUEUED) fprintf(stderr, "qdwm: %s\n", wm.szErrorMsg);
  printf("stop transaction sent to %s/%s as message %s\n", process, input.c_str(), HexId(msgid).c_str());
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string cmd = argv[1];
  int nargs = argc - 2;
  char** args = argv + 2;
  bool known = (cmd == "processes" && nargs == 0) || (cmd == "list" && nargs <= 1) ||
               (cmd == "send" && nargs == 4) || (cmd == "show" && (nargs == 1 || nargs == 2)) ||
               (cmd == "requeue" && nargs == 1) || (cmd == "drain" && nargs == 0) ||
               (cmd == "stop" && nargs == 1);
  if (!known) return Usage();
  bool raw = cmd == "show" && nargs == 2;
  if (raw && strcmp(args[0], "--raw") != 0) return Usage();
  CWorkMessages wm(true);
  if (wm.nLastError != 0) return ServiceFail(wm);
  if (cmd == "processes") return Processes(wm);
  if (cmd == "list") return List(wm, nargs == 1 ? args[0] : nullptr);
  if (cmd == "send") return Send(wm, args);
  if (cmd == "show") return Show(wm, args[nargs - 1], raw);
  if (cmd == "requeue") return Requeue(wm, args[0]);
  if (cmd == "drain") return Drain(wm);
  return Stop(wm, args[0]);
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
