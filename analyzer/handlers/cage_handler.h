#pragma once
// Drive cage events (handler "jbodevt"): the parts of EH_jbodevt that its
// tests reach on their own, and the seams through which the handler reaches
// the database (message texts, the report, the history count), so that a
// test can run the decisions on a hand-built engine.
//
// A cage event string reads "Cage2-A, cage time Fri Apr 15 10:19:02 2005.
// Code 3 parms 0x1 0x2: fan 1 speed changed to low"; the event's pattern
// puts the code into the scratch tag RV0, the parameter list into RV2 and
// the cage's own text into RV3 (RV1 must exist, its value is not used).
#include <regex.h>

#include <string>

#include "analysis_engine.h"

constexpr int kCageParms = 12;  // parameters read from RV2; later ones are ignored

// The outcome of the stale test.
struct CageAge {
  bool old = false;    // the event is older than the cage's present state
  long difference = 0; // event time minus cage time, in seconds
  std::string reason;  // why the cage time could not be judged ("" when it could)
};

// Reads the cage time out of the "EventString" tag of `slot` and compares
// it with the "Time" tag (seconds). Old when the cage time is more than an
// hour before the event, when it counts seconds from boot, or when it
// names a year up to 1969 that the clock cannot represent (difference 0
// then). A reason (unusable patterns, no cage time, a time that does not
// convert) is logged as message 0042 ('2') and leaves the event not old.
CageAge EA_jbodevt_CageTimeTooOld(int slot);

// Parses up to 12 hexadecimal numbers separated by blanks ("0x1 0x2");
// missing or unreadable ones are 0. Returns how many were read.
int CageParseParms(const std::string& text, unsigned long parm[kCageParms]);

// What the code table decided for one event.
struct CageCodeOutcome {
  bool uses_text = false;         // capture 9 is looked up in qd_anal_msgtext
  bool double_expansion = false;  // the symptom is expanded twice
  int check = 0;                  // kCageCheck*
};
enum CageCheck {
  kCageCheckNone = 0,
  kCageCheckFan = 3,       // fan speed (code 3)
  kCageCheckPsStatus = 4,  // power supply status (code 4)
  kCageCheckPsAc = 5,      // power supply AC (code 5)
  kCageCheckChip = 27,     // chip access (code 27)
};

// Applies the code table: sets capture value 8, Mkey2, Mkey3 and the
// code's message values for `code` and its parameters. Touches nothing
// else; codes not in the table leave everything as it was.
CageCodeOutcome CageApplyCode(long code, const unsigned long parm[kCageParms]);

// The key Mkey4 takes from the power supply `ps`'s model in the
// "showcage -d" output: "MAGNETEK" for models beginning with "M", "ACME"
// for "A", else the model ("UnknownPSModel" when the output does not give
// one). Logs the reason as 0042 ('1') unless the output is missing.
void EA_jbodevt_PSfru(unsigned long ps);

// ---- ways to the database ------------------------------------------------
// The real modules, or the engine's seams where a test set them
// (analyzer_seams.h).

int CageMsgText(char* destination, int length);  // GetMsgText
bool CageReport(int slot, PatternEntry* entry, bool resymptom, bool redescribe);  // EA_common
void CageReportFailed(const std::string& reason, bool quiet, int slot, PatternEntry* entry,
                      bool resymptom);  // EA_AnalysisFailed
// Counts the history rows of the past 7 days of this array and event with
// ea_key1 `key1`, ea_key4 `key4` and ea_details like `details`
// (CountCageHistory). Returns 0 with *count set, -1 after a database error
// (logged by the caller).
int CageHistoryCount(const char* key1, const char* key4, const char* details, long* count);

// ---- shared by the checks (cage_checks.cpp) ------------------------------

// The checks of codes 3, 4, 5 and 27. Each returns true when its report was
// written (and so the symptom set through it); false when the handler must
// make the symptom itself.
bool CageFanCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                  const CageAge& age);
bool CagePsStatusCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                       const CageAge& age);
bool CagePsAcCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                   const CageAge& age);
bool CageChipCheck(int slot, PatternEntry* entry, const unsigned long parm[kCageParms],
                   const CageAge& age);

// Texts appended to AExtraText.
extern const char kCageStaleText[];
extern const char kCageTransientText[];
extern const char kCageMaintenanceText[];

// Small tools of the cage modules.
constexpr int kCageGroups = 11;  // whole match and 10 groups
// Runs `re` on `text` asking for the whole match and 10 groups; false
// without a match or a pattern.
bool CageMatch(const regex_t* re, const char* text, regmatch_t m[kCageGroups]);
// Group `m` of `text` ("" when it took no part).
std::string CageGroup(const char* text, const regmatch_t& m);
std::string CageUpper(std::string text);
// The data of tag `name` of `slot` ("" when the table has no such tag).
std::string CageTag(int slot, const char* name);
// Mkey1..Mkey6 (`number` 1..6), message value n and capture value n.
void CageSetKey(int number, const std::string& text);
std::string CageKey(int number);
void CageSetMsg(int n, const std::string& text);
std::string CageMsg(int n);
void CageSetCapture(int n, const std::string& text);
std::string CageCapture(int n);
// True when extended analysis runs (off the service processor).
bool CageExtendedOn();
// The texts an event gets when the cage says it is out of date: urgency
// 'L', " - OLD" on capture value 9 and the stale text.
void CageMarkOld();
// The start of checks 3 to 6 for an old event: message value 9 the age in
// minutes, Mkey3 and Mkey4 "OldCageEvent", Mkey5 "Override", the marks of
// CageMarkOld, and the report.
bool CageOldReport(int slot, PatternEntry* entry, const CageAge& age, bool resymptom);
