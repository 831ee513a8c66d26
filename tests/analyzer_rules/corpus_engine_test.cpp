// Every corpus event run through the analyzer's own parse, generic
// patterns, handler template choice and history split, with the installed
// rules loaded from a throwaway database: the tag values, symptom, template
// number and history fields must be those EXPECTED gives, and the installed
// tables must raise no notification on the way (no unknown element, no
// untranslated component type, no template error).
//
// Handlers beyond EH_pattern and EH_generic are not run here; where one
// only picks the template (every handler with its extended analysis off),
// the test does what it does first: the pattern handlers apply the event's
// group, the others take template 0, the battery handler empties message
// value 9 before. The dropped node-integrity event is left out of the
// symptom check.

#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "anal_history.h"
#include "basic_handlers.h"
#include "event_corpus.h"
#include "ecpg_connect.h"
#include "engine_test_fixture.h"
#include "event_handlers.h"
#include "event_parse.h"
#include "pattern_match.h"
#include "test_db.h"

namespace {

const std::set<std::string> kPatternHandlers = {"pattern", "dskerr",    "dskfail", "dskabrt",   "notifycomp",
                                                "jbodevt", "nodepower", "lesb",    "PATbattery"};

class CorpusEngineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    QD_REQUIRE_DB();
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
    db_->exportAsDefault();
    std::string error;
    ASSERT_EQ(0, QdEcpgConnect(nullptr, error)) << error;
    CurrentFile& f = an_.file;
    std::strcpy(f.Cvendor, "Zarvek");
    std::strcpy(f.Cproduct, "VELMAR");
    std::strcpy(f.Cprod_id, "1400123");
    std::strcpy(f.Cprod_filename, "EVENT");
  }
  void TearDown() override {
    QdEcpgDisconnectAll();
    db_.reset();
    EngineTest::TearDown();
  }

  // The event tables of slot 0 with the exits the event analysis installs.
  void LoadTables() {
    ASSERT_EQ(0, GetTags(nullptr, 100, 0)) << Log();
    Tag("CompType").end_exit = Exit_captureRawComponent;
    Tag("CompId").end_exit = Exit_translateCID;
    Tag("CompName").end_exit = Exit_endingSeparator;
    ASSERT_EQ(0, GetPatterns(nullptr, 100, 0)) << Log();
  }

  // The steps of the event analysis from the file text to the trim.
  void Parse(const std::string& text) {
    std::string xml;
    ASSERT_EQ(0, CutEventXml(text, xml));
    EventXmlParser parser;
    ASSERT_EQ(0, PrepareEventXml(xml, parser));
    ResetEventParse(0);
    ASSERT_EQ(0, ParseEventXml(parser));
    RunGenericPatterns(0, Engine().result.AFormattedText);
    DecodePorts();
    TrimTagValues();
  }

  // The event's qd_anal_evtdata row into Engine().evtdata, null defaults
  // applied as the analysis reads it.
  void ReadEventData(const std::string& event) {
    EventData& ev = Engine().evtdata;
    ev = EventData{};
    std::vector<std::string> handler =
        db_->query("select handlername from qd_anal_evtdata where file_type = 100 and eventname = '" + event + "'");
    ASSERT_EQ(handler.size(), 1u) << event;
    ev.found = true;
    std::snprintf(ev.handlername, sizeof ev.handlername, "%s", handler[0].c_str());
    for (int t = 0; t < kTemplateCount; ++t) {
      std::string n = std::to_string(t);
      std::vector<std::string> row = db_->query(
          "select coalesce(template" + n + ", chr(30)) || chr(31) || coalesce(comp" + n + ", 'N') || coalesce(skey" +
          n + ", 'N') || coalesce(sev" + n + ", 'Y') || chr(31) || coalesce(nu_rule" + n + ", 3) || chr(31) || " +
          "coalesce(nu_value" + n + ", 'none') from qd_anal_evtdata where file_type = 100 and eventname = '" +
          event + "'");
      ASSERT_EQ(row.size(), 1u);
      const std::string& r = row[0];
      size_t a = r.find('\x1f'), b = r.find('\x1f', a + 1), c = r.find('\x1f', b + 1);
      std::string templ = r.substr(0, a);
      ev.templ_present[t] = templ != "\x1e";
      ev.templ[t] = ev.templ_present[t] ? templ : "";
      ev.comp[t] = r[a + 1];
      ev.skey[t] = r[a + 2];
      ev.sev[t] = r[a + 3];
      ev.nu_rule[t] = std::atoi(r.substr(b + 1, c - b - 1).c_str());
      ev.nu_value[t] = r.substr(c + 1);
    }
  }

  // What the event's handler does to choose its template, on the SP.
  PatternEntry* ChooseTemplate(const std::string& event) {
    AnalysisEngine& engine = Engine();
    for (auto& value : engine.msgval) std::strcpy(value, "<no value>");
    std::snprintf(engine.event_name, sizeof engine.event_name, "%s", event.c_str());
    std::string handler = engine.evtdata.handlername;
    if (handler == "battery" || handler == "PATbattery") engine.msgval[9][0] = '\0';
    const std::string& event_string = Tag("EventString").data;
    // The cage handler's template shows the message text it looks up
    // itself; run as on the service processor, without the report.
    if (handler == "jbodevt") {
      st_.on_sp = true;
      PatternEntry* entry = EH_jbodevt(0, event.c_str(), event_string);
      st_.on_sp = false;
      return entry;
    }
    if (kPatternHandlers.count(handler)) return EH_pattern(0, event.c_str(), event_string);
    return EH_generic(0, event.c_str(), event_string);
  }

  std::unique_ptr<TestDatabase> db_;
};

