// Physical disk failures: the disk's listing that the collector attached
// ("showpd" output) gives the disk's place, size and state; the event
// string gives the failure text and the array's error codes. Together they
// choose the category of the failure (Mkey4) and so the parts and
// procedures of the report.
#include <algorithm>
#include <cctype>
#include <string>

#include "analysis_report.h"
#include "disk_analysis.h"
#include "disk_fail_rules.h"
#include "event_handlers.h"

namespace {

constexpr int kDiskListing = 13;
constexpr int kFailureText = 14;
constexpr int kFailureCodes[3] = {15, 16, 17};  // error code, error info, system error code
constexpr char kNotFound[] = "-NotFound-";

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Group 1 of pattern `number` in `text`, or "-NotFound-".
std::string FirstGroup(int number, const std::string& text) {
  regmatch_t groups[11];
  if (RunHandlerPattern(number, text, groups) != 1 || groups[1].rm_so < 0) return kNotFound;
  return MatchGroup(text, groups, 1);
}

// Reads the disk listing out of `added`. Returns "" with `disk` filled, or
// the reason the analysis cannot go on.
std::string ReadDiskListing(const std::string& added, FailedDisk& disk) {
  regmatch_t groups[11];
  int rc = RunHandlerPattern(kDiskListing, added, groups);
  if (rc < 0) return kPatternsFailed;
  if (rc == 0) return kNoDiskListing;
  std::string id = MatchGroup(added, groups, 2);
  disk.id = id.empty() || id[0] == '-' ? "?" : id;
  SplitDiskPosition(MatchGroup(added, groups, 3), disk);
  disk.size = MatchGroup(added, groups, 4);
  disk.state = Upper(MatchGroup(added, groups, 6));
  return "";
}

void ReadFailureDetails(const std::string& event_string, FailedDisk& disk) {
  disk.failure = FirstGroup(kFailureText, event_string);
  disk.error_code = FirstGroup(kFailureCodes[0], event_string);
  disk.error_info = FirstGroup(kFailureCodes[1], event_string);
  disk.sys_error = FirstGroup(kFailureCodes[2], event_string);
}

void FillMessageValues(const FailedDisk& disk) {
  const std::string* values[8] = {&disk.id,      &disk.cage,       &disk.magazine,   &disk.position,
                                  &disk.failure, &disk.error_code, &disk.error_info, &disk.sys_error};
  for (int n = 0; n < 8; ++n) SetMsgValue(n, *values[n]);
}

}  // namespace

PatternEntry* EH_dskfail(int slot, const char* name, const std::string& s) {
  PatternEntry* entry = EH_pattern(slot, name, s);
  if (!entry || !ExtendedAnalysisOn()) return entry;
  AnalysisEngine& engine = Engine();
  SetMsgValue(9, "");
  FailedDisk disk;
  std::string reason = ReadDiskListing(engine.result.AAddedData, disk);
  if (!reason.empty()) {
    EA_AnalysisFailed(reason, reason == kNoDiskListing, slot, entry, false);
    return entry;
  }
  ReadFailureDetails(s, disk);
  FillMessageValues(disk);
  DiskVerdict verdict = ClassifyDiskFailure(disk);
  SetDiskKeys(verdict.category);
  if (verdict.transient) {
    engine.result.AUrgency = 'L';
    SetMsgValue(9, " - TRANSIENT");
    engine.result.AExtraText += kTransientNote;
  }
  engine.result.EADetails = DiskFailureDetails(disk);
  EA_common(slot, entry, false, false);
  return entry;
}
