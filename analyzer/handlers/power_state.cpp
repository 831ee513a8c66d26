#include "power_state.h"

#include <regex.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "anal_alert.h"
#include "engine_log.h"
#include "handler_patterns.h"
#include "handler_state.h"

namespace {

// The handler patterns the power and battery look-ups use.
enum : int {
  kOldHeading = 19, kHeading220 = 20, kHeading222 = 21, kPsLine = 22, kNodeLine = 23,
  kBatteryLine = 24, kTable220 = 25, kOldBattery = 27, kCliFailed = 32, kShownodeHeading = 33,
  kDashedLine = 34, kManufacturer = 35, kModel = 36, kSerial = 37, kState = 38, kMaxLife = 39,
  kExpired = 40, kChargeState = 41, kAnyHeading = 42,
};

constexpr int kGroups = 11;  // the whole match and 10 groups

// A match of an expression in text[from, to): offsets relative to `text`.
struct Match {
  bool found = false;
  regmatch_t m[kGroups];
  size_t begin(int g) const { return static_cast<size_t>(m[g].rm_so); }
  size_t end(int g) const { return static_cast<size_t>(m[g].rm_eo); }
  bool has(int g) const { return m[g].rm_so >= 0; }
};

Match Find(const regex_t* re, const std::string& text, size_t from = 0,
           size_t to = std::string::npos) {
  Match r;
  if (!re || from > text.size()) return r;
  to = std::min(to, text.size());
  if (to < from) return r;
  // regexec needs a terminated text: the window is copied once.
  std::string window = text.substr(from, to - from);
  if (regexec(re, window.c_str(), kGroups, r.m, 0) != 0) return r;
  r.found = true;
  for (auto& g : r.m) {
    if (g.rm_so < 0) continue;
    g.rm_so += static_cast<regoff_t>(from);
    g.rm_eo += static_cast<regoff_t>(from);
  }
  return r;
}

Match FindPattern(int n, const std::string& text, size_t from = 0,
                  size_t to = std::string::npos) {
  return Find(HandlerPatternAt(n), text, from, to);
}

std::string Group(const std::string& text, const Match& r, int g) {
  if (!r.found || !r.has(g)) return "";
  return text.substr(r.begin(g), r.end(g) - r.begin(g));
}

// An expression made from one of the templates below, freed with it.
class TemplateRegex {
 public:
  explicit TemplateRegex(const std::string& text) {
    int rc = regcomp(&re_, text.c_str(), REG_EXTENDED);
    if (rc != 0) {
      char buf[256];
      regerror(rc, &re_, buf, sizeof buf);
      error_ = buf;
      return;
    }
    ok_ = true;
  }
  ~TemplateRegex() {
    if (ok_) regfree(&re_);
  }
  TemplateRegex(const TemplateRegex&) = delete;
  TemplateRegex& operator=(const TemplateRegex&) = delete;
  const regex_t* get() const { return ok_ ? &re_ : nullptr; }
  const std::string& error() const { return error_; }

