#pragma once
// EXPECTED files: what a folder of test fixtures (event files, handler
// fixtures, ...) should give, one section per fixture:
//
//   # a comment
//   [name]
//   key = value
//   other =
//
// "key =" gives an empty value; blank lines and "#" lines are skipped.

#include <map>
#include <string>

using ExpectedSection = std::map<std::string, std::string>;  // key -> value
using ExpectedSections = std::map<std::string, ExpectedSection>;  // name -> section

// Parses `text` into *out (cleared first). False with *error naming the
// line when a line is neither a section head nor "key = value" inside a
// section, or a section comes twice.
bool ParseExpected(const std::string& text, ExpectedSections* out, std::string* error);

// Reads and parses the file `path`; false with *error when it cannot be
// read or does not parse.
bool LoadExpected(const std::string& path, ExpectedSections* out, std::string* error);
