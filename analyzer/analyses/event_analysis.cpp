#include "event_analysis.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "anal_alert.h"
#include "anal_history.h"
#include "analyses.h"
#include "analysis_outcome.h"
#include "analysis_sql.h"
#include "config_sql.h"
#include "daemon_log.h"
#include "engine_log.h"
#include "event_handlers.h"
#include "event_parse.h"
#include "event_sql.h"
#include "event_text.h"
#include "fdb_read.h"
#include "notify_request.h"
#include "pattern_match.h"
#include "pattern_table.h"
#include "sql_error.h"
#include "tag_exits.h"
#include "tag_table.h"
#include "txn_fields.h"

namespace {

constexpr char kNoValue[] = "<no value>";
constexpr char kInitText[] = "For VELMAR EVENT, file_type = 100. See platform log.";
constexpr char kDefaultEventTime[] = "a1999/12/31 23:59:59.00";

// The tags the analysis reads by name; the event tag table must hold all.
const char* const kWellKnownTags[] = {
    "Sev",          "tSev",         "Type",         "tType",      "Time",
    "tTime",        "AlertId",      "MessageCode",  "CompType",   "CompId",
    "ShortDesc",    "EventString",  "CompName",     "Class",      "SystemModel",
    "ReleaseLevel", "OverallState", "StCompType",   "StCompState"};

// ---- tag values of the event (slot 0) -----------------------------------

// The entry that holds the value of tag `name` (its redirect target).
TAGENTRY* Holder(const char* name) {
  TAGENTRY* entry = FindTagEntry(0, name);
  return entry ? TagTarget(entry) : nullptr;
}

const std::string& Value(const char* name) {
  static const std::string none = kNoValue;
  TAGENTRY* holder = Holder(name);
  return holder ? holder->data : none;
}

bool HasData(const char* name) {
  TAGENTRY* holder = Holder(name);
  return holder && (holder->flags & TAG_HAS_DATA);
}

void SetValue(const char* name, const std::string& value) {
  if (TAGENTRY* holder = Holder(name)) holder->data = value;
}

std::string SourceFile() { return QdFormat("Source file: %s", AnalStoreFile()); }

// A failed statement: logged with the reconnect request, its transaction
// rolled back.
void SqlFailed(DaemonState& st, const char* action) {
  DaemonSqlError(st, action);
  RollbackWork();
}

// The system model of a "SystemModel" value: "Unknown" when the event
// gave none, else the text after its last blank (all of it without one).
std::string ModelOf(const std::string& value) {
  if (value == kNoValue) return "Unknown";
  size_t blank = value.rfind(' ');
  return blank == std::string::npos ? value : value.substr(blank + 1);
}

// How the event's alert id and class decide alerting.
struct AlertFlags {
  bool alert = false;          // "AlertId" has data, or "Class" names evt_class_alert
  bool service_alert = false;  // "Class" names evt_class_svcalert
};

AlertFlags AlertFlagsOf(bool has_alert_id, bool has_class, const std::string& class_value) {
  AlertFlags flags;
  flags.alert = has_alert_id ||
                (has_class && class_value.find("evt_class_alert") != std::string::npos);
  flags.service_alert = has_class && class_value.find("evt_class_svcalert") != std::string::npos;
  return flags;
}

// ---- the steps -----------------------------------------------------------

// Step 1: the stored file as the analysis reads it.
int ReadEventFile(DaemonState& st, const CurrentFile& f, std::string& text) {
  FDBFileParm parm{};
  parm.FileType = f.Cfile_type;
  parm.Iencription = f.Cencription[0];
  parm.Icompression = f.Ccompression[0];
  parm.Ichar_set = f.Cchar_set[0];
  parm.Ihw_architecture = f.Chw_architecture[0];
  parm.Oencription = kFdbCodeNone;
  parm.Ocompression = kFdbCodeNone;
  parm.Ochar_set = kFdbCharSetSystem;
  parm.Ohw_architecture = st.hw_arch;
  char* data = nullptr;
  long size = 0;
  std::string err;
  if (FDBRead(parm, f.Cstore_filename, &data, &size, err) < 0) {
    DaemonLogOwn(st, "0031", '2', AnalMessageId(), err);
    return kStepRetry;
  }
  text.assign(data, static_cast<size_t>(size));
  std::free(data);
  return kStepDone;
}

// Step 3: the event tag table, loaded on first use.
int LoadEventTags(long file_type) {
  AnalysisEngine& engine = Engine();
  if (engine.tags[0]) return kStepDone;
  bool complete = GetTags(nullptr, file_type, 0) == 0;
  if (complete) {
    for (const char* name : kWellKnownTags) {
      if (FindTagEntry(0, name)) continue;
      AnalLog("0038", 'A', name, file_type);
      complete = false;
    }
  }
  if (!complete) {
    AnalAlert('H', "TAG initialization error", kInitText);
    ReleaseTagTable(engine.tags[0]);
    engine.tags[0] = nullptr;
    return kStepRetry;
  }
  FindTagEntry(0, "CompType")->end_exit = Exit_captureRawComponent;
  FindTagEntry(0, "CompId")->end_exit = Exit_translateCID;
  FindTagEntry(0, "CompName")->end_exit = Exit_endingSeparator;
  engine.tag_file_type[0] = file_type;
  return kStepDone;
}

// Step 4, the part beside the parse's own reset. The capture values are
// emptied too: a template reading one that this event's patterns did not
// fill must not show another event's text.
void ResetEventResult() {
  ResetReportIndicators();
  for (auto& value : Engine().capture) std::snprintf(value, sizeof value, "%s", kNoValue);
  AnalysisResult& result = Engine().result;
  result.EADetails.clear();
  result.ForceUrgencyLow = false;
  result.ForceUrgencyIgnore = false;
}

// Step 5: the event pattern table, loaded on first use.
int LoadEventPatterns(long file_type) {
  if (Engine().patterns[0]) return kStepDone;
  if (GetPatterns(nullptr, file_type, 0) == 0) return kStepDone;
  AnalAlert('H', "Pattern initialization error", kInitText);
  return kStepRetry;
}

// Step 8: the severity.
int TranslateSeverity(DaemonState& st, long file_type) {
  AnalysisResult& result = Engine().result;
  const std::string severity = Value("tSev");
  SeverityRow row;
  QdSqlClear();
  int code = SelectSeverity(file_type, severity, row);
  if (code < 0) {
    SqlFailed(st, "edit100 sev select");
    return kStepRetry;
  }
  if (code == 0) {
    SetValue("tSev", row.data1);
    // A row without an urgency letter must not put a NUL into the request.
    result.AUrgency = row.data2.empty() ? 'H' : row.data2[0];
    result.AClass = std::atoi(row.data3.c_str());
    return kStepDone;
  }
  SetValue("tSev", "Sev " + Value("Sev"));
  result.AUrgency = 'H';
  result.AClass = 0;
  AnalAlert('L', QdFormat("%s severity '%s' not found", CurrentProdId(), severity.c_str()),
            SourceFile());
  return kStepDone;
}

// Steps 9 to 13: type, symptom, time, event and model.
void DescribeEvent(const CurrentFile& f) {
  AnalysisResult& result = Engine().result;
  TAGENTRY* ttype = FindTagEntry(0, "tType");
  if (ttype && ttype->flags == 0) ttype->data = Value("Type");

  result.ASymptom = HasData("ShortDesc") ? Value("ShortDesc") : "Unable to determine symptom";
  result.ASymptom += "(" + Value("tType") + ")";
  squish_blanks(result.ASymptom);
  result.ACount = 1;

  const std::string ttime = Value("tTime"), seconds = Value("Time");
  result.AEventTimeFirst = EventTime(HasData("tTime") ? &ttime : nullptr,
                                     HasData("Time") ? &seconds : nullptr);
  result.AEventTimeLast = result.AEventTimeFirst;
  result.AEventLocation = 'R';

  result.AEvent = std::string(f.Cvendor) + " " + f.Cproduct + " " + Value("tType");
  result.AModel = ModelOf(Value("SystemModel"));
}

// Step 14: the handler of the event. Its pattern entry lands in *entry.
int RunHandler(DaemonState& st, long file_type, PatternEntry** entry) {
  AnalysisEngine& engine = Engine();
  for (auto& value : engine.msgval) std::snprintf(value, sizeof value, "%s", kNoValue);
  // A fresh row per event: no handler name or template of an earlier event
  // may stand in for this one's.
  engine.evtdata = EventData();
  *entry = nullptr;
  bool found = false;
  std::string name = HasData("Type") ? Value("Type") : "unknown";
  std::snprintf(engine.event_name, sizeof engine.event_name, "%s", name.c_str());
  if (HasData("Type")) {
    QdSqlClear();
    int code = SelectEventData(file_type, name, engine.evtdata);
    if (code < 0) {
      SqlFailed(st, "select evtdata");
      return kStepRetry;
    }
    found = code != 0;  // no row: nothing to run, and nothing amiss
    if (code == 0) {
      std::snprintf(engine.handlername_read, sizeof engine.handlername_read, "%s",
                    engine.evtdata.handlername);
      EventHandlerFn handler = FindEventHandler(engine.evtdata.handlername);
      if (handler) {
        found = true;
        *entry = handler(0, engine.event_name, Value("EventString"));
      }
    }
  }
  if (!found) {
    AnalAlert('H', QdFormat("Event handler '%s' not found", engine.handlername_read),
              SourceFile());
  }
  return kStepDone;
}

// Step 15: alert, service alert, suppression and the urgency rules.
void DecideUrgency(DaemonState& st, AnalyzerState& an) {
  AnalysisResult& result = Engine().result;
  const EventData& ev = Engine().evtdata;
  AlertFlags flags = AlertFlagsOf(HasData("AlertId"), HasData("Class"), Value("Class"));
  result.Alert_event = flags.alert;
  result.SVCAlert_event = flags.service_alert;
  if (flags.alert) result.AUrgency = 'H';
  if (!flags.alert && flags.service_alert && ev.suppress_svcalert == 'Y') {
    an.Suppress_notify = true;
  }
  if (result.ForceUrgencyLow) result.AUrgency = 'L';
  if (!flags.alert && !flags.service_alert && ev.nonalert_low == 'Y' && ReleaseAtLeast(2, 2, 2)) {
    result.AUrgency = 'L';
    DaemonLogOwn(st, "9999", '0',
                 QdFormat("Urgency set Low by nonalert_low for vqx %s event %s",
                              Value("ReleaseLevel").c_str(), Value("Type").c_str()));
  }
}

// Steps 1 to 7: the event's tag values. A processing result; 0 goes on.
int ParseEvent(DaemonState& st, const CurrentFile& f) {
  long file_type = f.Cfile_type;
  EventXmlParser parser;
  {
    std::string text;
    int rc = ReadEventFile(st, f, text);
    if (rc != kStepDone) return rc;
    std::string xml;
    if (CutEventXml(text, xml) != kStepDone) return kStepRefuse;
    if (PrepareEventXml(xml, parser) != kStepDone) return kStepRetry;
  }  // the file text is no longer needed: the analysis result holds its parts
  if (LoadEventTags(file_type) != kStepDone) return kStepRetry;
  ResetEventParse(0);
  ResetEventResult();
  if (ParseEventXml(parser) != kStepDone) return kStepRetry;
  if (LoadEventPatterns(file_type) != kStepDone) return kStepRetry;
  RunGenericPatterns(0, Engine().result.AFormattedText);
  DecodePorts();
  TrimTagValues();
  return kStepDone;
}

}  // namespace

