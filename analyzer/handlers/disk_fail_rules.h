#pragma once
// The decisions of the physical-disk failure analysis, apart from where
// their inputs come from: how a disk position is read and which category
// (Mkey4) a failed disk falls in. Pure functions; no engine state.

#include <string>

// What the analysis knows of the failed disk. Unknown parts read "?"
// (place) or "-NotFound-" (failure details).
struct FailedDisk {
  std::string id = "?";
  std::string cage = "?";
  std::string magazine = "?";
  std::string position = "?";
  std::string size;
  std::string state;       // upper case, as the listing's last column says
  std::string failure = "-NotFound-";
  std::string error_code = "-NotFound-";
  std::string error_info = "-NotFound-";
  std::string sys_error = "-NotFound-";
};

// Reasons the analysis stops before its report.
extern const char kPatternsFailed[];  // "Patterns failed to compile at initialization"
extern const char kNoDiskListing[];   // "'showpd #' output not available"
// Appended to AExtraText for a failure that later data shows as transient.
extern const char kTransientNote[];

// Splits a listing position "CAGE:MAGAZINE:DISK" into `disk`. A position
// that begins with "-" (the listing's "--" for no place) leaves all three
// "?"; empty parts are skipped; the disk part is read only when the
// magazine is not "?", and is what remains after the second ":".
void SplitDiskPosition(const std::string& position, FailedDisk& disk);

struct DiskVerdict {
  std::string category;   // "CallSupport", "MaintenanceInProgress", "FCdisk<size>", "TemporaryError"
  bool transient = false; // the disk is valid again: low urgency and the transient note
};

// The category of `disk` by its failure text and state.
DiskVerdict ClassifyDiskFailure(const FailedDisk& disk);

// "~Comp=PD<id>~Loc=CAGE<cage>|DM<magazine>|HD<position>~PDstate=<state>~Failure=<failure>~"
std::string DiskFailureDetails(const FailedDisk& disk);
