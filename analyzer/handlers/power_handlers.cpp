// Node power supplies and batteries: the decisions of EH_nodepower and
// EH_battery on what the event says and what the attached "shownode" and
// "showbattery" output shows now (power_state.h).
#include <cstdlib>
#include <cstring>

#include "anal_alert.h"
#include "analysis_report.h"
#include "analysis_sql.h"
#include "engine_log.h"
#include "event_handlers.h"
#include "power_history.h"
#include "power_state.h"

namespace {

const char kTransientText[] =
    "\nLater data indicates that this was a transient failure; check related events.\n";
const char kMaintenanceText[] = "\nProbable maintenance actions in progress; check related events.\n";
const char kPatternsFailed[] = "Patterns failed to compile at initialization";
const char kParseFailed[] = "parse of event data failed";

constexpr int kEventPsPattern = 29;       // "Node n Power Supply p state"
constexpr int kEventBatteryPattern = 28;  // "Node n PS p Battery b"

void SetKey(int k, const std::string& value) {
  std::snprintf(Engine().Mkey[k - 1], kMsgKeySize, "%s", value.c_str());
}

void SetMsgValue(int n, const std::string& value) {
  std::snprintf(Engine().msgval[n], kCaptureSize, "%s", value.c_str());
}

bool ExtendedAnalysis() {
  const AnalysisEngine& engine = Engine();
  return engine.analyzer && !(engine.daemon && engine.daemon->on_sp);
}

// Groups 1..3 of handler pattern `n` on `text`; false when it does not match.
bool EventFields(int n, const std::string& text, std::string out[3]) {
  const AnalysisEngine& engine = Engine();
  const auto& p = engine.analyzer->patterns[n];
  regmatch_t m[11];
  if (regexec(&p->regex, text.c_str(), 11, m, 0) != 0) return false;
  for (int g = 1; g <= 3; ++g) {
    out[g - 1] = m[g].rm_so < 0 ? "" : text.substr(m[g].rm_so, m[g].rm_eo - m[g].rm_so);
  }
  return true;
}

std::string ModelKey() {
  return Engine().result.AModel.compare(0, 1, "E") == 0 ? "E-series" : "na";
}

std::string PsDetailsLike(const std::string& ps, const std::string& node) {
  return "%~Comp=PS" + ps + "~Loc=NODE" + node + "~%";
}

// Rows of this power supply that the history query selects; a failed
// statement counts as `on_error` after the database error is reported.
long RecentPsRows(PsHistoryQuery query, const std::string& ps, const std::string& node,
                  const char* action, long on_error) {
  const CurrentFile& f = Engine().analyzer->file;
  long count = 0;
  auto count_history = Engine().seams.ps_history_count ? Engine().seams.ps_history_count
                                                        : CountPsHistory;
  if (count_history(query, f.Cvendor, f.Cproduct, f.Cprod_id, PsDetailsLike(ps, node), count) !=
      0) {
    AnalSqlError(action);
    // The failed statement spoils the open transaction for the report and
    // history that follow.
    RollbackWork();
    return on_error;
  }
  return count;
}

void Transient(char* value, const char* note) {
  AnalysisEngine& engine = Engine();
  engine.result.AUrgency = 'L';
  size_t used = strnlen(value, kCaptureSize - 1);
  std::snprintf(value + used, kCaptureSize - used, "%s", note);
}

// The node power decision of event state `e` against current state `c`.
// False when the analysis ended without the normal report.
bool DecideNodePower(int slot, PatternEntry* entry, const std::string& e, const std::string& c,
                     bool missing, const std::string& ps, const std::string& node) {
  AnalysisEngine& engine = Engine();
  if (e == "AC_OK" || e == "DC_OK") {
    SetKey(5, "Override");
    SetKey(4, c == "OK" ? "None" : "ConflictingData");
  } else if (e == "CHARGER_OVERLOAD") {
    if (c == "OK") {
      SetKey(4, "NodePS");
    } else if (c == "AC_FAIL" || c == "DC_FAIL") {
      SetKey(4, "SeeRelatedEvents");
      SetMsgValue(3, "\nAdditional information shows a Node PS status of " + c);
    } else if (missing) {
      EA_AnalysisFailed("'showbattery/shownode' output not available", true, slot, entry, false);
      return false;
    } else {
      SetKey(4, "CallSupport");
    }
  } else if (e == "FAN_OK") {
    SetKey(4, "None");
  } else if (e == "FAN_FAIL") {
    long n = RecentPsRows(kPsNotPresentRecently, ps, node, "NOT_PRESENT for FAN_FAIL error select", 0);
    SetKey(4, n > 0 ? "MaintenanceInProgress" : "NodePS");
  } else if (c == "OK") {
    SetKey(4, "TemporaryError");
    Transient(engine.capture[0], " - TRANSIENT");
    engine.result.AExtraText += kTransientText;
  } else if (c == "NOT_PRESENT") {
    SetKey(4, "MaintenanceInProgress");
    Transient(engine.capture[0], " - MAINTENANCE");
    engine.result.AExtraText += kMaintenanceText;
  } else if (c == "AC_FAIL" || c == "DC_FAIL" || c == "FAILED") {
    if (RecentPsRows(kPsFailedRecently, ps, node, "PS recent error select", 1) > 0) {
      SetKey(3, "MultipleErrors");
      SetKey(4, "CallSupport");
    }
  } else {
    SetKey(1, "OTHER");
    SetKey(4, "CallSupport");
  }
  return true;
}

std::string YesNo(bool b) { return b ? "true" : "false"; }

std::string FullBatteryDetails(const std::string& bat, const std::string& node,
                               const std::string& ps, const BattData& b) {
  const ShowBattState& sb = ShowBatt();
  return QdFormat(
      "~Comp=BAT%s~Loc=NODE%s|PS%s~BattMfg=%s~BattModel=%s~BattSerial=%s~BattState=%s"
      "~BattCount=%ld~BattLife=%ld~NoBattFound=%s~",
      bat.c_str(), node.c_str(), ps.c_str(), b.manufacturer.c_str(), b.model.c_str(),
      b.serial.c_str(), b.state.c_str(), sb.count, sb.life, YesNo(sb.no_battery_found).c_str());
}

void BatteryTransient() {
  AnalysisEngine& engine = Engine();
  SetKey(4, "TemporaryError");
  engine.result.AUrgency = 'L';
  SetMsgValue(9, " - TRANSIENT");
  engine.result.AExtraText += kTransientText;
}

// The keys and details of a battery event; false for an event the
// handler does not report on.
bool DecideBattery(const std::string& event, const PatternEntry* entry, const std::string& node,
                   const std::string& ps, const std::string& bat, const BattData& b) {
  const ShowBattState& sb = ShowBatt();
  std::string& details = Engine().result.EADetails;
  if (event == "evt_bat_badcount") {
    SetKey(4, "NodePS");
    details = QdFormat("~Comp=PS%s~Loc=NODE%s~BattCount=%ld~BattLife=%ld~NoBattFound=%s~",
                           ps.c_str(), node.c_str(), sb.count, sb.life,
                           YesNo(sb.no_battery_found).c_str());
    return true;
  }
  if (event == "evt_bat_nobats") {
    SetKey(4, "Battery");
    return true;
  }
  if (event == "evt_bat_expired") {
    if (b.serial == "Missing") {
      SetKey(3, "NoBatterySerial");
      SetKey(4, "SetupBatteryInfo");
    } else {
      SetKey(4, b.serial == "NotFound" ? "CallSupport" : "Battery");
      SetMsgValue(3, b.serial);
      if (entry->rule == 0) SetKey(3, "WillExpire");
    }
  } else if (event == "evt_bat_fail") {
    if (sb.no_battery_found) {
      SetKey(4, "CallSupport");
    } else if (b.state == "OK") {
      BatteryTransient();
    } else {
      if (sb.count == 0 && sb.life == 0) {
        SetKey(3, "NoBattLifeCount");
        SetKey(4, "CheckBatteryConnection");
      } else {
        SetKey(4, "CheckBatteryOn");
      }
      if (sb.old_layout) SetKey(6, "TIB0008");
    }
  } else if (event == "evt_bat_oldbat") {
    SetKey(4, "CheckAdminAndSetup");
  } else if (event == "evt_bat_swfail") {
    if (b.state == "OK" && sb.old_layout) {
      BatteryTransient();
    } else if (b.state == "OK") {
      SetKey(4, "Battery");
      SetKey(6, "TIB0008A");
    } else {
      SetKey(4, "Battery");
    }
  } else {
    return false;
  }
  details = FullBatteryDetails(bat, node, ps, b);
  return true;
}

bool LooksUpBattery(const std::string& event) {
  static const char* const kEvents[] = {"evt_bat_badcount", "evt_bat_expired", "evt_bat_fail",
                                        "evt_bat_oldbat", "evt_bat_swfail"};
  for (const char* e : kEvents) {
    if (event == e) return true;
  }
  return false;
}

}  // namespace

