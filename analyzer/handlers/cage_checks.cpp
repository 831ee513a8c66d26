// The extended analysis of drive cage events: each check confirms or
// refutes what the cage reported against the "showcage -d" output the
// collector attached to the event, and chooses the FRU keys of the report.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "cage_handler.h"
#include "engine_log.h"
#include "handler_patterns.h"
#include "text_util.h"

namespace {

const char kNoShowcage[] = "'showcage -d' output not available";
const char kNotCompiled[] = "Patterns failed to compile at initialization";

// Power-supply expressions; "%d" takes the power supply's number.
const char kFanStateRe[] =
    "\n[[:blank:]]*Power Supply Info[[:blank:]]+State[[:blank:]]+Fan State[[:blank:]]+AC[^\n]*\n"
    "([[:blank:]]+ps[[:digit:]]+[^\n]+\n)*[[:blank:]]+ps%d([[:blank:]]+[^[:space:]]+){1}"
    "[[:blank:]]+([^[:space:]]+)";
const char kStatusAcRe[] =
    "\n[[:blank:]]*Power Supply Info[[:blank:]]+State[[:blank:]]+Fan State[[:blank:]]+AC[^\n]*\n"
    "([[:blank:]]+ps[[:digit:]]+[^\n]+\n)*[[:blank:]]+ps%d[[:blank:]]+([^[:space:]]+)"
    "[[:blank:]]+[^[:space:]]+[[:blank:]]+([^[:space:]]+)";
const char kModelRe[] =
    "\n[[:blank:]]*Power Supply Info[[:blank:]]+State[[:blank:]]+Fan State[[:blank:]]+AC"
    "[[:blank:]]+Model[^\n]*\n([[:blank:]]+ps[[:digit:]]+[^\n]+\n)*[[:blank:]]+ps%d"
    "([[:blank:]]+[^[:space:]]+){3}[[:blank:]]+([^[:space:]]+)";

// Why a check could not finish; quiet for output that was not collected.
struct Reason {
  std::string text;
  bool quiet = false;
  bool set() const { return !text.empty(); }
  void Set(const std::string& t, bool q = false) {
    if (text.empty()) {
      text = t;
      quiet = q;
    }
  }
};

const std::string& Added() { return Engine().result.AAddedData; }

// All of `numbers` usable and pattern 3 matching the attached output.
bool ShowcagePresent(std::initializer_list<int> numbers, Reason& why) {
  for (int n : numbers) {
    if (!HandlerPatternAt(n)) {
      why.Set(kNotCompiled);
      return false;
    }
  }
  regmatch_t m[kCageGroups];
  if (!CageMatch(HandlerPatternAt(3), Added().c_str(), m)) {
    why.Set(kNoShowcage, true);
    return false;
  }
  return true;
}

// Runs the power-supply expression `templ` for power supply `ps` on the
// attached output. Returns true with the groups in `m`; false with the
// reason `compile_failure` (and 9999 with the compiler's text) or
// `not_found`.
bool RunPsExpression(const char* templ, unsigned long ps, const char* compile_failure,
                     const char* not_found, regmatch_t m[kCageGroups], Reason& why) {
  std::string text = templ;
  text.replace(text.find("%d"), 2, std::to_string(ps));
  regex_t re;
  int rc = regcomp(&re, text.c_str(), REG_EXTENDED);
  if (rc != 0) {
    char error[256];
    regerror(rc, &re, error, sizeof error);
    AnalLog("9999", '2', error);
    why.Set(compile_failure);
    return false;
  }
  bool matched = CageMatch(&re, Added().c_str(), m);
  regfree(&re);
  if (!matched) why.Set(not_found);
  return matched;
}

void Transient() {
  CageSetKey(4, "TemporaryError");
  Engine().result.AUrgency = 'L';
  CageSetCapture(9, CageCapture(9) + " - TRANSIENT");
  Engine().result.AExtraText += kCageTransientText;
}

void Maintenance() {
  CageSetKey(4, "MaintenanceInProgress");
  CageSetKey(5, "override");
  Engine().result.AUrgency = 'L';
  CageSetCapture(9, CageCapture(9) + " - MAINTENANCE");
  Engine().result.AExtraText += kCageMaintenanceText;
}

void Failed(const Reason& why, int slot, PatternEntry* entry, bool resymptom) {
  CageReportFailed(why.text, why.quiet, slot, entry, resymptom);
}

std::string Details(int slot, const char* third, const std::string& value3, const char* fourth,
                    const std::string& value4) {
  return "~Comp=" + CageCapture(8) + "~Loc=" + CageTag(slot, "CompType") + "~" + third + "=" +
         value3 + "~" + fourth + "=" + value4 + "~";
}

// The highest disk temperature of the disk listing, or -1 without one.
long MaxDiskTemperature() {
  const regex_t* re = HandlerPatternAt(4);
  const char* text = Added().c_str();
  long maximum = -1;
  regmatch_t m[kCageGroups];
  while (CageMatch(re, text, m)) {
    maximum = std::max(maximum, std::strtol(CageGroup(text, m[1]).c_str(), nullptr, 10));
    text += m[1].rm_so;
  }
  return maximum;
}

}  // namespace

