#pragma once
// The template engine of mails, pages and alert history files: copies a
// template line by line and replaces keywords by fields of the
// notification record.
//
// Syntax: "%KEYWORD." (percent sign, keyword, full stop) is replaced by the
// field's text; "%%" is one percent sign. A percent sign not followed by a
// known keyword and a full stop stays as written, and the scan goes on
// right after it. Lines hold at most kTemplateLineMax characters; every
// output line ends with a line feed.
//
// Keywords: every text field of NotifyData by its name (NOTTYPE ...
// CUSTTEXT), and the stamps NOTTIME_HUB, NOTTIME_USER, EVENTTIMEFIRST,
// EVENTTIME and EVENTTIMELAST (the last two the same field), shown from
// their first date character on. With `xml` set (local-alert forwarding
// on), the free texts NOTCOMMENTS, ABSTRACT, TEXT and CUSTTEXT are
// written with their markup characters escaped (PrepTextForXML "meta").

#include <cstddef>
#include <cstdio>
#include <string>

#include "log_message.h"
#include "notify_data.h"

constexpr size_t kTemplateLineMax = 4095;

// Results of qdTemplate and TemplateCopy.
enum TemplateResult : int {
  kTemplateDone = 0,
  kTemplateFailed = 1,
};

// Expands the template file `file` (a path as given, already resolved)
// into `out`. Logs (when `log` is given) QDZ0080 '2' "opening template
// file" or "reading template file" with the file name (a line longer than
// kTemplateLineMax is a read failure), or "writing temp mail file" with
// "<not available>" when `out` refuses a write; each returns 1. Output
// written before a failure stays written.
[[nodiscard]] int qdTemplate(const char* file, const NotifyData& nd, FILE* out, CLogMessage* log,
                             bool xml);

// The same over an open template stream `in`; `name` is used in messages.
[[nodiscard]] int TemplateCopy(FILE* in, const char* name, const NotifyData& nd, FILE* out,
                               CLogMessage* log, bool xml);

// Expands one line (without its line feed) into `out` (appended), without
// the line feed. Never fails.
void TemplateExpandLine(const char* line, size_t length, const NotifyData& nd, bool xml,
                        std::string& out);

// Appends the text of keyword `keyword` (`length` bytes) to `out`; false,
// nothing appended, when it is not a keyword.
bool TemplateKeywordText(const char* keyword, size_t length, const NotifyData& nd, bool xml,
                         std::string& out);
