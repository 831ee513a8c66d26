#pragma once
// Pattern tables: the regular expressions of qd_anal_pattern, grouped
// under an apply name, that pull values out of text into tags. Loaded once
// per slot and kept in Engine().patterns; ordered by apply, then lineseq,
// and ended by an entry whose apply is empty. The generic group " generic"
// sorts first.

#include "analysis_engine.h"

// Longest pattern text qd_anal_pattern holds.
constexpr int kPatternTextMax = 512;
// Longest expression error text logged.
constexpr int kRegexErrorMax = 1024;

// Loads the pattern table of `file_type` into `slot`; the tag targets are
// looked up in the slot's tag table (Engine().tags[slot]). Whatever
// pattern table the slot held is released first. Returns 0 with the new
// table in the slot and in *out (when `out` is not null). Returns -1 with
// the slot and *out null - no expression left compiled, no half-built
// table - when:
//  - the count or the cursor fails: QDZ0100 ("select pattern count for
//    file_type %ld", "open pattern count cursor for file_type %ld", "fetch
//    pattern cursor for file_type %ld") and the reconnect request;
//  - the file type has no rows: 0032 ('A'; "search patterns", file type);
//  - memory is short: 0035 ('A'; "search pattern", n + 1);
//  - an expression does not compile: 0036 ('A'; file type, apply,
//    lineseq) and 9999 ('2'; the expression error); loading stops there;
//  - a tag name is not in the slot's tag table: 0038 ('A'; tag name, file
//    type) for each such name, loading going on so that all are named;
//  - the slot is out of range.
// Rows with an empty apply name can never be applied and are left out.
[[nodiscard]] int GetPatterns(PatternEntry** out, long file_type, int slot);

// --- building blocks of GetPatterns (no database) -------------------------

// Results of FillPatternEntry.
enum PatternFill : int {
  kPatternFilled = 0,      // compiled and every tag found
  kPatternTagMissing = 1,  // stored, but a tag name was not found (logged)
  kPatternBadRegex = -1,   // the expression did not compile (logged); entry left empty
};

// Compiles `pattern` (POSIX extended, no other flags) into `entry`, then
// stores apply (cut to 40), lineseq and rule and looks each non-null tag
// name up in slot `slot`'s tag table. See PatternFill for the result and
// GetPatterns for the messages.
[[nodiscard]] int FillPatternEntry(PatternEntry& entry, long file_type, int slot, const char* apply,
                                   int lineseq, int rule, const char* pattern,
                                   const char* const tags[kCaptureCount]);
