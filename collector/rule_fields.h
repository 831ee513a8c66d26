#pragma once
// Fields of the collector's rule files (prefilter and filter rules): a line
// of fields each ended by "," and the last one by ";".
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The `n` fields of `line` as written (blanks kept); false when a
// separator is missing.
bool SplitRuleFields(const std::string& line, int n, std::vector<std::string>& fields);

// A decimal number with optional blanks around it.
bool RuleInt(const std::string& text, int32_t& out);

// Copies a non-empty text that fits `cap` (with its terminator).
bool RuleText(const std::string& text, char* field, size_t cap);

// Opens the array's own rule file `own` (system path), else `common`, and
// reads its first header line; the other two header lines are skipped
// too. The file open at its first rule with `path` set, or nullptr when
// neither can be read; `missing` receives the names tried in vain.
FILE* OpenRuleFile(const std::string& own, const std::string& common, std::string& path,
                   std::vector<std::string>& missing);
