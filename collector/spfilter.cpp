#include "spfilter.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>

#include "child_process.h"
#include "dumps.h"
#include "event_file.h"
#include "prefilter.h"
#include "qd_path.h"
#include "sw_update.h"
#include "time_scale.h"

namespace {

const char* const kSpcollect = "/sp/prod/code/ruzi/bin/spcollect";
const char* const kProbex = "/sp/prod/code/ruzi/bin/Probex";

std::string Num(long long v) { return std::to_string(v); }

// One event on its way through the rules.
struct FilterRun {
  EvtmonState& st;
  const evtmon_t& e;
  std::string code;  // message code "%x"
  std::string name;  // file name, the collection id `temp`
  std::string pathname;
  std::string seq;
  std::string filetype = "event";
  time_t filetime;
  long evtime;
  bool analyze = false;
  pid_t collector = 0;  // collection whose output the analysis waits for
  int rule_sev = 6;
  const FilterEntry* rule = nullptr;
};

void Log(FilterRun& r, const std::string& text) { Logme(r.st, text); }

bool SevPasses(const FilterRun& r) { return r.e.sev <= r.rule_sev; }

// Component look-up: own type record, then the ten container slots.
struct Found {
  const evt_comp_t* comp = nullptr;
  const evt_comp_type_t* rec = nullptr;
};

std::vector<Found> FindAll(const evtmon_t& e, const char* type_name, bool with_id) {
  std::vector<Found> out;
  int n = e.comps.count < 0 ? 0 : e.comps.count > kEvtMaxComps + 1 ? kEvtMaxComps + 1 : e.comps.count;
  for (int i = 0; i < n; ++i) {
    const evt_comp_t& c = e.comps.comp[i];
    auto visit = [&](const evt_comp_type_t& t) {
      if (std::strcmp(t.type_name, type_name) == 0 && (!with_id || t.id_specified)) out.push_back({&c, &t});
    };
    visit(c.type);
    for (const auto& t : c.containers) visit(t);
  }
  return out;
}

bool First(const evtmon_t& e, const char* type_name, bool with_id, Found& f) {
  auto all = FindAll(e, type_name, with_id);
  if (all.empty()) return false;
  f = all.front();
  return true;
}

std::string LastName(const evtmon_t& e, const char* type_name, const char* dflt) {
  auto all = FindAll(e, type_name, false);
  return all.empty() ? dflt : all.back().comp->name;
}

std::string Id(const Found& f) { return Num(static_cast<long long>(f.rec->id)); }

std::string Word(const std::string& text, size_t n) {
  std::istringstream in(text);
  std::string w;
  for (size_t i = 0; i <= n; ++i) {
    if (!(in >> w)) return "";
  }
  return w;
}

std::string CommandLine(const FilterRun& r, const std::string& x, const std::vector<std::string>& extra) {
  std::string line = x + " " + r.st.sysid + " " + r.st.ipaddr + " " + r.st.vqx_level + " " + r.name;
  for (const auto& v : extra) line += " " + v;
  return line;
}

// Refuses values the command line cannot carry; logged.
bool ValuesSafe(FilterRun& r, const std::vector<std::string>& values) {
  for (const auto& v : values) {
    // A time of build_cli_timestamp travels as one quoted word.
    const bool quoted = v.size() >= 2 && v.front() == '\'' && v.back() == '\'' &&
                        QuotableText(v.substr(1, v.size() - 2));
    if (!quoted && !CommandWord(v)) {
      Log(r, "In spfilter(), value refused for the collection command line of " + std::string(r.e.type) +
                 ", msgcode " + r.code + ": " + v.substr(0, 80));
      return false;
    }
  }
  return true;
}

bool Suppressed(FilterRun& r, const std::string& key, long window) {
  time_t now = time(nullptr);
  bool full = false;
  int ok = check_proc(r.st.filter.procs, key, now, window, &full);
  if (full) Log(r, "spfilter pPE reached max entries");
  if (ok) return false;
  Log(r, "In spfilter() - " + key + " proc suppressed, proc_OK = 0, last " + key + " time = " +
             Num(proc_time(r.st.filter.procs, key)) + ", now time = " + Num(now));
  return true;
}

pid_t Launch(FilterRun& r, const std::string& x, const std::vector<std::string>& extra, int kind) {
  return LaunchCollection(r.st, {"-O", "special", r.st.sysid, r.st.ipaddr, r.st.vqx_level, r.name,
                                 CommandLine(r, x, extra)},
                          kind, r.name);
}

// A plain launch: the analysis flag stays as it is.
void LaunchOnly(FilterRun& r, const std::string& key, long window, const std::string& x,
                const std::vector<std::string>& extra, const std::string& what) {
  if (!key.empty() && Suppressed(r, key, window)) return;
  if (!ValuesSafe(r, extra)) return;
  if (!key.empty()) (void)update_proc_time(r.st.filter.procs, key, time(nullptr));
  Log(r, "Launching " + what + ", vqx level = " + r.st.vqx_level);
  pid_t pid = Launch(r, x, extra, KIND_COMMAND);
  if (pid > 0) Log(r, "Launched " + what + ", pid = " + Num(pid));
}

// The "-" at `dash` of the file sequence becomes "+", and the event file
// takes the new name; a failed rename keeps the old name (logged).
void RenameForCollection(FilterRun& r, size_t dash) {
  std::string seq = r.seq;
  seq[dash] = '+';
  char stamp[16];
  build_timestamp(stamp, r.filetime);
  const std::string temp = std::string(stamp) + "." + seq;
  const std::string path = std::string(kFileBase) + "/" + r.st.sysid + "/" + r.filetype + "/" + temp;
  if (rename(QdPath(r.pathname).c_str(), QdPath(path).c_str()) != 0) {
    Log(r, "In spfilter, rename of file " + r.pathname + " failed, rc = -1, err = " + std::strerror(errno));
    return;
  }
  r.pathname = path;
  r.seq = seq;
  r.name = temp;
}

void CollectAndRename(FilterRun& r, const std::string& key, const std::string& x,
                      const std::vector<std::string>& extra, const std::string& what) {
  if (!key.empty() && Suppressed(r, key, kProcWindow)) return;
  if (!ValuesSafe(r, extra)) return;
  size_t dash = r.seq.find('-');
  if (dash == std::string::npos) {
    // Nothing is launched; the event is still analysed.
    Log(r, "In spfilter(),Unexpected event sequence format for " + std::string(r.e.type) + ", msgcode " + r.code);
    return;
  }
  if (!key.empty()) (void)update_proc_time(r.st.filter.procs, key, time(nullptr));
  RenameForCollection(r, dash);
  Log(r, "Launching " + what + ", for " + r.name + ", vqx level = " + r.st.vqx_level);
  pid_t pid = Launch(r, x, extra, KIND_COMMAND);
  if (pid > 0) {
    Log(r, "Launched " + what + ", pid = " + Num(pid));
    r.collector = pid;
  }
}

// The value list of actions 90, 91 and 95.
std::string ValueList(const FilterRun& r, bool names) {
  std::string list;
  for (const auto& comp : r.rule->comp) {
    if (comp[0] == ' ' || comp[0] == '\0') continue;
    Found f;
    if (!First(r.e, comp, true, f)) continue;
    std::string v;
    if (names || !std::strcmp(comp, "comp_sw_ld") || !std::strcmp(comp, "comp_sw_vv")) v = f.comp->name;
    else if (!std::strcmp(comp, "comp_hw_cage")) v = "cage" + Id(f);
    else v = Id(f);
    list += (list.empty() ? "" : "@") + v;
  }
  return list.empty() ? "none" : list;
}

std::string CommandKey(const std::string& command, bool sys_first, const std::string& list) {
  struct K { const char* word; bool with_list; };
  static const K order[] = {{"cage", true}, {"bat", false}, {"lddata", true}, {"net", false},
                            {"pddata", true}, {"sys", false}, {"eeprom", false}, {"fwcore", false},
                            {"lesb", true}, {"idelog", false}, {"rawevlog", false}, {"task", true},
                            {"nodeps", false}, {"vvdata", true}, {"temp", false}, {"flusher", false}};
  if (sys_first && command.find("sys") != std::string::npos) return "sys";
  for (const K& k : order) {
    if (command.find(k.word) != std::string::npos) return std::string(k.word) + (k.with_list ? list : "");
  }
  return "unknown";
}

void MemoryDump(FilterRun& r) {
  FilterState& f = r.st.filter;
  const bool core = !std::strcmp(r.e.type, "evt_coredump") || r.code == "c0003";
  const std::string s = r.e.event_string;
  std::string dumpfile;
  bool ok = false;
  if (core) {
    // "...: ...: <path>.<process>.<pid>.<date-hour>:<minute>:<second> ..."
    size_t c1 = s.find(':');
    size_t c2 = c1 == std::string::npos ? c1 : s.find(':', c1 + 1);
    if (c2 != std::string::npos) {
      std::string rest = s.substr(c2 + 1);
      rest.erase(0, rest.find_first_not_of(' '));
      size_t d1 = rest.find('.');
      size_t d2 = d1 == std::string::npos ? d1 : rest.find('.', d1 + 1);
      size_t d3 = d2 == std::string::npos ? d2 : rest.find('.', d2 + 1);
      if (d3 != std::string::npos) {
        std::string proc = rest.substr(d1 + 1, d2 - d1 - 1), pid = rest.substr(d2 + 1, d3 - d2 - 1);
        std::string when = rest.substr(d3 + 1);
        size_t k1 = when.find(':');
        size_t k2 = k1 == std::string::npos ? k1 : when.find(':', k1 + 1);
        if (k2 != std::string::npos) {
          std::string date = when.substr(0, k1), min = when.substr(k1 + 1, k2 - k1 - 1);
          std::string sec = when.substr(k2 + 1, when.find(' ', k2) - k2 - 1);
          if (!proc.empty() && !pid.empty() && !date.empty() && !min.empty() && !sec.empty()) {
            dumpfile = proc + "." + pid + "." + date + "_" + min + "_" + sec;
            ok = true;
          }
        }
      }
    }
  } else {
    size_t k = s.find("kernel");
    size_t slash = k == std::string::npos ? k : s.find('/', k);
    if (slash != std::string::npos) {
      std::string dir = s.substr(slash, s.find(' ', slash) - slash);
      dumpfile = "crashdmp" + dir + "/" + r.name;
      ok = dir.size() > 1;
    }
  }
  if (!ok) {
    Log(r, "In spfilter(),Unexpected event string format for " + std::string(r.e.type) + ", msgcode " + r.code);
    return;
  }
  const std::string type = core ? "core" : "panic";
  if (add_dumpreq(r.st, r.e.node, type, dumpfile, r.e.alert_id) == -1) return;
  if (!DumpRunning(r.st)) {
    f.dumpnode = r.e.node;
    if (StartDumpFetch(r.st, type, Num(r.e.node), r.name) == 0) return;
  }
  // A fetch runs: the request waits, keeping the id of the first one.
  if (core) {
    if (f.reqcore == 0) {
      f.reqcore = 1;
      f.reqcoreFN = r.name;
    }
  } else if (f.reqpanic == 0) {
    f.reqpanic = 1;
    f.reqpanicFN = r.name;
  }
}

void Probex(FilterRun& r) {
  FilterState& f = r.st.filter;
  if (f.sw_update_time != 0) {
    Log(r, "In spfilter, action 21(), Software update in progress, Probex collection suppressed");
    return;
  }
  const std::string key = "probex";
  time_t now = time(nullptr);
  bool full = false;
  int ok = check_proc(f.procs, key, now, 3600, &full);
  if (full) Log(r, "spfilter pPE reached max entries");
  const int dumps = ChildCount(f.children, KIND_DUMP) + ChildCount(f.children, KIND_PROBEX);
  Log(r, "In spfilter() - action 21, reqcore = " + Num(f.reqcore) + ", reqpanic = " + Num(f.reqpanic) +
             ", dumpproc = " + Num(dumps) + ", proc_OK = " + Num(ok));
  if (!ok || dumps > 0 || f.reqcore > 0 || f.reqpanic > 0) {
    Log(r, "In spfilter() - " + key + " proc suppressed, max_proc_secs = 3600, last " + key +
               " time = " + Num(proc_time(f.procs, key)) + ", now time = " + Num(now));
    return;
  }
  if (get_clustername(r.st) != 0) {
    Log(r, "In spfilter(), could not determine cluster name, cannot run Probex");
    return;
  }
  (void)update_proc_time(f.procs, key, now);
  ChildSpec cmd;
  cmd.argv = {QdPath(kProbex), f.clustername};
  pid_t pid = 0;
  char err[256];
  if (QdStartChild(cmd, &pid, err, sizeof err) != CHILD_OK) {
    Log(r, std::string("In spfilter(), could not start Probex: ") + err);
    return;
  }
  ChildAdd(f.children, pid, KIND_PROBEX, "probex");
  Log(r, "Launched Probex collection, pid = " + Num(pid));
}

// The actions whose severity check passed (or that have none).
void RunAction(FilterRun& r, int action) {
  const evtmon_t& e = r.e;
  const std::string s = e.event_string;
  const std::string none = "none";
  Found f;
  switch (action) {
    case 0:
      return;
    case 1:
      return MemoryDump(r);
    case 2: case 3: case 4: case 5: case 6: {
      static const char* const kinds[] = {"biosmsg", "eeprom", "environ", "evtlog", "perform"};
      r.filetype = kinds[action - 2];
      (void)LaunchCollection(r.st, {"-O", r.filetype, r.st.sysid, r.st.ipaddr, r.st.vqx_level, r.name},
                             KIND_COMMAND, r.name);
      return;
    }
    case 8: {
      r.st.filter.fwnode = e.node;
      if (add_dumpreq(r.st, e.node, "fwcore", r.name, e.alert_id) == -1) return;
      pid_t pid = Launch(r, "cli_get_fwcore", {}, KIND_FWCORE);
      if (pid > 0) Log(r, "Launched fwcore collection, pid = " + Num(pid));
      return;
    }
    case 9: {
      if (std::strcmp(r.rule->cmpstr, " ") != 0 && !std::strstr(e.event_string, r.rule->cmpstr)) {
        Log(r, "In spfilter Action 9. fcmpstring does not match event string " + s + " ");
        r.analyze = false;
        return;
      }
      std::string cmd = Word(r.rule->command, 0);
      if (cmd.empty()) return;
      pid_t pid = Launch(r, r.rule->command, {}, KIND_COMMAND);
      if (pid > 0) Log(r, "Launched special custom collection, pid = " + Num(pid));
      return;
    }
    case 10:
      (void)SoftwareUpdateAction(r.st, e, r.evtime > 0 ? r.evtime : r.filetime);
      return;
    case 11: {
      std::string port;
      if (r.code == "300de") {
        port = Word(s, 1);
        if (port.find(':') == std::string::npos) port.clear();
      } else {
        size_t a = s.find('['), b = a == std::string::npos ? a : s.find(']', a);
        if (b != std::string::npos) port = s.substr(a + 1, b - a - 1);
      }
      if (port.empty()) {
        Log(r, "In spfilter(),Unexpected event string format for " + std::string(e.type));
        return;
      }
      Log(r, "Launching lesb count collection, portid = " + port + ", vqx level = " + r.st.vqx_level);
      return CollectAndRename(r, "lesb" + port, "cli_get_lesb", {port}, "lesb count collection");
    }
    case 12: {
      size_t dot = s.find('.');
      std::string ide = dot == std::string::npos || dot + 1 == s.size() ? none : s.substr(dot + 1);
      return LaunchOnly(r, "idelog", kProcWindow, "cli_get_idelog", {ide}, "bios idelog collection");
    }
    case 13: {
      std::string w = Word(s, 1);
      return CollectAndRename(r, "eeprom", "cli_showeeprom", {w.empty() ? none : w}, "eeprom data");
    }
    case 14: {
      std::string cage = First(e, "comp_hw_cage", true, f) ? "cage" + Id(f) : none;
      return CollectAndRename(r, "cage" + cage, "cli_showcage", {cage}, "cage data");
    }
    case 15: {
      std::string node = First(e, "comp_hw_node", false, f) && f.rec->id_specified ? Id(f) : Num(e.node);
      time_t t = r.evtime > 0 ? r.evtime : r.filetime;
      return CollectAndRename(r, "sys", "cli_showsys",
                              {build_cli_timestamp(t - 60), build_cli_timestamp(t + 30), node}, "showsys data");
    }
    case 16:
      return CollectAndRename(r, "bat", "cli_showbat", {none, r.code}, "showbattery data");
    case 17:
      return CollectAndRename(r, "net", "cli_shownet", {none}, "shownet data");
    case 18: {
      std::string pd = none;
      if (First(e, "comp_sw_pd", true, f)) {
        pd = Id(f);
      } else if (First(e, "comp_hw_disk", true, f)) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "%016" PRIX64, static_cast<uint64_t>(f.rec->id));
        pd = hex;
      }
      time_t t = r.evtime > 0 ? r.evtime : r.filetime;
      return CollectAndRename(r, "pddata" + pd, "cli_get_pddata",
                              {pd, build_cli_timestamp(t - 1800), build_cli_timestamp(t + 30), r.code},
                              "disk fail data");
    }
    case 19: {
      std::string ld = First(e, "comp_sw_ld", false, f) ? f.comp->name : none;
      return CollectAndRename(r, "lddata" + ld, "cli_get_lddata", {ld}, "ldsk fail data");
    }
    case 20: {
      size_t slash = s.find('/');
      std::string dir = slash == std::string::npos ? "" : s.substr(slash + 1);
      if (dir.empty()) {
        dir = none;
        Log(r, "In spfilter(),No saved_event directory in event string for " + std::string(e.type) +
                   ", msgcode " + r.code);
      }
      return LaunchOnly(r, "rawevlg", 86400, "cli_get_rawevlg", {dir}, "raw event log data");
    }
    case 21:
      return Probex(r);
    case 22: {
      std::string id = First(e, "comp_sw_task", true, f) ? Id(f) : none;
      return CollectAndRename(r, "task" + id, "cli_showtask", {id}, "task data");
    }
    case 23: {
      std::string cpg = LastName(e, "comp_sw_cp", "ALL"), vv = LastName(e, "comp_sw_vv", "NONE");
      return CollectAndRename(r, "cpgdata" + cpg, "cli_get_cpgdata", {cpg, vv}, "cpg data");
    }
    case 24: {
      std::string ld = LastName(e, "comp_sw_ld", "NONE"), vv = LastName(e, "comp_sw_vv", "NONE");
      if (ld == "NONE" && vv == "NONE") return;
      return CollectAndRename(r, "pdslddata" + ld, "cli_get_pdslddata", {ld, vv}, "pdsld data");
    }
    case 25: {
      std::string vv;
      std::istringstream in(s);
      std::string w, prev;
      while (in >> w) {
        if (prev == "VV") {
          vv = w;
          break;
        }
        prev = w;
      }
      if (vv.empty()) {
        size_t at = s.find("volume");
        if (at != std::string::npos) {
          std::string rest = s.substr(at + 6);
          rest.erase(0, rest.find_first_not_of(" '"));
          vv = rest.substr(0, rest.find('\''));
          while (!vv.empty() && vv.back() == ' ') vv.pop_back();
        }
      }
      if (vv.empty()) {
        Log(r, "In spfilter(),Unexpected event string format for " + std::string(e.type));
        return;
      }
      return CollectAndRename(r, "vvdata" + vv, "cli_get_vvdata", {vv}, "vv data");
    }
    case 26:
      return CollectAndRename(r, "nodeps", "cli_shownodeps", {none}, "shownodeps data");
    case 27: {
      std::string loc = "Node";
      for (int i = 0; i < e.comps.count && i <= kEvtMaxComps && loc == "Node"; ++i) {
        const evt_comp_t& c = e.comps.comp[i];
        for (int k = -1; k < kEvtContainerSlots; ++k) {
          const evt_comp_type_t& t = k < 0 ? c.type : c.containers[k];
          if (!t.id_specified) continue;
          if (!std::strcmp(t.type_name, "comp_hw_cage")) loc = "cage" + Num(static_cast<long long>(t.id));
          else if (!std::strcmp(t.type_name, "comp_hw_node")) loc = Num(static_cast<long long>(t.id));
          else continue;
          break;
        }
      }
      return CollectAndRename(r, "sfpdata", "cli_get_sfpdata", {loc}, "sfp data");
    }
    case 28: {
      std::string node = Num(e.node), file = "NONE";
      bool have_file = false;
      for (int i = 0; i < e.params.count && i <= kEvtMaxParams; ++i) {
        const evt_param_t& p = e.params.param[i];
        if (!std::strcmp(p.name, "Node")) node = p.value;
        if (!std::strcmp(p.name, "File") && !have_file) {
          file = p.value;
          have_file = true;
        }
      }
      if (file == "NONE") return;
      return LaunchOnly(r, "", 0, "cli_get_filedata", {node, file}, "file data");
    }
    case 29: {
      std::string vol = LastName(e, "comp_sw_rmm_volume", "NONE"), grp = LastName(e, "comp_sw_rmm_group", "NONE");
      return CollectAndRename(r, "rcopy" + vol, "cli_get_rcopy", {vol, grp, r.code}, "rcopy data");
    }
    case 30:
      return CollectAndRename(r, "swdata", "cli_get_swdata", {r.code}, "VQX software data");
    case 90: case 91: case 95: {
      std::string list = ValueList(r, action == 95);
      std::string cmd = r.rule->command;
      std::string key = action == 95 ? list : CommandKey(cmd, action == 91, list);
      std::vector<std::string> extra;
      if (action == 91) {
        time_t t = r.evtime > 0 ? r.evtime : r.filetime;
        extra = {build_cli_timestamp(t - 60), build_cli_timestamp(t + 30)};
      }
      extra.push_back(list);
      Log(r, "Launching " + cmd + ", for " + std::string(e.type) + ", seq " + r.seq + ", cmd = " + cmd);
      return CollectAndRename(r, key, cmd, extra, cmd);
    }
    default:
      return;
  }
}

