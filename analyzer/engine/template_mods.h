#pragma once
// Modifiers of template references ("%TName{Upper,Trim}."): a list
// separated by "," applied left to right to a copy of the value.
//
//   RemoveWhitespaceNL  every tab, blank and newline removed
//   RemoveWhitespace    every tab and blank removed
//   SquishBlanks        runs of blanks and tabs become one blank, ends
//                       trimmed; a text of blanks and tabs only becomes " "
//   Upper, Lower        ASCII case
//   Trim, TrimRight, TrimLeft
//                       blanks, tabs and newlines removed at both ends / the
//                       end / the start
//   ValueOf:KEY         the field KEY of a "name=value|name=value" list: the
//                       text after "KEY=" at the start or after "|KEY=",
//                       up to the next "|"; "<KEY=novalue>" when absent
//                       (key B: "A=1|B=2|C=3" gives "2", "A=1" "<B=novalue>")

#include <string>

// Applies `modifiers` (null or "" means none) to `value` and appends the
// result to `out`; returns true. An unknown modifier (an empty item of the
// list included) raises a process notification 'H' "Template mod routine
// error" naming it, the whole list and the store file; the remaining
// modifiers are still applied, but the result is false and `out` is left
// unchanged. A null `value` reads as "".
bool DoMod(const char* modifiers, const char* value, std::string& out);
bool DoMod(const char* modifiers, const std::string& value, std::string& out);
