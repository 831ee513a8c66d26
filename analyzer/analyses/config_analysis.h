#pragma once
// The configuration analysis (file type 101): one problem is looked for,
// drive cages that run too hot. The outside checker CheckCageTemp reads the
// stored file; when it reports hot cages the analysis raises a high-urgency
// alert with a fixed report text, sends the notification request, and
// writes the history row, the analysis in the catalogue and the status in
// one transaction (analysis_outcome.h).
//
// The analysis itself is AnalZarvekVelmarConfig (analyses.h):
//  - a file already analyzed (its catalogue row has anal_date) logs 9999
//    ('1') "Previously analyzed this file, analysis bypassed." and is done;
//  - the checker runs as "CheckCageTemp <stored file>", found through PATH,
//    with standard output and error in the result file
//    /tmp/<module>.CheckCageTemp.<pid>; no shell is involved;
//  - results: 0 done (nothing hot, hot cages notified, the checker's own
//    failure logged, an unreadable result file notified), 1 the checker
//    cannot be started or was ended by a signal (retry), -1 its end status
//    cannot be read (refuse);
//  - the result file is removed in every case.
//
// Checker contract: exit 0 no hot cage; 1 hot cages, one output line each
// with at least three words separated by blanks or tabs, the second the
// cage number and the third its temperature in degrees C; any other exit
// code is a failure that its output explains.

#include <string>

#include "child_process.h"

// Longest result line read; the rest of a longer line is dropped.
constexpr size_t kCageLineMax = 1024;

// One hot cage as the checker reports it.
struct HotCage {
  std::string cage;
  std::string temp;
};

// Reads one result line. False when it holds fewer than three words.
bool ParseCageLine(const std::string& line, HotCage& cage);

// The texts of the alert as they grow line by line.
struct CageAlert {
  std::string symptom_section;      // "========== Symptom ===..." and one line per cage
  std::string description_section;  // the fixed description and one line per cage
  std::string cage_name = "CAGE";   // "CAGE" and the first cage's number
  std::string symptom;              // ASymptom: names the first cage only
};

// A fresh alert: both sections with their headings and fixed text.
CageAlert NewCageAlert();

// Adds one hot cage to the sections; the first one also names the alert.
void AddHotCage(CageAlert& alert, const HotCage& cage);

// The notification text of the alert: symptom section, description
// section and the fixed maintenance section.
std::string CageAlertText(const CageAlert& alert);

// How the checker is started: "CheckCageTemp" with the stored file's path
// (already resolved) as its one argument, standard output and error into
// `result_file`.
ChildSpec CheckerSpec(const std::string& stored_file, const std::string& result_file);