 private:
  regex_t re_{};
  bool ok_ = false;
  std::string error_;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimBlanks(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

bool Contains(const std::string& text, size_t from, size_t to, const char* what) {
  size_t at = text.find(what, from);
  return at != std::string::npos && at + std::string(what).size() <= to;
}

// Logs a template that did not compile and gives the caller's reason.
std::string CompileFailed(const TemplateRegex& re, const char* reason) {
  AnalLog("9999", '2', std::string(reason) + ": " + re.error());
  return reason;
}

// Empty, "-..." and "0" serials mean the battery has none recorded.
std::string SerialText(const std::string& raw) {
  std::string s = TrimBlanks(raw);
  if (s.empty() || s[0] == '-' || s == "0") return "Missing";
  return s;
}

// Where the next battery goes; null when the slots are full (the count
// still grows, so the details show how many the output listed).
BattData* NextBattery() {
  ShowBattState& b = ShowBatt();
  BattData* slot = b.count < kBatterySlots ? &b.batteries[b.count] : nullptr;
  ++b.count;
  b.no_battery_found = false;
  return slot;
}

// The old layout: "Node N" blocks holding "Power Supply P <state>" lines,
// each followed by its "Battery B Serial Number (S)" lines and texts.
std::string OldLayout(const std::string& text, size_t from, const std::string& node, int ps) {
  TemplateRegex start("\n[[:blank:]]*Node[[:blank:]]+" + node + "[[:blank:]]*(\n)");
  if (!start.get()) return CompileFailed(start, "Old showbattery node start RE failed to compile");
  Match n = Find(start.get(), text, from);
  if (!n.found) return "Failed to find beginning of Node data in old showbattery";
  size_t block = n.begin(1);
  Match next_node = FindPattern(kNodeLine, text, block);
  size_t block_end = next_node.found ? next_node.begin(0) : text.size();

  TemplateRegex psre("\n[[:blank:]]*Power Supply[[:blank:]]+" + std::to_string(ps) +
                     "[[:blank:]]+([^\n]+)[[:blank:]]*\n");
  if (!psre.get()) return CompileFailed(psre, "Old showbattery PS RE failed to compile");
  Match p = Find(psre.get(), text, block, block_end);
  if (!p.found) return "Failed to find Power Supply in old showbattery";
  ShowNode().ps_state[ps] = EA_format_psstate(Group(text, p, 1));
  ShowBatt().node = node;
  ShowBatt().power_supply = std::to_string(ps);
  size_t ps_from = p.end(0) - 1;
  Match next_ps = FindPattern(kPsLine, text, ps_from, block_end);
  size_t ps_end = next_ps.found ? next_ps.begin(0) : block_end;

  TemplateRegex lifere("\n[[:blank:]]*Node " + node +
                       " Battery Life = ([[:digit:]]+) mins[[:blank:]]+([[:digit:]]+) secs");
  if (!lifere.get()) return CompileFailed(lifere, "Old showbattery life RE failed to compile");
  Match life = Find(lifere.get(), text, from);
  if (life.found) {
    ShowBatt().life = std::atol(Group(text, life, 1).c_str());
  } else {
    AnalLog("9999", '2', std::string("failed to find old showbattery life"));
  }

  size_t at = ps_from;
  while (true) {
    Match bat = FindPattern(kOldBattery, text, at, ps_end);
    if (!bat.found) break;
    Match next = FindPattern(kBatteryLine, text, bat.end(0), ps_end);
    size_t bat_end = next.found ? next.begin(0) : ps_end;
    if (BattData* b = NextBattery()) {
      b->serial = SerialText(Group(text, bat, 2));
      bool failed = Contains(text, bat.end(0), bat_end, "BATTERY FAIL");
      b->state = failed ? "FAILED" : "OK";
      b->charging = !Contains(text, bat.end(0), bat_end, "fully charged");
    }
    at = bat_end;
  }
  if (ShowBatt().no_battery_found) return "Failed to find battery in old showbattery";
  return "";
}

// The 2.2.0 layout: a table with one row per node (battery life, and per
// power supply its state and battery counts), then one "Node: N, PS: P
// (SerialNo: ...), Battery: B (SerialNo: S)" line per battery with its
// text below it.
std::string Layout220(const std::string& text, const Match& heading, const std::string& node,
                      int ps) {
  Match table = FindPattern(kTable220, text, heading.begin(1));
  size_t table_end = table.found ? table.end(0) : heading.end(0);
  std::string row =
      ps == 0 ? "\n[[:blank:]]*" + node +
                    "[[:blank:]]+([[:digit:]]+)([[:blank:]]+)([^[:space:]]+)[[:blank:]]+([[:digit:]]+)"
                    "[[:blank:]]+([[:digit:]]+)[[:blank:]]+([[:digit:]]+)[[:blank:]]+"
              : "\n[[:blank:]]*" + node +
                    "[[:blank:]]+([[:digit:]]+)([[:blank:]]+[^[:space:]]+){5}[[:blank:]]+([^[:space:]]+)"
                    "[[:blank:]]+([[:digit:]]+)[[:blank:]]+([[:digit:]]+)[[:blank:]]+([[:digit:]]+)"
                    "[[:blank:]]+";
  TemplateRegex rowre(row);
  if (!rowre.get()) return CompileFailed(rowre, "2.2.0 showbattery table RE failed to compile");
  // The row's last blank may be the newline that ends it: the search runs
  // one character into the text after the table.
  Match r = Find(rowre.get(), text, heading.begin(1) - 1, table_end);
  if (!r.found) return "Failed to find battery data in 2.2.0 showbattery";
  ShowBatt().life = std::atol(Group(text, r, 1).c_str());
  ShowNode().ps_state[ps] = EA_format_psstate(Group(text, r, 3));
  long expired_left = std::atol(Group(text, r, 6).c_str());

  TemplateRegex batre(
      "(\n)[[:blank:]]*Node:[[:blank:]]+" + node + ",[[:blank:]]+PS:[[:blank:]]+" +
      std::to_string(ps) +
      "[[:blank:]]+[(]SerialNo:[[:blank:]]+[^)]*[)],[[:blank:]]+Battery:[[:blank:]]+([^[:space:]]+)"
      "[[:blank:]]+[(]SerialNo:[[:blank:]]+([^)]*)[)]");
  if (!batre.get()) return CompileFailed(batre, "2.2.0 showbattery battery RE failed to compile");
  ShowBatt().node = node;
  ShowBatt().power_supply = std::to_string(ps);
  Match section_end = FindPattern(kAnyHeading, text, table_end > 0 ? table_end - 1 : 0);
  size_t limit = section_end.found ? section_end.begin(0) : text.size();
  TemplateRegex any_battery("\n[[:blank:]]*Node:");
  size_t at = table_end > 0 ? table_end - 1 : 0;
  while (true) {
    Match bat = Find(batre.get(), text, at, limit);
    if (!bat.found) break;
    // A battery's text ends at the next battery line of any power supply,
    // so the last one never takes in another's "Failed".
    Match next = Find(any_battery.get(), text, bat.end(0), limit);
    size_t bat_end = next.found ? next.begin(0) : limit;
    if (BattData* b = NextBattery()) {
      b->serial = SerialText(Group(text, bat, 3));
      if (Contains(text, bat.end(0), bat_end, "Failed")) {
        b->state = "FAILED";
      } else if (expired_left > 0) {
        b->state = "EXPIRED";
        b->expired = true;
        --expired_left;
      } else {
        b->state = "OK";
        b->charging = !Contains(text, bat.end(0), bat_end, "Fully Charged");
      }
    }
    at = bat_end;
  }
  if (ShowBatt().no_battery_found) return "Failed to find battery detail in 2.2.0 showbattery";
  return "";
}

std::string Field(const std::string& text, int pattern, size_t from, size_t to) {
  Match f = FindPattern(pattern, text, from, to);
  return f.found ? TrimBlanks(Group(text, f, 1)) : std::string();
}

// The 2.2.2 layout: one "---Node N PS P---" section per battery with
// "Name : value" lines.
std::string Layout222(const std::string& text, const Match& heading, const std::string& node,
                      int ps) {
  Match next_heading = FindPattern(kAnyHeading, text, heading.end(0) - 1);
  size_t limit = next_heading.found ? next_heading.begin(0) + 1 : text.size();
  TemplateRegex secre("\n[[:blank:]]*-+[[:blank:]]*Node[[:blank:]]+" + node +
                      "[[:blank:]]+PS[[:blank:]]+" + std::to_string(ps) +
                      "[[:blank:]]*(-+)[[:blank:]]*\n");
  if (!secre.get()) return CompileFailed(secre, "2.2.2 showbattery battery RE failed to compile");
  size_t at = heading.begin(0);
  while (true) {
    Match sec = Find(secre.get(), text, at, limit);
    if (!sec.found) break;
    size_t from = sec.end(0) - 1;
    Match dashed = FindPattern(kDashedLine, text, from, limit);
    size_t to = dashed.found ? dashed.begin(0) + 1 : limit;
    ShowBatt().node = node;
    ShowBatt().power_supply = std::to_string(ps);
    if (BattData* b = NextBattery()) {
      std::string v = Field(text, kManufacturer, from, to);
      if (!v.empty()) b->manufacturer = v[0] == '-' ? "Missing" : v;
      v = Field(text, kModel, from, to);
      if (!v.empty()) b->model = v[0] == '-' ? "Missing" : v;
      Match serial = FindPattern(kSerial, text, from, to);
      if (serial.found) b->serial = SerialText(Group(text, serial, 1));
      v = Field(text, kState, from, to);
      if (!v.empty()) b->state = Upper(v);
      ShowBatt().life += std::atol(Field(text, kMaxLife, from, to).c_str());
      b->expired = Field(text, kExpired, from, to) == "Yes";
      b->charging = Field(text, kChargeState, from, to) == "Charging";
    }
    at = to > from + 1 ? to - 1 : from + 1;
  }
  if (ShowBatt().no_battery_found) return "Failed to find battery detail in 2.2.2 showbattery";
  return "";
}

}  // namespace

ShowNodeState& ShowNode() { return Handlers().node; }
ShowBattState& ShowBatt() { return Handlers().batt; }

std::string EA_format_psstate(const std::string& state) {
  std::string s = Upper(TrimBlanks(state));
  for (char& c : s) {
    if (c == ' ' || c == '\t') c = '_';
  }
  if (s.find("AC_FAIL") != std::string::npos) return "AC_FAIL";
  if (s == "PRESENT_&_OK") return "OK";
  return s;
}

bool PowerPatternsUsable() {
  for (int n = 19; n <= 42; ++n) {
    if (n == 26 || (n >= 30 && n <= 31)) continue;
    if (!HandlerPatternAt(n)) return false;
  }
  return true;
}

bool EA_BatteryState(const std::string& node, const std::string& ps_text) {
  ShowBatt() = ShowBattState();
  int ps = std::atoi(ps_text.c_str());
  if (ps < 0 || ps > 1) {
    AnalLog("9999", '2', QdFormat("Node %s PS '%s' is invalid", node.c_str(), ps_text.c_str()));
    ps = 0;
  }
  ShowNode().ps_state[ps] = "NotFound";

  const std::string& text = Engine().result.AAddedData;
  std::string reason;
  bool absent = false;
  Match old = FindPattern(kOldHeading, text);
  Match h220 = old.found ? Match() : FindPattern(kHeading220, text);
  Match h222 = old.found || h220.found ? Match() : FindPattern(kHeading222, text);
  if (old.found) {
    ShowBatt().old_layout = true;
    reason = OldLayout(text, old.begin(0), node, ps);
  } else if (h220.found) {
    reason = Layout220(text, h220, node, ps);
  } else if (h222.found) {
    reason = Layout222(text, h222, node, ps);
  } else {
    absent = true;  // "cannot find showbattery output", not worth a message
  }
  if (!ShowBatt().no_battery_found) return false;
  if (!absent) {
    AnalLog("0042", 'A', reason);
    absent = FindPattern(kCliFailed, text).found;
  }
  if (!absent) return false;
  bool old_layout = ShowBatt().old_layout;
  ShowBatt() = ShowBattState();
  ShowBatt().old_layout = old_layout;
  ShowBatt().node = "NotFound";
  ShowBatt().power_supply = "NotFound";
  return true;
}

bool EA_NodeState(const std::string& node) {
  ShowNode().node = "Missing";
  bool missing = true;
  const std::string& text = Engine().result.AAddedData;
  Match heading = FindPattern(kShownodeHeading, text);
  if (heading.found) {
    missing = false;
    Match next = FindPattern(kAnyHeading, text, heading.end(0) - 1);
    size_t section_end = next.found ? next.begin(0) + 1 : text.size();
    bool any_block = false;
    for (int ps = 0; ps < 2; ++ps) {
      ShowNode().ps_state[ps] = "NotFound";
      TemplateRegex re("\n[[:blank:]]*Node ID[[:blank:]]+:[[:blank:]]+" + node +
                       "[[:blank:]]*\n[[:blank:]]*Power Supply ID[[:blank:]]+:[[:blank:]]+(" +
                       std::to_string(ps) + ")[[:blank:]]*\n");
      if (!re.get()) {
        CompileFailed(re, "shownode node PS RE failed to compile");
        continue;
      }
      Match block = Find(re.get(), text, heading.end(0) - 1, section_end);
      if (!block.found) continue;
      any_block = true;
      size_t from = block.end(0) - 1;
      Match dashed = FindPattern(kDashedLine, text, from, section_end);
      size_t to = dashed.found ? dashed.begin(0) + 1 : section_end;
      Match state = FindPattern(kState, text, from, to);
      if (state.found) {
        ShowNode().ps_state[ps] = EA_format_psstate(Group(text, state, 1));
      } else {
        AnalLog("0042", 'A',
                QdFormat("Can't find PS%d state in Node%s PS detail data", ps, node.c_str()));
      }
    }
    if (!any_block) {
      AnalLog("0042", 'A', "Failed to find Node" + node + " PS data in shownode -verbose");
      if (FindPattern(kCliFailed, text).found) missing = true;
    }
  } else {
    bool missing0 = EA_BatteryState(node, "0");
    bool missing1 = EA_BatteryState(node, "1");
    missing = missing0 || missing1;
  }
  if (!missing) ShowNode().node = node;
  return missing;
}
