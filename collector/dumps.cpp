#include "dumps.h"

#include <dirent.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "atomic_file.h"
#include "child_process.h"
#include "event_file.h"
#include "qd_path.h"
#include "spfilter.h"

namespace {

const char* const kVqxdump = "/sp/prod/code/ruzi/bin/vqxdump";
const char* const kClusterDir = "/etc/sysconfig/sp/cluster/";

std::string Num(long long v) { return std::to_string(v); }

std::string ReqFile(const EvtmonState& st, const std::string& type) {
  return std::string(kFileBase) + "/" + st.sysid + "/req" + type;
}

// A dump name from event text: one word that cannot leave its directory.
bool SafeDumpName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.find("..") != std::string::npos) return false;
  for (unsigned char c : name) {
    if (c <= ' ' || c == 0x7f) return false;
  }
  return true;
}

int ListDir(const std::string& path, std::vector<std::string>& names) {
  DIR* d = opendir(QdPath(path).c_str());
  if (!d) return -1;
  while (dirent* ent = readdir(d)) {
    if (std::strcmp(ent->d_name, ".") && std::strcmp(ent->d_name, "..")) names.push_back(ent->d_name);
  }
  closedir(d);
  return 0;
}

void DumpEnded(EvtmonState& st, const ChildEnded& c) {
  FilterState& f = st.filter;
  if (!WIFEXITED(c.status)) return;
  const int code = WEXITSTATUS(c.status);
  const bool core = f.dumptype == "core";
  int& waiting = core ? f.reqcore : f.reqpanic;
  std::string& waitingFN = core ? f.reqcoreFN : f.reqpanicFN;
  auto [text, success] = DumpExitText(code, f.dumptype);
  Logme(st, "In chk_dumps(), Return status from vqxdump = " + Num(code) + ", " + text);
  if (success) {
    f.relaunches = 0;
    (void)del_dumpreq(st, f.dumpnode, f.dumptype);
  } else if (f.relaunches < kMaxDumpRelaunches) {
    // The fetch is repeated for the same request.
    ++f.relaunches;
    if (waiting == 0) waitingFN = f.dumpid;
    ++waiting;
  } else {
    Logme(st, "In chk_dumps(), " + f.dumptype + " fetch failed " + Num(f.relaunches + 1) +
                  " times in a row, not relaunched", '2');
    f.relaunches = 0;
  }
  f.dumptype.clear();
}

}  // namespace

std::pair<std::string, bool> DumpExitText(int code, const std::string& dumptype) {
  switch (code) {
    case 9: return {"vqxdump usage error, invalid options ", false};
    case 100: return {"vqxdump communication error ", false};
    case 119: return {"vqxdump usage error ", false};
    case 120: return {"vqxdump authorization error ", false};
    case 125: return {"getcore, could not retrieve file from node, spcomm_get_from_node failed", false};
    case 127: return {"vqxdump internal error executing command in child process ", false};
    case 150:
      return {dumptype == "core" ? "getcore, bad rc from spSendFTPreq" : "panicdump, error creating dump directory",
              false};
    case 245: return {"getcore/panicdump, cluster is unreachable, no network response ", false};
    case 246: return {"getcore/panicdump not called as spcomm", false};
    case 247: return {"getcore/panicdump invalid option ", false};
    case 248: return {"getcore/panicdump usage error ", false};
    case 249: return {"getcore/panicdump abort cleanup", false};
    case 250: return {"getcore/panicdump node chmod failure, cannot set file attributes ", false};
    case 251: return {"getcore/panicdump node xfer failure, cannot put file on node ", false};
    case 252: return {"getcore/panicdump nodes running downlevel vqx code", false};
    case 253: return {"getcore/panicdump node list failure", false};
    case 254: return {"getcore/panicdump cluster communication locked", false};
    case 255: return {"getcore/panicdump invalid cluster name", false};
    default: return {"Number of dumps processed ", true};
  }
}

bool DumpRunning(const EvtmonState& st) {
  return ChildCount(st.filter.children, KIND_DUMP) + ChildCount(st.filter.children, KIND_PROBEX) > 0;
}

