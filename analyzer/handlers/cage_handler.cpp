// Drive cage events: the handler "jbodevt", its code table and the small
// tools its checks share.
#include "cage_handler.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analysis_report.h"
#include "cage_sql.h"
#include "engine_log.h"
#include "event_handlers.h"
#include "handler_patterns.h"
#include "msg_text.h"
#include "pattern_match.h"
#include "tag_table.h"
#include "template_engine.h"

const char kCageStaleText[] =
    "\nCage time differs significantly from event time; check current cage conditions.\n";
const char kCageTransientText[] =
    "\nLater data indicates that this was a transient failure; check related events.\n";
const char kCageMaintenanceText[] =
    "\nProbable maintenance actions in progress; check related events.\n";

// ---------------------------------------------------- ways to the database

int CageMsgText(char* destination, int length) {
  auto seam = Engine().seams.msg_text;
  return (seam ? seam : GetMsgText)(destination, length);
}

bool CageReport(int slot, PatternEntry* entry, bool resymptom, bool redescribe) {
  auto seam = Engine().seams.report;
  return (seam ? seam : EA_common)(slot, entry, resymptom, redescribe);
}

void CageReportFailed(const std::string& reason, bool quiet, int slot, PatternEntry* entry,
                      bool resymptom) {
  auto seam = Engine().seams.report_failed;
  (seam ? seam : EA_AnalysisFailed)(reason, quiet, slot, entry, resymptom);
}

int CageHistoryCount(const char* key1, const char* key4, const char* details, long* count) {
  auto seam = Engine().seams.cage_history_count;
  return (seam ? seam : CountCageHistory)(key1, key4, details, count);
}

// ---------------------------------------------------------------- tools

bool CageMatch(const regex_t* re, const char* text, regmatch_t m[kCageGroups]) {
  return re && text && regexec(re, text, kCageGroups, m, 0) == 0;
}

std::string CageGroup(const char* text, const regmatch_t& m) {
  if (m.rm_so < 0 || m.rm_eo < m.rm_so) return "";
  return std::string(text + m.rm_so, static_cast<size_t>(m.rm_eo - m.rm_so));
}

std::string CageUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string CageTag(int slot, const char* name) {
  TAGENTRY* entry = FindTagEntry(slot, name);
  return entry ? entry->data : std::string();
}

void CageSetKey(int number, const std::string& text) {
  if (number < 1 || number > kMsgKeyCount) return;
  std::snprintf(Engine().Mkey[number - 1], kMsgKeySize, "%s", text.c_str());
}

std::string CageKey(int number) {
  if (number < 1 || number > kMsgKeyCount) return "";
  return Engine().Mkey[number - 1];
}

void CageSetMsg(int n, const std::string& text) {
  if (n >= 0 && n < kCaptureCount) std::snprintf(Engine().msgval[n], kCaptureSize, "%s", text.c_str());
}

std::string CageMsg(int n) { return n >= 0 && n < kCaptureCount ? Engine().msgval[n] : ""; }

void CageSetCapture(int n, const std::string& text) {
  if (n >= 0 && n < kCaptureCount) std::snprintf(Engine().capture[n], kCaptureSize, "%s", text.c_str());
}

std::string CageCapture(int n) { return n >= 0 && n < kCaptureCount ? Engine().capture[n] : ""; }

bool CageExtendedOn() {
  const DaemonState* st = Engine().daemon;
  return st && !st->on_sp;
}

void CageMarkOld() {
  Engine().result.AUrgency = 'L';
  CageSetCapture(9, CageCapture(9) + " - OLD");
  Engine().result.AExtraText += kCageStaleText;
}

bool CageOldReport(int slot, PatternEntry* entry, const CageAge& age, bool resymptom) {
  CageSetMsg(9, std::to_string(age.difference / 60));
  CageSetKey(3, "OldCageEvent");
  CageSetKey(4, "OldCageEvent");
  CageSetKey(5, "Override");
  CageMarkOld();
  return CageReport(slot, entry, resymptom, false);
}

int CageParseParms(const std::string& text, unsigned long parm[kCageParms]) {
  for (int i = 0; i < kCageParms; ++i) parm[i] = 0;
  const char* p = text.c_str();
  int n = 0;
  while (n < kCageParms) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    char* end = nullptr;
    unsigned long value = std::strtoul(p, &end, 16);
    if (end == p) {  // not a number: count it as 0 and skip it
      while (*p && *p != ' ' && *p != '\t') ++p;
      value = 0;
    } else {
      p = end;
      while (*p && *p != ' ' && *p != '\t') ++p;
    }
    parm[n++] = value;
  }
  return n;
}

// ----------------------------------------------------------- code table