TEST_F(CorpusEngineTest, EveryEventParsesAndExpandsAsExpected) {
  std::vector<CorpusEvent> corpus;
  std::string error;
  ASSERT_TRUE(LoadCorpus(&corpus, &error)) << error;
  LoadTables();
  if (HasFatalFailure()) return;

  for (const CorpusEvent& ev : corpus) {
    SCOPED_TRACE(ev.name);
    std::string alerts_before = Alerts();
    Engine().result = AnalysisResult{};
    Parse(ev.text);
    if (HasFatalFailure()) return;

    for (const auto& [key, value] : ev.expected) {
      if (key.rfind("tag.", 0) == 0) {
        EXPECT_EQ(Tag(key.substr(4).c_str()).data, value) << key;
      } else if (key.rfind("summary.", 0) == 0) {
        EXPECT_EQ(Tag(key.substr(8).c_str()).data, value) << key;
      }
    }

    ReadEventData(ev.name);
    if (ev.expected.at("handler") == "nodeinteg") {
      EXPECT_EQ(Alerts(), alerts_before);
      continue;  // dropped by its handler: no template, no history
    }
    Engine().result.ASymptom = "";
    PatternEntry* entry = ChooseTemplate(ev.name);
    ASSERT_NE(entry, nullptr) << Log();
    EXPECT_EQ(std::to_string(entry->rule), ev.expected.at("template"));
    EXPECT_EQ(Engine().result.ASymptom, ev.expected.at("symptom"));

    HistoryRow row = BuildHistoryRow(entry, ev.expected.at("severity"), Tag("CompType").data);
    EXPECT_EQ(row.component, ev.expected.at("history.component"));
    EXPECT_EQ(row.component_loc, ev.expected.at("history.location"));
    EXPECT_EQ(row.symptom_keyword, ev.expected.at("history.keyword"));
    EXPECT_EQ(row.symptom_detail, ev.expected.at("history.detail"));
    EXPECT_EQ(row.template_used, entry->rule);
    EXPECT_EQ(Engine().result.Anot_unique, ev.expected.at("history.repeat_key"));
    // Nothing in the installed tables made the analysis complain.
    EXPECT_EQ(Alerts(), alerts_before);
  }
}

}  // namespace