PatternEntry* EH_nodepower(int slot, const char* name, const std::string& s) {
  PatternEntry* entry = EH_pattern(slot, name, s);
  if (!entry || !ExtendedAnalysis()) return entry;
  if (!PowerPatternsUsable()) {
    EA_AnalysisFailed(kPatternsFailed, false, slot, entry, false);
    return entry;
  }
  std::string f[3];
  if (!EventFields(kEventPsPattern, s, f)) {
    EA_AnalysisFailed(kParseFailed, false, slot, entry, false);
    return entry;
  }
  const std::string& node = f[0];
  const std::string& ps = f[1];
  std::string e = EA_format_psstate(f[2]);
  if (std::atol(ps.c_str()) > 1) {
    EA_AnalysisFailed(
        QdFormat("Node %s power supply number '%s' is invalid.", node.c_str(), ps.c_str()),
        false, slot, entry, false);
    return entry;
  }
  bool missing = EA_NodeState(node);
  std::string c = missing ? e : ShowNode().ps_state[std::atoi(ps.c_str())];
  SetKey(6, missing ? "MissingData" : "na");
  SetKey(1, e);
  SetKey(2, "na");
  SetKey(3, "na");
  SetKey(4, "NodePS");
  SetKey(5, ModelKey());
  SetMsgValue(0, ps);
  SetMsgValue(1, node);
  SetMsgValue(2, e);
  SetMsgValue(3, "");
  if (!DecideNodePower(slot, entry, e, c, missing, ps, node)) return entry;
  Engine().result.EADetails = "~Comp=PS" + ps + "~Loc=NODE" + node + "~PSstate=" + c + "~";
  (void)EA_common(slot, entry, false, false);
  return entry;
}

