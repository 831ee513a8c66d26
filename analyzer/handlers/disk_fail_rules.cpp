#include "disk_fail_rules.h"

#include <cstring>
#include <vector>

const char kPatternsFailed[] = "Patterns failed to compile at initialization";
const char kNoDiskListing[] = "'showpd #' output not available";
const char kTransientNote[] =
    "\nLater data indicates that this was a transient failure; check related events.\n";

namespace {

bool Contains(const std::string& text, const char* what) {
  return text.find(what) != std::string::npos;
}

// The next ":"-separated part of `text` from `at`, skipping empty ones;
// false when none is left.
bool NextPart(const std::string& text, size_t& at, std::string& part) {
  while (at < text.size() && text[at] == ':') ++at;
  if (at >= text.size()) return false;
  size_t end = text.find(':', at);
  if (end == std::string::npos) end = text.size();
  part = text.substr(at, end - at);
  at = end < text.size() ? end + 1 : end;
  return true;
}

}  // namespace

void SplitDiskPosition(const std::string& position, FailedDisk& disk) {
  disk.cage = disk.magazine = disk.position = "?";
  if (position.empty() || position[0] == '-') return;
  size_t at = 0;
  std::string part;
  if (!NextPart(position, at, part)) return;
  disk.cage = part;
  if (!NextPart(position, at, part)) return;
  disk.magazine = part;
  if (disk.magazine == "?") return;
  while (at < position.size() && position[at] == ':') ++at;
  if (at < position.size()) disk.position = position.substr(at);
}

DiskVerdict ClassifyDiskFailure(const FailedDisk& disk) {
  DiskVerdict verdict;
  const std::string& state = disk.state;
  if (disk.failure == "-NotFound-") {
    verdict.category = "CallSupport";
  } else if (state == "FAILED") {
    bool maintenance = Contains(disk.failure, "Primary port is sick for more than 12 minutes") ||
                       Contains(disk.failure, "issing for 4 minutes");
    verdict.category = maintenance ? "MaintenanceInProgress" : "FCdisk" + disk.size;
  } else if (state == "NOTREADY") {
    bool maintenance = Contains(disk.failure, "Not ready for 4 minutes") ||
                       Contains(disk.failure, "Drive state has been not-ready for 4 minutes");
    verdict.category = maintenance ? "MaintenanceInProgress" : "CallSupport";
  } else if (state == "VALID") {
    verdict.category = "TemporaryError";
    verdict.transient = true;
  } else {
    // MISSING, INVDRVFW and any state the rules do not know.
    verdict.category = "CallSupport";
  }
  return verdict;
}

std::string DiskFailureDetails(const FailedDisk& disk) {
  return "~Comp=PD" + disk.id + "~Loc=CAGE" + disk.cage + "|DM" + disk.magazine + "|HD" +
         disk.position + "~PDstate=" + disk.state + "~Failure=" + disk.failure + "~";
}
