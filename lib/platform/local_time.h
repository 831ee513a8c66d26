#pragma once
// Local-time texts for log lines, report headers and tool output, one
// strftime format each caller chooses.

#include <ctime>
#include <string>

// `when` in local time as `format` (strftime) makes it, at most 63
// characters. "" when the time cannot be converted or the text is empty or
// longer.
std::string LocalTimeText(time_t when, const char* format);
