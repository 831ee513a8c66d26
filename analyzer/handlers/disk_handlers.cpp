// Disk events: command errors, aborted commands and component notices.
// Physical disk failures have their own file (disk_fail_handler.cpp).
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis_report.h"
#include "disk_analysis.h"
#include "event_handlers.h"
#include "text_util.h"

namespace {

constexpr char kMediumFailure[] = "TE_MEDFAIL";
constexpr char kHardwareError[] = "TE_HWERR";

// Keys and message values of a command error whose status the rules do
// not know, taken from the symptom "COMPONENT STATUS DETAIL...". Writes the
// report, or logs 0042 when the symptom has fewer than three words.
void ReportUnknownCommandStatus(int slot, PatternEntry* entry) {
  AnalysisEngine& engine = Engine();
  SetDiskKeys("UnknownError");
  std::string symptom = engine.result.ASymptom;
  char* tokens[3] = {nullptr, nullptr, nullptr};
  int count = GetTokens(&symptom[0], " ", tokens, 3, true, true);
  if (count < 3) {
    AnalLog("0042", 'A', "Unexpected format in symptom string");
    return;
  }
  // The component may carry a suffix after a hyphen; the report names the
  // component alone.
  if (char* dash = std::strchr(tokens[0], '-')) *dash = '\0';
  SetMsgValue(0, tokens[0]);
  SetMsgValue(1, tokens[1]);
  engine.result.EADetails = std::string("~Comp=") + tokens[0] + "~CmdStat=" + tokens[1] + "~";
  EA_common(slot, entry, false, false);
}

}  // namespace

PatternEntry* EH_dskerr(int slot, const char* name, const std::string& s) {
  AnalysisEngine& engine = Engine();
  PatternEntry* entry = EH_pattern(slot, name, s);
  const std::string status = engine.capture[1];
  if (status == kMediumFailure) engine.result.AUrgency = 'L';
  if (!entry || !ExtendedAnalysisOn()) return entry;
  if (status == kMediumFailure || status == kHardwareError) return entry;
  ReportUnknownCommandStatus(slot, entry);
  return entry;
}

PatternEntry* EH_dskabrt(int slot, const char* name, const std::string& s) {
  PatternEntry* entry = EH_pattern(slot, name, s);
  Engine().result.AUrgency = 'L';
  return entry;
}

PatternEntry* EH_notifycomp(int slot, const char* name, const std::string& s) {
  PatternEntry* entry = EH_pattern(slot, name, s);
  if (entry && entry->rule == 9) Engine().result.AUrgency = 'L';
  return entry;
}