namespace {

std::string ParmKey(const unsigned long parm[kCageParms], int n) {
  return QdFormat("parm%d=%lu", n, parm[n]);
}

void Keys(const std::string& key2, const std::string& key3) {
  CageSetKey(2, key2);
  CageSetKey(3, key3);
}

void ChipValues(const unsigned long parm[kCageParms]) {
  CageSetMsg(0, parm[0] == 0 ? "read" : parm[0] == 1 ? "write" : "unknown");
  unsigned long x = parm[2];
  unsigned long kind = x >> 5;
  CageSetMsg(1, kind == 4 ? "serial controller chip" : kind == 5 ? "EEPROM" : "Unknown chip");
  CageSetMsg(3, "");
  switch (parm[1]) {
    case 1:
      CageSetMsg(2, "DM");
      CageSetMsg(3, x == 206 ? "?" : std::to_string((x % 32) >> 1));
      break;
    case 0:
      CageSetMsg(2, "MDPL");
      break;
    case 2:
      CageSetMsg(2, "LOOP");
      CageSetMsg(3, (x % 32) != 0 ? "B" : "A");
      break;
    default:
      CageSetMsg(2, "UNK");
  }
}

}  // namespace

CageCodeOutcome CageApplyCode(long code, const unsigned long p[kCageParms]) {
  CageCodeOutcome out;
  out.uses_text = true;
  switch (code) {
    case 1: case 7: case 15: case 32: case 53: case 54: case 56:
      Keys(ParmKey(p, 0), "na");
      break;
    case 2:
      Keys("na", "na");
      break;
    case 3:
      CageSetCapture(8, QdFormat("FAN%lu", p[0]));
      Keys(ParmKey(p, 1), "na");
      out.check = kCageCheckFan;
      break;
    case 4:
      CageSetMsg(0, p[0] == 0 ? "PS" : p[0] == 1 ? "FAN" : "UNK");
      CageSetCapture(8, CageMsg(0) + std::to_string(p[1]));
      Keys(ParmKey(p, 2), "na");
      out.double_expansion = true;
      out.check = kCageCheckPsStatus;
      break;
    case 5:
      CageSetCapture(8, QdFormat("PS%lu", p[0]));
      Keys(ParmKey(p, 1), "na");
      out.check = kCageCheckPsAc;
      break;
    case 6:
      CageSetCapture(8, p[1] == 0 ? std::string("LOOPA")
                        : p[1] == 1 ? std::string("LOOPB")
                                    : QdFormat("LOOP?%lu?", p[1]));
      Keys(ParmKey(p, 0), ParmKey(p, 2));
      break;
    case 8:
      CageSetCapture(8, QdFormat("DM%lu", p[1]));
      Keys(ParmKey(p, 0), "na");
      break;
    case 9:
      CageSetCapture(8, QdFormat("DM%lu|HD%lu", p[1], p[2]));
      Keys(ParmKey(p, 0), "na");
      break;
    case 10:
      Keys(ParmKey(p, 8), "na");
      break;
    case 11: case 19:
      Keys(ParmKey(p, 0), ParmKey(p, 1));
      break;
    case 27:
      ChipValues(p);
      CageSetCapture(8, CageMsg(2) + CageMsg(3));
      Keys("na", "na");
      out.double_expansion = true;
      out.check = kCageCheckChip;
      break;
    case 49:
      CageSetCapture(8, QdFormat("FCAL%lu", p[1]));
      Keys(ParmKey(p, 0), "na");
      break;
    case 50:
      CageSetCapture(8, QdFormat("FCAL%lu|SFP%lu", p[1], p[2]));
      Keys(ParmKey(p, 0), "na");
      break;
    case 51:
      CageSetCapture(8, p[0] == 2 ? QdFormat("MDPL%lu|PMC%lu", p[1], p[2]) : std::string("MDPL"));
      Keys(ParmKey(p, 0), "na");
      break;
    case 57: {
      static const char* const kSlot[] = {"0", "1", "8", "?", "9"};
      CageSetMsg(0, std::to_string(p[0]));
      CageSetMsg(1, p[0] <= 4 ? kSlot[p[0]] : "?");
      Keys(ParmKey(p, 0), "na");
      out.double_expansion = true;
      break;
    }
    case 58: {
      CageSetMsg(0, std::to_string(p[1] >> 4));
      CageSetMsg(1, std::to_string(p[1] & 15));
      CageSetMsg(2, (p[2] & 1) ? "B" : "A");
      unsigned long kind = p[0] & 15;
      const char* format = kind == 1 ? "DM%s|HD%s" : kind == 2 ? "FCAL%s|SFP%s" : "Unk%s|Unk%s";
      CageSetCapture(8, QdFormat(format, CageMsg(0).c_str(), CageMsg(1).c_str()));
      Keys(ParmKey(p, 0), "na");
      out.double_expansion = true;
      break;
    }
    case 60:
      CageSetMsg(0, std::to_string(p[2]));
      CageSetMsg(1, std::to_string(p[3]));
      CageSetMsg(2, (p[4] & 254) != 0 ? "B" : "A");
      CageSetCapture(8, QdFormat("DM%s|HD%s", CageMsg(0).c_str(), CageMsg(1).c_str()));
      Keys(ParmKey(p, 0), "na");
      out.double_expansion = true;
      break;
    default:
      out.uses_text = false;
  }
  return out;
}