int chk_dumps(EvtmonState& st) {
  FilterState& f = st.filter;
  std::vector<ChildEnded> ended = ChildReapAll(f.children);
  for (const ChildEnded& c : ended) {
    Logme(st, "In chk_dumps(), waitpid return pid  = " + Num(c.pid));
    if (c.status == -1) {
      Logme(st, "In chk_dumps(), Return from waitpid for forked child process failed ");
      if (c.kind == KIND_DUMP) f.dumptype.clear();
      continue;
    }
    if (WIFSIGNALED(c.status)) {
      Logme(st, "In chk_dumps(), Return signal from forked process = " + Num(WTERMSIG(c.status)) + " ");
    }
    if (c.kind == KIND_DUMP) {
      DumpEnded(st, c);
      if (!WIFEXITED(c.status)) f.dumptype.clear();
      continue;
    }
    if (WIFEXITED(c.status)) {
      Logme(st, "In chk_dumps(), Return status = " + Num(WEXITSTATUS(c.status)) + " from child process " +
                    Num(c.pid) + " ");
    }
    if (c.kind == KIND_FWCORE) {
      Logme(st, "In chk_dumps(), In fwcore ");
      (void)del_dumpreq(st, f.fwnode, "fwcore");
    }
  }
  if (!ended.empty()) {
    Logme(st, "In chk_dumps(), Reqcore = " + Num(f.reqcore) + ", reqpanic = " + Num(f.reqpanic) +
                  ", dumpproc = " + Num(ChildCount(f.children, KIND_DUMP) + ChildCount(f.children, KIND_PROBEX)) +
                  ", fwproc = " + Num(ChildCount(f.children, KIND_FWCORE)) +
                  ", cmdproc = " + Num(ChildCount(f.children, KIND_COMMAND)));
  }
  if (!DumpRunning(st) && (f.reqcore > 0 || f.reqpanic > 0)) (void)get_more_dumps(st);
  return static_cast<int>(ended.size());
}

int StartDumpFetch(EvtmonState& st, const std::string& type, const std::string& node,
                   const std::string& id) {
  ChildSpec cmd;
  cmd.argv = {QdPath(kVqxdump), "-I" + st.ipaddr, type, node, id};
  pid_t pid = 0;
  char err[256];
  if (QdStartChild(cmd, &pid, err, sizeof err) != CHILD_OK) {
    Logme(st, std::string("In spfilter(), could not start vqxdump: ") + err, '2');
    return -1;
  }
  ChildAdd(st.filter.children, pid, KIND_DUMP, type);
  st.filter.dumptype = type;
  st.filter.dumpid = id;
  Logme(st, "Launched vqxdump collection, pid = " + Num(pid));
  return 0;
}

int get_more_dumps(EvtmonState& st) {
  FilterState& f = st.filter;
  const bool core = f.reqcore > 0;
  const std::string id = core ? f.reqcoreFN : f.reqpanicFN;
  f.dumpnode = 999;
  if (StartDumpFetch(st, core ? "core" : "panic", "all", id.empty() ? "none" : id) != 0) {
    // Not retried on every pass: the request file keeps the requests for
    // the next fetch that starts.
    (core ? f.reqcore : f.reqpanic) = 0;
    (core ? f.reqcoreFN : f.reqpanicFN).clear();
    Logme(st, std::string("In get_more_dumps(), ") + (core ? "core" : "panic") + " fetch not started, waiting requests left to the next fetch", '2');
    return -1;
  }
  if (core) {
    --f.reqcore;
    if (f.reqcore == 0) f.reqcoreFN.clear();
    Logme(st, "In get_more_dumps(), Processing pending core dump request for file  " + id + ", pid = " +
                  Num(f.children.entries.back().pid) + " ");
  } else {
    --f.reqpanic;
    if (f.reqpanic == 0) f.reqpanicFN.clear();
    Logme(st, "In get_more_dumps(), Processing pending panic dump request for file  " + id + ", pid = " +
                  Num(f.children.entries.back().pid) + " ");
  }
  return 0;
}

int StartupDumpFetch(EvtmonState& st) {
  FilterState& f = st.filter;
  if (DumpRunning(st)) return 0;
  f.dumpnode = 999;
  if (f.reqpanic == 0) {
    f.reqpanic = 1;
    f.reqpanicFN = "none";
  }
  if (StartDumpFetch(st, "core", "all", "none") != 0) {
    (void)get_more_dumps(st);
    return -1;
  }
  return 0;
}

int add_dumpreq(EvtmonState& st, int node, const std::string& type, const std::string& file, int alertid) {
  const std::string path = ReqFile(st, type);
  if (!SafeDumpName(file)) {
    Logme(st, "In add_dmpreq(), dump name refused for file " + path + ": " + file.substr(0, 80));
    return -1;
  }
  const std::string line = Num(node) + " " + file + " " + Num(alertid) + " 1\n";
  std::string err;
  QdFileLock lock;
  (void)QdMakeDirs(QdPath(std::string(kFileBase) + "/" + st.sysid), 0777);
  if (lock.Acquire(QdPath(path + ".lock"), err) != 0 || QdAppendWhole(QdPath(path), line, err) != 0) {
    Logme(st, "In add_dmpreq(), Could not append to file " + path + ", error = " + err + " ");
    LogSpe(st, 2, 'A', "close", path, "write", -7);
    return -7;
  }
  Logme(st, "In add_dmpreq(), appended " + Num(node) + " " + file + " " + Num(alertid) + " 1 to file " + path);
  return 0;
}

