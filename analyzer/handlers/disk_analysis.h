#pragma once
// Tools the disk handlers share: the extended-analysis switch, the
// compiled extended-analysis patterns by number, and the message keys and
// values they fill. Touch no database.

#include <regex.h>

#include <string>

#include "anal_alert.h"
#include "analysis_engine.h"

// True when extended analysis runs: a daemon is attached and it is not
// running on the service processor (RUNNINGONSP false). Without a daemon
// (a bare engine) there is no report to write, so false.
bool ExtendedAnalysisOn();

// Runs pattern `number` on `text` asking for the whole match and ten
// groups. Returns 1 on a match (groups in `groups`, unused ones -1),
// 0 when it does not match, -1 when the pattern is unusable.
int RunHandlerPattern(int number, const std::string& text, regmatch_t groups[11]);

// Group `n` of a match in `text`; "" when the group took no part.
std::string MatchGroup(const std::string& text, const regmatch_t groups[11], int n);

// Message value `n` (0..9) := `value`, cut to the buffer's 4095 characters.
void SetMsgValue(int n, const std::string& value);

// Mkey1..Mkey3 := "na", Mkey4 := `category`, Mkey5 and Mkey6 := "na".
void SetDiskKeys(const std::string& category);
