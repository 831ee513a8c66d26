#pragma once
// Small text routines of the analyzer: blank squeezing, character removal,
// the event's release check and the event time from its text form.

#include <string>

#include "time_stamp.h"

// Joins the blank- and tab-separated words of `s` with single blanks, no
// blank at either end. An empty `s` stays empty; one holding only blanks
// and tabs becomes " ".
void squish_blanks(std::string& s);

// Removes from `s` every character that occurs in `characters` (null or
// empty: nothing is removed).
void RemoveChars(std::string& s, const char* characters);

// True when the "ReleaseLevel" value of the event (slot 0's tag table) is
// a four-part level "M.m.p.b" of at least major.minor.patch. False when
// the slot has no table, the tag is missing or has no value of this
// event, or the value has any other number of parts. Logs nothing.
bool ReleaseAtLeast(int major, int minor, int patch);

// The time stamp of a time text "Tue Mar 15 10:20:30 2005" (weekday,
// month, day, time, year; blanks and tabs between): 'a' followed by
// "YYYY/MM/DD hh:mm:ss.00" made of the year token, the month's number
// (13 for a token that is no month name "Jan".."Dec"), the day and the
// time token. Missing tokens count as empty. The text is cut to the 23
// characters the stamp holds and NUL-terminated; unused bytes are NUL.
void ConvertTime(const char* text, Time_Stamp& stamp);

// The same into the event time of the analysis result (AEventTimeFirst).
void ConvertTime(const char* text);
