#include "anal_history.h"

#include <cstring>

#include "anal_alert.h"
#include "text_util.h"

namespace {

constexpr size_t kComponentWidth = 80;
constexpr size_t kKeywordWidth = 40;
constexpr size_t kDetailWidth = 256;
constexpr size_t kSeverityWidth = 40;
constexpr size_t kDetailsWidth = 4000;
constexpr size_t kKeyWidth = 256;
constexpr size_t kStampTextWidth = 19;  // "yyyy/mm/dd hh:mm:ss"

// The history settings of one template number.
struct TemplateSettings {
  int number = 0;
  char comp = 'N';
  char skey = 'N';
  char sev = 'Y';
  int nu_rule = 0;
  std::string nu_value = "analysis error";
};

TemplateSettings SettingsFor(const PatternEntry* entry) {
  TemplateSettings s;
  if (!entry || entry->rule < 0 || entry->rule >= kTemplateCount) return s;
  const EventData& ev = Engine().evtdata;
  int t = entry->rule;
  s.number = t;
  s.comp = ev.comp[t] ? ev.comp[t] : 'N';
  s.skey = ev.skey[t] ? ev.skey[t] : 'N';
  s.sev = ev.sev[t] ? ev.sev[t] : 'Y';
  s.nu_rule = ev.nu_rule[t];
  s.nu_value = ev.nu_value[t];
  return s;
}

// Takes the text up to the first blank off `s` (all of it when there is no
// blank) and returns it.
std::string TakeWord(std::string& s) {
  size_t blank = s.find(' ');
  std::string word = s.substr(0, blank);
  s.erase(0, blank == std::string::npos ? s.size() : blank + 1);
  return word;
}

std::string FieldText(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}

// The date and time of a stamp after its format letter; "" when unset.
std::string StampText(const Time_Stamp& stamp) {
  if (stamp.fmt == '\0') return "";
  return FieldText(&stamp.fmt + 1, kStampTextWidth);
}

std::string RepeatKey(const TemplateSettings& s, const std::string& event,
                      const std::string& keyword, const std::string& component) {
  std::string key;
  switch (s.nu_rule) {
    case 1: key = keyword; break;
    case 2: key = s.nu_value; break;
    case 3: key = event + ";" + keyword; break;
    case 4: key = event + ";" + s.nu_value; break;
    default: key = event; break;
  }
  if (s.comp == 'U') key += ";" + component;
  return key;
}

}  // namespace

HistoryIndicators& ReportIndicators() { return Engine().indicators; }

void ResetReportIndicators() { Engine().indicators = HistoryIndicators(); }

std::string ColumnText(const std::string& text, size_t width) {
  std::string clean = text;
  PrepTextForXML(clean, "scrub");
  if (clean.size() <= width) return clean;
  size_t cut = width;
  // Back off continuation bytes so the last character stays whole.
  while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) --cut;
  return clean.substr(0, cut);
}

HistoryRow BuildHistoryRow(const PatternEntry* entry, const std::string& severity,
                           const std::string& comptype) {
  AnalysisEngine& engine = Engine();
  AnalysisResult& result = engine.result;
  TemplateSettings set = SettingsFor(entry);
  std::string event = FieldText(engine.event_name, sizeof engine.event_name);

  std::string s = result.ASymptom;
  if (set.sev == 'Y' && !s.empty() && s.back() == ')') {
    size_t open = s.rfind('(');
    if (open != std::string::npos) s.erase(open);
  }
  std::string c = set.comp == 'N' ? comptype : TakeWord(s);
  size_t bar = c.find('|');
  std::string component = c.substr(0, bar);
  std::string location = bar == std::string::npos ? "" : c.substr(bar + 1);
  if (component.empty()) {
    component = "Unknown";
    AnalAlert('L', "No component found", std::string("Source file: ") + AnalStoreFile());
  }
  std::string keyword = "none";
  if (set.skey == 'Y') {
    keyword = TakeWord(s);
    if (keyword == "TP_SUPP" || keyword == "TP_ALRT") keyword = TakeWord(s);
  }

  HistoryRow row;
  row.component = ColumnText(component, kComponentWidth);
  row.component_loc = ColumnText(location, kComponentWidth);
  row.symptom_keyword = ColumnText(keyword, kKeywordWidth);
  row.symptom_detail = ColumnText(s, kDetailWidth);
  row.urgency = result.AUrgency;
  row.severity = ColumnText(severity, kSeverityWidth);
  row.template_used = set.number;
  row.event_type = ColumnText(event, sizeof engine.event_name - 1);
  row.event_date = StampText(result.AEventTimeFirst);
  row.event_date_set = !row.event_date.empty();
  result.Anot_unique = RepeatKey(set, event, row.symptom_keyword, row.component);

  if (const AnalyzerState* an = engine.analyzer) {
    const CurrentFile& f = an->file;
    row.vendor = ColumnText(FieldText(f.Cvendor, sizeof f.Cvendor), 40);
    row.product = ColumnText(FieldText(f.Cproduct, sizeof f.Cproduct), 40);
    row.prod_id = ColumnText(FieldText(f.Cprod_id, sizeof f.Cprod_id), 80);
    row.file_date = FieldText(f.Cfile_date, sizeof f.Cfile_date);
    row.file_date_set = !row.file_date.empty();
    row.file_type = f.Cfile_type;
    row.file_seq = ColumnText(FieldText(f.Cfile_seq, sizeof f.Cfile_seq), 10);
    row.anal_date = FieldText(an->Orun_date, sizeof an->Orun_date);
  }
  row.keys_set = ReportIndicators().keys_set;
  if (row.keys_set) {
    for (int i = 0; i < kMsgKeyCount; ++i) {
      row.key[i] = ColumnText(FieldText(engine.Mkey[i], kMsgKeySize), kKeyWidth);
    }
  }
  row.details_set = ReportIndicators().details_set;
  if (row.details_set) row.details = ColumnText(ReportIndicators().details, kDetailsWidth);
  return row;
}

int WriteHistory(const PatternEntry* entry, const QDTxn*, const std::string& severity,
                 const std::string& comptype) {
  HistoryRow row = BuildHistoryRow(entry, severity, comptype);
  if (InsertHistory(row) == kAnalSqlError) {
    AnalSqlError("History insert");
    RollbackWork();
    AnalAlert('H', "History insert error", AnalStoreFile());
    return kHistoryFailed;
  }
  if (CommitWork() == kAnalSqlError) {
    AnalSqlError("Commit history insert");
    RollbackWork();
    return kHistoryFailed;
  }
  return kHistoryWritten;
}