void EA_jbodevt_PSfru(unsigned long ps) {
  Reason why;
  std::string model = "UnknownPSModel";
  regmatch_t m[kCageGroups];
  if (ShowcagePresent({3}, why) &&
      RunPsExpression(kModelRe, ps, "PS specific Model RE failed to compile\n",
                      "PS Model not found in 'showcage -d' output", m, why)) {
    std::string found = CageUpper(CageGroup(Added().c_str(), m[3]));
    if (!found.empty() && found[0] != '-') model = found;
  }
  if (why.set() && !why.quiet) AnalLog("0042", '1', why.text);
  CageSetKey(4, model[0] == 'M' ? "MAGNETEK" : model[0] == 'A' ? "ACME" : model);
}

bool CageFanCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                  const CageAge& age) {
  if (age.old) return CageOldReport(slot, entry, age, false);
  Reason why;
  std::string fan_state;
  long maximum = -1;
  regmatch_t m[kCageGroups];
  if (ShowcagePresent({3, 4}, why) &&
      RunPsExpression(kFanStateRe, parm[0], "PS specific fan speed RE failed to compile\n",
                      "Fan state not found in 'showcage -d' output", m, why)) {
    fan_state = CageUpper(CageGroup(Added().c_str(), m[3]));
    maximum = MaxDiskTemperature();
    if (maximum < 0) why.Set("Failed to extract disk temperatures");
  }
  if (why.set()) {
    Failed(why, slot, entry, false);
    return true;
  }
  CageSetMsg(1, std::to_string(maximum));
  CageSetKey(4, "normal");
  const unsigned long speed = parm[1];
  if (speed > 2) {
    AnalLog("0042", 'A', QdFormat("Unknown parm1 value=%lu for jbod FAN event", speed));
    return false;
  }
  if (speed != 0) {
    if (fan_state == "LOSPEED" && maximum <= 41) {
      CageSetKey(5, "Override");
      Transient();
    } else {
      // A slow fan with hot disks is as much a fault of the supply's fan
      // as a failed one: both call out the supply.
      if (speed == 1 && maximum < 42) CageSetKey(3, "TempNormal");
      EA_jbodevt_PSfru(parm[0]);
    }
  }
  Engine().result.EADetails = Details(slot, "FanState", fan_state, "MaxDiskTemp", CageMsg(1));
  return CageReport(slot, entry, false, false);
}

bool CagePsStatusCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                       const CageAge& age) {
  if (age.old) return CageOldReport(slot, entry, age, true);
  const unsigned long ps = parm[1];
  Reason why;
  std::string status, ac = "UNKNOWN";
  regmatch_t m[kCageGroups];
  if (ShowcagePresent({3}, why) &&
      RunPsExpression(kStatusAcRe, ps, "PS specific Status/AC RE failed to compile\n",
                      "PS Status/AC not found in 'showcage -d' output", m, why)) {
    status = CageUpper(CageGroup(Added().c_str(), m[2]));
    ac = CageUpper(CageGroup(Added().c_str(), m[3]));
  }
  if (why.set()) {
    CageSetKey(6, "MissingData");
    const unsigned long p2 = parm[2];
    status = (p2 == 0 || p2 == 2) ? "OK" : p2 == 1 ? "REMOVED" : p2 == 3 ? "FAILED" : "UNKNOWN";
    if (status == "OK") {
      Failed(why, slot, entry, true);
      return true;
    }
    if (!why.quiet) AnalLog("0042", 'A', why.text + " - continuing");
  }
  if (status == "OK") {
    CageSetKey(5, "override");
    if (ac == "OK") {
      Transient();
    } else {
      CageSetKey(4, "ConflictingData");
    }
  } else if (status == "REMOVED" || status == "MISSING") {
    Maintenance();
  } else if (status == "FAILED") {
    EA_jbodevt_PSfru(ps);
    if (parm[2] == 13) {
      const regex_t* p5 = HandlerPatternAt(5);
      std::string model = CageMatch(p5, Added().c_str(), m)
                              ? CageUpper(CageGroup(Added().c_str(), m[1]))
                              : std::string("Unknown");
      CageSetKey(4, CageKey(4) + "." + model);
    }
  } else {
    CageSetKey(4, "CallSupport");
    CageSetKey(5, "override");
  }
  Engine().result.EADetails = Details(slot, "PSStatus", status, "PSac", ac);
  return CageReport(slot, entry, true, false);
}