// Action 92: the event string travels in single quotes.
void QuotedCollection(FilterRun& r) {
  if (!QuotableText(r.e.event_string)) {
    Log(r, "In spfilter(), event string refused for a quoted collection command line of " +
               std::string(r.e.type) + ", msgcode " + r.code);
    return;
  }
  size_t dash = r.seq.find('-');
  if (dash == std::string::npos) {
    Log(r, "In spfilter(),Unexpected event sequence format for " + std::string(r.e.type) + ", msgcode " + r.code);
    return;
  }
  // The quoted string is built here; CollectAndRename checks plain words only.
  const std::string quoted = std::string("'") + r.e.event_string + "'";
  RenameForCollection(r, dash);
  pid_t pid = Launch(r, r.rule->command, {quoted}, KIND_COMMAND);
  if (pid > 0) {
    Log(r, "Launched special collection with eventstr, pid = " + Num(pid));
    r.collector = pid;
  }
}

}  // namespace

bool CommandWord(const std::string& v) {
  if (v.empty() || v.size() > 199 || v.find("..") != std::string::npos) return false;
  for (unsigned char c : v) {
    if (!(std::isalnum(c) || std::strchr("._:/@+,=-", c))) return false;
  }
  return true;
}

bool QuotableText(const std::string& text) {
  for (unsigned char c : text) {
    if (c == '\'' || c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

pid_t LaunchCollection(EvtmonState& st, const std::vector<std::string>& args, int kind,
                       const std::string& tag) {
  ChildSpec cmd;
  cmd.argv.push_back(QdPath(kSpcollect));
  cmd.argv.insert(cmd.argv.end(), args.begin(), args.end());
  pid_t pid = 0;
  char err[256];
  if (QdStartChild(cmd, &pid, err, sizeof err) != CHILD_OK) {
    Logme(st, std::string("In spfilter(), could not start the collection: ") + err, '2');
    return -1;
  }
  ChildAdd(st.filter.children, pid, kind, tag);
  return pid;
}

int SendRequests(EvtmonState& st, const std::string& filetype, const std::string& pathname,
                 const std::string& seq, time_t filetime) {
  (void)DoAnalyze(st, pathname, seq, filetime);
  int rc = callWorkMsg(st, filetype.c_str(), pathname, filetime, seq);
  if (rc != 0 && rc != -4) {
    st.urgency = "H";
    Logme(st, "In spfilter(), call to WorkMessage failed  rc= " + std::to_string(rc));
    return -1;
  }
  return 0;
}

size_t SendDeferred(EvtmonState& st, bool all) {
  auto& list = st.filter.deferred;
  if (list.empty()) return 0;
  const time_t now = time(nullptr);
  std::vector<DeferredRequest> keep;
  for (DeferredRequest& d : list) {
    bool running = false;
    for (const ChildEntry& c : st.filter.children.entries) running |= c.pid == d.pid;
    if (running && !all && now < d.deadline) {
      keep.push_back(std::move(d));
      continue;
    }
    if (running) Logme(st, "In spfilter(), collection pid " + std::to_string(d.pid) +
                               " still running, analysis of " + d.pathname + " sent without its output");
    (void)SendRequests(st, d.filetype, d.pathname, d.seq, d.filetime);
  }
  list.swap(keep);
  return list.size();
}

int spfilter(EvtmonState& st, const evtmon_t& e, const std::string& name, const std::string& pathname,
             const std::string& seq, time_t filetime, long evtime) {
  FilterState& fs = st.filter;
  if (!fs.rules_read) {
    fs.rules_read = true;
    std::vector<std::string> notes;
    int rc = ReadFilterRules(st.sysid, fs.rules, notes);
    for (const auto& n : notes) Logme(st, n);
    if (rc == 0) Logme(st, "Successful read of filter file " + fs.rules.path + ". Stored in array");
    else if (rc < 0) Logme(st, "Read of filter file " + fs.rules.path + " failed. Not at EOF");
  }
  char code[16];
  std::snprintf(code, sizeof code, "%x", static_cast<unsigned>(e.msgcode));
  FilterRun r{st, e, code, name, pathname, seq, "event", filetime, evtime};
  int action = 0;
  r.rule = ChooseRule(fs.rules, e.type, r.code, e.event_string, st.vqx_level.c_str());
  if (r.rule) {
    if (r.rule->level[0] != ' ') Logme(st, "In spfilter, filter vqx_level is not blank");
    r.rule_sev = r.rule->sev;
    action = r.rule->action;
  } else if (!std::strcmp(e.type, "evt_membership_chg") ||
             (!std::strcmp(e.type, "evt_software_update") && std::strstr(e.event_string, "Applying VQX software"))) {
    action = 10;
  }
  switch (action) {
    case 9:
      r.analyze = true;
      RunAction(r, action);
      break;
    case 92:
      r.analyze = true;
      QuotedCollection(r);
      break;
    case 10:
      // The update log is kept whatever the severity; the analysis is not.
      r.analyze = SevPasses(r);
      RunAction(r, action);
      break;
    case 99:
      break;
    default:
      if (action < 0 || action > 99) break;
      if (action == 7 || (action > 30 && action != 90 && action != 91 && action != 95)) break;
      if (!SevPasses(r)) break;
      r.analyze = true;
      RunAction(r, action);
      break;
  }
  Logme(st, "In spfilter after faction switch");
  if (!r.analyze) return 0;
  if (r.collector > 0) {
    DeferredRequest d;
    d.pid = r.collector;
    d.filetype = r.filetype;
    d.pathname = r.pathname;
    d.seq = r.seq;
    d.filetime = filetime;
    d.deadline = time(nullptr) + static_cast<time_t>(QdScaledSeconds(kCollectionWait) + 1);
    fs.deferred.push_back(std::move(d));
    return 0;
  }
  return SendRequests(st, r.filetype, r.pathname, r.seq, filetime);
}