int del_dumpreq(EvtmonState& st, int node, const std::string& type) {
  const std::string nodetext = node == 999 ? "all" : Num(node);
  const std::string base = std::string(kFileBase) + "/" + st.sysid;
  std::vector<std::string> names;
  if (type == "core" || type == "fwcore") {
    const std::string dir = base + "/" + (type == "core" ? "applcore" : "fwcore");
    if (ListDir(dir, names) != 0) {
      Logme(st, "In del_dumpreq(), Could not open directory " + dir + " ");
      return -1;
    }
  }
  const std::string path = ReqFile(st, type);
  std::string err, text;
  QdFileLock lock;
  if (lock.Acquire(QdPath(path + ".lock"), err) != 0) {
    Logme(st, "In del_dumpreq(), Could not open file " + path + ", reason = " + err + " ");
    return -2;
  }
  int rc = QdReadFile(QdPath(path), text, err);
  if (rc != 0) {
    Logme(st, "In del_dumpreq(), Could not open file " + path + ", reason = " +
                  (rc == 1 ? std::string("not found") : err) + " ");
    return -2;
  }
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::istringstream words(line);
    std::string n, name, alert;
    int count = 0;
    words >> n >> name >> alert >> count;
    Logme(st, "In del_dumpreq(), req for node " + nodetext + ", read record for node " + n);
    if (nodetext != "all" && n != nodetext) {
      kept += line + "\n";
      continue;
    }
    std::vector<std::string> here = names;
    if (type == "panic") {
      // "crashdmp/<dir>/<file>": the node's crash dump directory of <dir>.
      size_t a = name.find('/');
      size_t b = a == std::string::npos ? a : name.find('/', a + 1);
      std::string part = a == std::string::npos ? "" : name.substr(a + 1, b == std::string::npos ? b : b - a - 1);
      here.clear();
      if (!part.empty() && SafeDumpName(part) && SafeDumpName(n) && n.find('/') == std::string::npos) {
        (void)ListDir(base + "/" + n + "/crashdmp/" + part, here);
      }
    }
    std::string want = type == "panic" && name.rfind('/') != std::string::npos ? name.substr(name.rfind('/') + 1) : name;
    bool found = false;
    for (const auto& entry : here) {
      if (!want.empty() && entry.find(want) != std::string::npos) {
        Logme(st, "In del_dumpreq(), Found dump file " + entry + " for request " + name);
        found = true;
        break;
      }
    }
    if (found) {
      if (alert != "0") (void)ack_alert(st, alert);
      continue;
    }
    Logme(st, "In del_dumpreq(), dump file not found on SP, for request = " + name);
    if (count > 3) continue;
    kept += n + " " + name + " " + alert + " " + Num(count + 1) + "\n";
  }
  if (QdReplaceFile(QdPath(path), kept, err, 0664) != 0) {
    Logme(st, "In del_dumpreq(), Could not open file " + path + ", error = " + err + " ");
    return -4;
  }
  return 0;
}

int ack_alert(EvtmonState& st, const std::string& alertid) {
  Logme(st, "In ack_alert(), alertid = " + alertid + "\n");
  if (alertid.empty() || alertid.find_first_not_of("0123456789") != std::string::npos) {
    Logme(st, "In ack_alert(), alert id refused: " + alertid.substr(0, 40));
    return -1;
  }
  pid_t pid = LaunchCollection(st, {"-O", "special", st.sysid, st.ipaddr, st.vqx_level, "none",
                                    "cli_ack_alert " + st.sysid + " " + st.ipaddr + " " + st.vqx_level + " " + alertid},
                               KIND_COMMAND, "ack");
  if (pid < 0) {
    Logme(st, "In ack_alert(), fork failed");
    return -1;
  }
  Logme(st, "Launched alert acknowledgement process for alert " + alertid + ", pid = " + Num(pid));
  return 0;
}

int get_clustername(EvtmonState& st) {
  DIR* d = opendir(QdPath(kClusterDir).c_str());
  if (!d) {
    Logme(st, std::string("In get_clustername(), Could not open directory ") + kClusterDir + " ");
    return -1;
  }
  std::vector<std::string> files;
  while (dirent* ent = readdir(d)) {
    if (ent->d_name[0] != '.') files.push_back(ent->d_name);
  }
  closedir(d);
  int rc = 1;
  for (const auto& file : files) {
    const std::string path = kClusterDir + file;
    Logme(st, "In get_clustername(), read cluster file " + path + "\n");
    std::string text, err;
    if (QdReadFile(QdPath(path), text, err) != 0) {
      Logme(st, "In get_clustername(), Could not open file " + path + ", error = " + err + " ");
      continue;
    }
    if (text.empty()) {
      Logme(st, "In get_clustername(), Cannot read 1st line in cluster file");
      continue;
    }
    std::istringstream in(text);
    std::string line;
    bool seen = false;
    while (std::getline(in, line)) {
      size_t at = line.find("SERIALNO");
      if (at == std::string::npos) continue;
      seen = true;
      std::string value = line.substr(at + 8);
      value.erase(0, value.find_first_not_of(" \t=\"'"));
      value.erase(value.find_last_not_of(" \t\r\"'") + 1);
      if (value == st.sysid) {
        st.filter.clustername = file.substr(0, file.find('.'));
        return 0;
      }
      break;
    }
    if (!seen) Logme(st, "In get_clustername(), SERIALNO variable not found in file " + path);
  }
  return rc;
}