bool EventTimeFromSeconds(const std::string& text, Time_Stamp& stamp) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long seconds = std::strtoll(begin, &end, 10);
  if (end == begin || errno != 0) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n') ++end;
  if (*end != '\0') return false;
  time_t t = static_cast<time_t>(seconds);
  struct tm utc {};
  if (static_cast<long long>(t) != seconds || !gmtime_r(&t, &utc)) return false;
  int year = utc.tm_year + 1900;
  if (year < 0 || year > 9999) return false;
  char buffer[64];  // the fields fit 23 characters; room for what the compiler cannot rule out
  std::snprintf(buffer, sizeof buffer, "a%.4d/%.2d/%.2d %.2d:%.2d:%.2d.UT", year, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  std::memset(&stamp, 0, sizeof stamp);
  std::memcpy(&stamp, buffer, std::strlen(buffer));
  return true;
}

Time_Stamp EventTime(const std::string* ttime, const std::string* seconds) {
  Time_Stamp stamp{};
  if (ttime) {
    ConvertTime(ttime->c_str(), stamp);
    if (TimeValid(stamp)) return stamp;
  } else if (seconds && EventTimeFromSeconds(*seconds, stamp)) {
    return stamp;
  }
  std::memset(&stamp, 0, sizeof stamp);
  std::memcpy(&stamp, kDefaultEventTime, sizeof kDefaultEventTime - 1);
  return stamp;
}

int AnalZarvekVelmarEvent(DaemonState& st, const QDTxn* txn) {
  AnalyzerState& an = Analyzer(st);
  const CurrentFile& f = an.file;
  int rc = ParseEvent(st, f);
  if (rc != kStepDone) return rc;
  if (TranslateSeverity(st, f.Cfile_type) != kStepDone) return kStepRetry;
  DescribeEvent(f);
  PatternEntry* entry = nullptr;
  if (RunHandler(st, f.Cfile_type, &entry) != kStepDone) return kStepRetry;
  DecideUrgency(st, an);

  // Steps 16 and 18. The notification request goes first: the history row,
  // the catalogue and the status then commit together, so a request
  // delivered again finds all of them or none (request_attempts.h).
  AnalysisResult& result = Engine().result;
  if (result.ForceUrgencyIgnore) {
    RecordOutcome(st, nullptr);
    return kStepDone;
  }
  HistoryRow history = BuildHistoryRow(entry, Value("tSev"), Value("CompType"));
  if (!an.Suppress_notify) {
    do_notify(txn);
  } else {
    DaemonLogOwn(st, "0043", 'A', AnalMessageId());
  }
  RecordOutcome(st, &history);
  return kStepDone;
}