bool CagePsAcCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                   const CageAge& age) {
  if (age.old) return CageOldReport(slot, entry, age, false);
  const unsigned long ps = parm[0];
  Reason why;
  std::string status = "UNKNOWN", ac;
  regmatch_t m[kCageGroups];
  if (ShowcagePresent({3}, why) &&
      RunPsExpression(kStatusAcRe, ps, "PS specific AC Status RE failed to compile",
                      "AC Status not found in 'showcage -d' output", m, why)) {
    status = CageUpper(CageGroup(Added().c_str(), m[2]));
    ac = CageUpper(CageGroup(Added().c_str(), m[3]));
  }
  if (why.set()) {
    CageSetKey(6, "MissingData");
    if (!why.quiet) AnalLog("0042", 'A', why.text + " - continuing");
    ac = parm[1] == 1 ? "FAILED" : "OK";
  }
  if (ac == "UNKNOWN") {
    Maintenance();
  } else if (ac == "OK") {
    CageSetKey(5, "override");
    if (status == "OK") {
      Transient();
    } else {
      CageSetKey(4, "ConflictingData");
    }
  } else {
    EA_jbodevt_PSfru(ps);
  }
  Engine().result.EADetails = Details(slot, "PSStatus", status, "PSac", ac);
  return CageReport(slot, entry, false, false);
}

namespace {

// The magazines whose system LED is not green, from the magazine listing
// below the heading "Mag SysLED ": blank-separated first tokens, "" for
// none.
std::string BadMagazines() {
  const std::string& text = Added();
  size_t at = text.find("Mag SysLED ");
  if (at == std::string::npos) return "";
  at = text.find('\n', at);
  std::string bad;
  while (at != std::string::npos) {
    size_t start = at + 1;
    size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // only complete lines count
    std::string line = text.substr(start, end - start);
    if (line.size() <= 9) break;
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%s", line.c_str());
    char* tokens[3];
    if (GetTokens(buffer, " \t", tokens, 3, true, false) < 2) break;
    if (CageUpper(tokens[1]) != "GREEN") bad += (bad.empty() ? "" : " ") + std::string(tokens[0]);
    at = end;
  }
  return bad;
}

// Mkey4 := category "." model, the model of the loop's own card, or its
// partner's when the own one reads "-".
void ChipModel(const std::string& category, int own, int partner) {
  regmatch_t m[kCageGroups];
  const char* text = Added().c_str();
  std::string model = CageMatch(HandlerPatternAt(own), text, m) ? CageUpper(CageGroup(text, m[1])) : "-";
  if (model == "-") {
    model = CageMatch(HandlerPatternAt(partner), text, m) ? CageUpper(CageGroup(text, m[1])) : "-";
  }
  if (model == "-" || model.empty()) model = "Unknown";
  CageSetKey(4, category + "." + model);
}

// Loop errors seen on the same cage within the past week: Mkey3 notes
// them, and they make the loop card worth replacing.
bool RepeatedLoopErrors(int slot) {
  const std::string like = "%~Loc=" + CageTag(slot, "CompType") + "~%";
  long count = 0;
  if (CageHistoryCount(CageKey(1).c_str(), CageKey(4).c_str(), like.c_str(),
                                       &count) != 0) {
    AnalSqlError("evt_jbod_jtype code 17 Monitor select");
    return false;
  }
  if (count <= 0) return false;
  const std::string key3 = CageKey(3);
  CageSetKey(3, key3 == "na" ? std::string("MultipleTempErrors") : key3 + ".MultipleTempErrors");
  return true;
}

}  // namespace

bool CageChipCheck(int slot, PatternEntry* entry, const unsigned long /*parm*/[kCageParms],
                   const CageAge& age) {
  if (age.old) return CageOldReport(slot, entry, age, true);
  Reason why;
  regmatch_t m[kCageGroups];
  const std::string event_string = CageTag(slot, "EventString");
  if (ShowcagePresent({3, 5, 6, 7, 8, 9, 11, 12}, why) &&
      !CageMatch(HandlerPatternAt(7), event_string.c_str(), m)) {
    why.Set("LoopID not found");
  }
  if (why.set()) {
    Failed(why, slot, entry, true);
    return true;
  }
  const std::string letter = CageUpper(CageGroup(event_string.c_str(), m[1]).substr(0, 1));
  CageSetMsg(4, "Loop" + letter);
  const bool a = letter == "A";
  const int download = a ? 8 : 9, normal = a ? 11 : 12, own = a ? 5 : 6, partner = a ? 6 : 5;
  const char* text = Added().c_str();
  if (CageMatch(HandlerPatternAt(download), text, m)) {
    CageSetKey(4, "MaintenanceInProgress");
    CageSetKey(5, "Override");
  } else {
    const std::string category = CageMsg(2);
    const std::string bad = BadMagazines();
    CageSetMsg(5, bad.empty() ? "none" : bad);
    if (!bad.empty()) CageSetKey(3, "DMerrors");
    bool lookup = true;
    if (category == "LOOP" && CageMatch(HandlerPatternAt(normal), text, m)) {
      CageSetKey(4, "Monitor");
      CageSetKey(5, "Override");
      lookup = RepeatedLoopErrors(slot);
    }
    if (category != "DM" && !bad.empty()) CageSetKey(5, "DMerrors");
    if (lookup) ChipModel(category, own, partner);
  }
  Engine().result.EADetails = "~Comp=" + CageCapture(8) + "~Loc=" + CageTag(slot, "CompType") +
                              "~FCAL=" + CageMsg(4) + "~BadDM=" + CageMsg(5) + "~";
  return CageReport(slot, entry, true, false);
}