PatternEntry* EH_battery(int slot, const char* name, const std::string& s) {
  for (int k = 1; k <= 3; ++k) SetKey(k, "na");
  SetKey(4, "NodePS");
  SetKey(5, ModelKey());
  SetKey(6, "na");
  SetMsgValue(9, "");
  const char* handler = Engine().evtdata.handlername;
  PatternEntry* entry = std::strncmp(handler, "PAT", 3) == 0 ? EH_pattern(slot, name, s)
                                                            : EH_generic(slot, name, s);
  if (!entry || !ExtendedAnalysis()) return entry;
  if (!PowerPatternsUsable()) {
    EA_AnalysisFailed(kPatternsFailed, false, slot, entry, false);
    return entry;
  }
  std::string event = name ? name : "";
  std::string node, ps, bat;
  bool missing = false;
  BattData none;
  const BattData* b = &none;
  if (LooksUpBattery(event)) {
    std::string f[3];
    if (!EventFields(kEventBatteryPattern, s, f)) {
      EA_AnalysisFailed(kParseFailed, false, slot, entry, false);
      return entry;
    }
    node = f[0];
    ps = f[1];
    long number = std::strtol(f[2].c_str(), nullptr, 10);
    bat = std::to_string(number);
    SetMsgValue(0, node);
    SetMsgValue(1, ps);
    SetMsgValue(2, bat);
    missing = EA_BatteryState(node, ps);
    // A battery number outside the slots has no data: it reads "NotFound".
    if (number >= 0 && number < kBatterySlots) b = &ShowBatt().batteries[number];
  }
  if (!DecideBattery(event, entry, node, ps, bat, *b)) return entry;
  if (missing) SetKey(6, "MissingData");
  (void)EA_common(slot, entry, false, false);
  return entry;
}
