#pragma once
// The analyzer's test seams: the ways out of an analysis (notifications,
// database look-ups, reports) that unit tests and the fuzz harnesses
// replace with their own. One struct, held by the engine (Engine().seams),
// so that ResetEngine takes every replacement back out. A null field keeps
// the real module; a test sets the fields it needs after ResetEngine.

#include <cstddef>
#include <string>

struct PatternEntry;
enum PsHistoryQuery : int;  // handlers/power_history.h

struct AnalyzerSeams {
  // Receives every process notification instead of the alerts file
  // (AnalAlert).
  void (*alert)(char urgency, const std::string& abstract, const std::string& text) = nullptr;
  // The tag-value translation of the event parse, in place of
  // SelectTagTranslation (same contract, tag_translate.h).
  int (*translate)(long file_type, const char* field, const char* value, char* data1,
                   size_t size, bool* is_null) = nullptr;

  // The cage handler's message texts (GetMsgText), reports (EA_common) and
  // failed-analysis reports (EA_AnalysisFailed).
  int (*msg_text)(char* destination, int length) = nullptr;
  bool (*report)(int slot, PatternEntry* entry, bool resymptom, bool redescribe) = nullptr;
  void (*report_failed)(const std::string& reason, bool quiet, int slot, PatternEntry* entry,
                        bool resymptom) = nullptr;
  // The cage handler's history count (CountCageHistory, cage_sql.h).
  int (*cage_history_count)(const char* key1, const char* key4, const char* details,
                            long* count) = nullptr;
  // The node power handler's history counts (CountPsHistory,
  // power_history.h).
  int (*ps_history_count)(PsHistoryQuery query, const std::string& vendor,
                          const std::string& product, const std::string& prod_id,
                          const std::string& details_like, long& count) = nullptr;
};