// ------------------------------------------------------------- handler

namespace {

constexpr const char* kReordered[] = {"RV0", "RV1", "RV2", "RV3"};

// Every reordered value is in the tag table; else the notification and
// 0038 for the first one missing.
bool ReorderedPresent(int slot, const char* event_name) {
  for (const char* name : kReordered) {
    if (FindTagEntry(slot, name)) continue;
    AnalAlert('H', QdFormat("Reordered value %s not found for event '%s'", name, event_name),
              QdFormat("Source file: %s", AnalStoreFile()));
    AnalLog("0038", 'A', name, CurrentFileType());
    return false;
  }
  return true;
}

void CagePosition() {
  CageSetMsg(8, "");
  regmatch_t m[kCageGroups];
  const std::string& added = Engine().result.AAddedData;
  if (!CageMatch(HandlerPatternAt(30), added.c_str(), m)) return;
  std::string position = CageGroup(added.c_str(), m[1]);
  // The pattern's group runs to the end of the line: drop trailing blanks.
  while (!position.empty() && (position.back() == ' ' || position.back() == '\t')) position.pop_back();
  if (position.empty() || position == "---") return;
  CageSetMsg(8, QdFormat("\nCage position: %s.", position.c_str()));
}

bool RunCheck(int check, int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
              const CageAge& age) {
  switch (check) {
    case kCageCheckFan: return CageFanCheck(slot, entry, parm, age);
    case kCageCheckPsStatus: return CagePsStatusCheck(slot, entry, parm, age);
    case kCageCheckPsAc: return CagePsAcCheck(slot, entry, parm, age);
    case kCageCheckChip: return CageChipCheck(slot, entry, parm, age);
    default: return false;
  }
}

}  // namespace

PatternEntry* EH_jbodevt(int slot, const char* event_name, const std::string& event_string) {
  const char* name = event_name ? event_name : "";
  AnalysisEngine& engine = Engine();
  PatternEntry* entry = Parse_entry(slot, name, event_string);
  if (!entry) return nullptr;
  const int rule = entry->rule;
  if (rule < 0 || rule >= 10 || !engine.evtdata.templ_present[rule]) {
    AnalAlert('H', QdFormat("Template %d not found for event '%s'", rule, name),
              QdFormat("Source file: %s", AnalStoreFile()));
    AnalLog("0039", 'A', rule, name);
    return entry;
  }
  if (rule == 0) {
    engine.result.ASymptom = UseTemplate(slot, engine.evtdata.templ[0].c_str());
    return entry;
  }
  if (!ReorderedPresent(slot, name)) return entry;

  const long code = std::strtol(CageTag(slot, "RV0").c_str(), nullptr, 0);
  unsigned long parm[kCageParms];
  CageParseParms(CageTag(slot, "RV2"), parm);
  CageSetKey(1, QdFormat("code=%ld", code));
  CageSetKey(3, "na");
  CageSetKey(5, "na");
  CageSetKey(6, "na");
  CagePosition();
  const CageAge age = EA_jbodevt_CageTimeTooOld(slot);

  const CageCodeOutcome outcome = CageApplyCode(code, parm);
  bool found = false;
  if (outcome.uses_text) {
    found = CageMsgText(engine.capture[9], kCaptureSize) == 0;
    if (found && outcome.check != kCageCheckNone && CageExtendedOn()) {
      // A report that could not be written leaves no symptom: the event
      // then gets the one it would have had without the check.
      engine.result.ASymptom.clear();
      if (RunCheck(outcome.check, slot, entry, parm, age) && !engine.result.ASymptom.empty()) {
        return entry;
      }
    }
  }
  if (!found) CageSetCapture(9, CageTag(slot, "RV3"));
  // A check may already have marked the event old; mark it once.
  if (age.old && CageCapture(9).find(" - OLD") == std::string::npos) CageMarkOld();
  std::string symptom = UseTemplate(slot, engine.evtdata.templ[rule].c_str());
  if (outcome.double_expansion) symptom = UseTemplate(slot, symptom.c_str());
  engine.result.ASymptom = symptom;
  return entry;
}
