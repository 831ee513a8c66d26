#pragma once
// The event-file corpus of tests/corpus/events: the files the collector
// writes, one per event type, and the outcome EXPECTED gives for each.

#include <string>
#include <vector>

#include "expected_file.h"

struct CorpusEvent {
  std::string name;          // file name: the event type
  std::string text;          // the whole file
  ExpectedSection expected;  // its EXPECTED section, key -> value
};

// Reads every file of the corpus folder (EXPECTED aside) in name order,
// each with its EXPECTED section. Returns false with *error set when the
// folder or a file cannot be read, EXPECTED is malformed, or a file and
// the sections do not pair up one to one.
bool LoadCorpus(std::vector<CorpusEvent>* events, std::string* error);

// Splits an event file as the analyzer does: the text trimmed of blanks,
// tabs and newlines, cut at the first "\nXML FORMAT:\n". *summary gets the
// text before the marker plus "\n", *xml the text behind it up to and
// including the first "</Event>". False when there is no marker.
bool SplitEventFile(const std::string& text, std::string* summary, std::string* xml);
