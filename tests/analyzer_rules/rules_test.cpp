// The analyzer's installed rules (schema/8x_analyzer_*.sql) checked as
// data: they load twice without change, every expression compiles and
// fills tags that exist, templates name only what the engine can expand,
// every handler is one the analysis knows, and the generic patterns read
// the summary of every corpus event as EXPECTED says.

#include <regex.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include "event_corpus.h"
#include "test_db.h"
#include "test_files.h"

namespace {

constexpr int kEventType = 100;

// The handler table of the event analysis, in its search order.
const std::set<std::string> kHandlers = {"pattern", "generic", "jbodevt",   "nodepower", "lesb",
                                         "dskerr",  "dskfail", "dskabrt",   "notifycomp", "battery",
                                         "PATbattery", "compstate", "nodeinteg", "noanalysis"};
// Handlers that choose the template by the event's pattern group.
const std::set<std::string> kPatternHandlers = {"pattern", "dskerr",    "dskfail", "dskabrt",   "notifycomp",
                                                "jbodevt", "nodepower", "lesb",    "PATbattery"};

const char* const kWellKnownTags[] = {
    "Sev",       "tSev",       "Type",     "tType",       "Time",         "tTime",       "AlertId",
    "MessageCode", "CompType", "CompId",   "ShortDesc",   "EventString",  "CompName",    "Class",
    "SystemModel", "ReleaseLevel", "OverallState", "StCompType", "StCompState"};

const char* const kRuleTables[] = {"qd_fdb_attr",     "qd_tag_data", "qd_anal_pattern", "qd_anal_evtdata",
                                   "qd_edit",         "qd_anal_msgtext", "qd_fru",      "qd_fru_callout"};

// ------------------------------------------------------------ helpers

// Rows of a query whose columns are joined with chr(31) into one text.
using Row = std::vector<std::string>;

std::vector<Row> Split(const std::vector<std::string>& joined) {
  std::vector<Row> rows;
  for (const std::string& line : joined) {
    Row row;
    size_t start = 0;
    for (size_t at; (at = line.find('\x1f', start)) != std::string::npos; start = at + 1) {
      row.push_back(line.substr(start, at - start));
    }
    row.push_back(line.substr(start));
    rows.push_back(row);
  }
  return rows;
}

// Counts of the rule tables in database `db`, "table=n" each.
std::string RuleCounts(const std::string& db) {
  PGconn* conn = PQconnectdb(("dbname=" + db).c_str());
  std::string out;
  for (const char* table : kRuleTables) {
    PGresult* res = PQexec(conn, (std::string("select count(*) from ") + table).c_str());
    out += std::string(table) + "=" +
           (PQresultStatus(res) == PGRES_TUPLES_OK ? PQgetvalue(res, 0, 0) : PQresultErrorMessage(res)) + " ";
    PQclear(res);
  }
  PQfinish(conn);
  return out;
}


// Checks `templ` against the template language of the analyzer: every
// "%" reference ends in ".", names a type C, M or V with one digit or T
// with a tag of `tags`, and uses only known modifiers. Returns "" or the
// first fault.
std::string LintTemplate(const std::string& templ, const std::set<std::string>& tags) {
  static const std::set<std::string> kMods = {"RemoveWhitespaceNL", "RemoveWhitespace", "SquishBlanks",
                                              "Upper", "Lower", "Trim", "TrimRight", "TrimLeft"};
  std::string rest = templ;
  for (size_t pos; (pos = rest.find('%')) != std::string::npos;) {
    rest.erase(0, pos);
    if (rest.size() < 2) break;  // a lone "%" at the end stays as it is
    if (rest[1] == '%') {
      rest.erase(0, 2);
      continue;
    }
    size_t dot = rest.find('.');
    if (dot == std::string::npos) return "no \".\" ends the reference at \"" + rest + "\"";
    if (dot <= 2) return "reference without a name at \"" + rest + "\"";
    char type = rest[1];
    std::string name = rest.substr(2, dot - 2), mods;
    rest.erase(0, dot + 1);
    size_t brace = name.find('{');
    if (brace != std::string::npos) {
      if (name.back() != '}') return "unclosed modifier list in \"" + name + "\"";
      mods = name.substr(brace + 1, name.size() - brace - 2);
      name.erase(brace);
    }
    if (type == 'C' || type == 'M' || type == 'V') {
      if (name.size() != 1 || name[0] < '0' || name[0] > '9') return std::string("bad number in %") + type + name;
    } else if (type == 'T') {
      if (!tags.count(name)) return "no tag \"" + name + "\"";
    } else {
      return std::string("unknown type '") + type + "'";
    }
    std::istringstream list(mods);
    for (std::string mod; std::getline(list, mod, ',');) {
      if (!kMods.count(mod) && mod.rfind("ValueOf:", 0) != 0) return "unknown modifier \"" + mod + "\"";
    }
  }
  return "";
}

// One line of the generic pattern group.
struct Generic {
  std::string pattern;
  std::string tag[10];
};

class RulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
  }

  std::vector<Row> Query(const std::string& sql) {
    std::vector<std::string> joined = db_->query(sql);
    if (joined.size() == 1 && joined[0].rfind("ERROR: ", 0) == 0) ADD_FAILURE() << sql << "\n" << joined[0];
    return Split(joined);
  }

  // Tag names of the event table, scratch entries RV0..RV9 included.
  std::set<std::string> Tags() {
    std::set<std::string> tags;
    for (int i = 0; i < 10; ++i) tags.insert("RV" + std::to_string(i));
    for (const Row& r : Query("select tagname from qd_tag_data where file_type = 100")) tags.insert(r[0]);
    return tags;
  }

  // The generic group, in the order the analysis runs it.
  std::vector<Generic> GenericPatterns() {
    std::vector<Generic> out;
    for (const Row& r : Query("select pattern || chr(31) || coalesce(tag0, '') || chr(31) || coalesce(tag1, '') "
                              "|| chr(31) || coalesce(tag2, '') || chr(31) || coalesce(tag3, '') || chr(31) || "
                              "coalesce(tag4, '') || chr(31) || coalesce(tag5, '') || chr(31) || coalesce(tag6, '') "
                              "|| chr(31) || coalesce(tag7, '') || chr(31) || coalesce(tag8, '') || chr(31) || "
                              "coalesce(tag9, '') from qd_anal_pattern where file_type = 100 and apply = ' generic' "
                              "order by lineseq")) {
      Generic g;
      g.pattern = r[0];
      for (int k = 0; k < 10; ++k) g.tag[k] = r[k + 1];
      out.push_back(g);
    }
    return out;
  }

  std::unique_ptr<TestDatabase> db_;
};

// ------------------------------------------------------------- loading

TEST_F(RulesTest, LoadingTwiceIntoAFreshDatabaseChangesNoRowCount) {
  const std::string name = "qdt_rules_" + std::to_string(getpid());
  struct Dropper {
    TestDatabase& admin;
    std::string name;
    ~Dropper() { admin.exec("drop database if exists " + name + " with (force)"); }
  } dropper{*db_, name};

  std::string out;
  ASSERT_EQ(RunDbinit(SourcePath("."), name, &out), 0) << out;
  std::string first = RuleCounts(name);
  EXPECT_EQ(first.find("=0 "), std::string::npos) << "every rule table gets rows: " << first;
  EXPECT_EQ(first.find("ERROR"), std::string::npos) << first;

  out.clear();
  ASSERT_EQ(RunDbinit(SourcePath("."), name, &out), 0) << out;
  EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
  EXPECT_EQ(RuleCounts(name), first);
  // The template every database test starts from holds the same rows.
  EXPECT_EQ(RuleCounts(db_->name()), first);
}

TEST_F(RulesTest, EventAndConfigurationFilesAreFoundUnderTheNamesTheRequestsCarry) {
  // The collector's request: vendor "Zarvek", product "VELMAR", FileType
  // "event", looked up in upper case.
  EXPECT_EQ(db_->query("select file_type from qd_fdb_attr where vendor = 'Zarvek' and product = 'VELMAR'"
                       " and file_name = 'EVENT'"),
            std::vector<std::string>{"100"});
  EXPECT_EQ(db_->query("select file_type from qd_fdb_attr where vendor = 'Zarvek' and product = 'VELMAR'"
                       " and file_name = 'CONFIG'"),
            std::vector<std::string>{"101"});
  // A compressed file must still be decompressed: only the architecture
  // may differ without conversion.
  EXPECT_EQ(db_->query("select encription || compression || char_set || hw_architecture from qd_fdb_attr"
                       " where file_type in (100, 101) order by file_type"),
            (std::vector<std::string>{"00A*", "00A*"}));
}

// ------------------------------------------------------- tags, patterns

TEST_F(RulesTest, TagTableHoldsTheWellKnownTagsAndResolvesEveryRedirect) {
  std::set<std::string> tags = Tags();
  for (const char* name : kWellKnownTags) EXPECT_TRUE(tags.count(name)) << name;

  for (const Row& r : Query("select tagname || chr(31) || coalesce(redirect_name, '') || chr(31) || flag_nodata || "
                            "flag_repdata || flag_catdata || flag_redirect || flag_makehex || flag_droptag || "
                            "chr(31) || coalesce(separator, '') from qd_tag_data where file_type = 100")) {
    const std::string& name = r[0];
    const std::string& flags = r[2];
    EXPECT_EQ(flags.find_first_not_of("YN"), std::string::npos) << name << " " << flags;
    if (flags[3] == 'Y') {
      EXPECT_TRUE(tags.count(r[1])) << name << " redirects to unknown " << r[1];
    }
    if (flags[2] == 'Y') {
      EXPECT_FALSE(r[3].empty()) << name << ": catdata without a separator";
    }
  }
  // Without any flag the event type falls back to Type when the summary
  // gives none.
  EXPECT_EQ(db_->query("select flag_nodata || flag_repdata || flag_catdata || flag_redirect || flag_makehex || "
                       "flag_droptag from qd_tag_data where file_type = 100 and tagname = 'tType'"),
            std::vector<std::string>{"NNNNNN"});
  EXPECT_EQ(db_->query("select count(*) from qd_tag_data where file_type = 100 group by tagname having count(*) > 1"),
            std::vector<std::string>{});
}

TEST_F(RulesTest, EveryPatternCompilesAndFillsTagsOfTheTable) {
  std::set<std::string> tags = Tags();
  std::vector<Row> rows = Query(
      "select apply || chr(31) || lineseq || chr(31) || pattern || chr(31) || concat_ws(',', tag0, tag1, tag2, tag3, "
      "tag4, tag5, tag6, tag7, tag8, tag9) from qd_anal_pattern where file_type = 100");
  ASSERT_FALSE(rows.empty());
  for (const Row& r : rows) {
    regex_t re;
    int rc = regcomp(&re, r[2].c_str(), REG_EXTENDED);
    if (rc != 0) {
      char err[256];
      regerror(rc, &re, err, sizeof err);
      ADD_FAILURE() << "'" << r[0] << "' line " << r[1] << ": " << err;
      continue;
    }
    regfree(&re);
    std::istringstream list(r[3]);
    for (std::string tag; std::getline(list, tag, ',');) {
      EXPECT_TRUE(tags.count(tag)) << "'" << r[0] << "' line " << r[1] << " fills unknown tag " << tag;
    }
  }
}

TEST_F(RulesTest, GenericGroupSortsBeforeEveryEvent) {
  // In the order the analysis loads the table, the generic group is the
  // leading run.
  std::vector<Row> applies = Query("select apply from qd_anal_pattern where file_type = 100 order by apply, lineseq");
  ASSERT_FALSE(applies.empty());
  ASSERT_EQ(applies[0][0], " generic");
  size_t run = 0;
  while (run < applies.size() && applies[run][0] == " generic") ++run;
  EXPECT_EQ(run, GenericPatterns().size());
  for (size_t i = run; i < applies.size(); ++i) {
    EXPECT_GT(applies[i][0], std::string(" generic")) << "bytewise";
  }
}

// ------------------------------------------------- events and templates

TEST_F(RulesTest, EventRowsNameKnownHandlersAndTemplatesThatExpand) {
  std::set<std::string> tags = Tags();
  std::set<std::string> groups;
  std::map<std::string, std::set<int>> rules;
  for (const Row& r : Query("select apply || chr(31) || rule from qd_anal_pattern where file_type = 100")) {
    groups.insert(r[0]);
    rules[r[0]].insert(std::atoi(r[1].c_str()));
  }

  std::string cols = "eventname || chr(31) || handlername";
  for (int t = 0; t < 10; ++t) {
    std::string n = std::to_string(t);
    cols += " || chr(31) || coalesce(template" + n + ", chr(30)) || chr(31) || coalesce(comp" + n +
            ", 'N') || coalesce(skey" + n + ", 'N')";
  }
  std::vector<Row> rows = Query("select " + cols + " from qd_anal_evtdata where file_type = 100");
  ASSERT_FALSE(rows.empty());
  for (const Row& r : rows) {
    const std::string& event = r[0];
    const std::string& handler = r[1];
    EXPECT_TRUE(kHandlers.count(handler)) << event << ": no handler \"" << handler << "\"";
    EXPECT_NE(r[2], "\x1e") << event << ": template 0 is the fallback of every handler";
    for (int t = 0; t < 10; ++t) {
      const std::string& templ = r[2 + 2 * t];
      if (templ == "\x1e") continue;
      EXPECT_EQ(LintTemplate(templ, tags), "") << event << " template " << t;
      // The symptom convention: component and keyword taken apart.
      EXPECT_TRUE(r[3 + 2 * t] == "YY" || r[3 + 2 * t] == "UY") << event << " template " << t << ": " << r[3 + 2 * t];
    }
    if (kPatternHandlers.count(handler)) {
      ASSERT_TRUE(groups.count(event)) << event << ": handler " << handler << " needs a pattern group";
      for (int rule : rules[event]) {
        ASSERT_TRUE(rule >= 0 && rule <= 9) << event;
        EXPECT_NE(r[2 + 2 * rule], "\x1e") << event << ": rule " << rule << " names no template";
      }
    }
  }
}

TEST_F(RulesTest, FailedAnalysisReportHasItsTextsAndACallout) {
  std::set<std::string> tags = Tags();
  // The keys EA_AnalysisFailed looks up with.
  std::vector<Row> texts = Query(
      "select description || chr(31) || msgtext || chr(31) || coalesce(in_test, 'Y') from qd_anal_msgtext "
      "where file_type = 100 and eventname = 'AnalysisFailed' and key1 in ('AnalysisFailed', '*') "
      "and key2 in ('na', '*') and key3 in ('na', '*')");
  ASSERT_EQ(texts.size(), 1u) << "exactly one description, or the lookup fails";
  EXPECT_EQ(LintTemplate(texts[0][0], tags), "");
  EXPECT_EQ(LintTemplate(texts[0][1], tags), "");
  EXPECT_NE(texts[0][0].find("%M8."), std::string::npos) << "the reason is message value 8";
  EXPECT_EQ(texts[0][2], "N") << "a finished text carries no test banner";

  std::vector<std::string> callouts = db_->query(
      "select part_number || ' ' || coalesce(mproc_filename, 'nofile') from qd_fru_callout, qd_fru "
      "where fru_key = part_number and file_type = 100 and eventname = 'AnalysisFailed' "
      "and key1 in ('AnalysisFailed', '*') and key2 in ('na', '*') and key3 in ('na', '*') "
      "and key4 in ('na', '*') and key5 in ('na', '*') and key6 in ('na', '*')");
  ASSERT_EQ(callouts.size(), 1u);
  // A procedure file that cannot be read would remove the whole report.
  EXPECT_EQ(callouts[0], "MPROC-REVIEW-EVENT nofile");
}

TEST_F(RulesTest, TheArraysSevenSeveritiesTranslate) {
  std::vector<Row> rows = Query("select fieldvalue || chr(31) || data1 || chr(31) || data2 || chr(31) || data3 "
                                "from qd_edit where file_type = 100 and field = 'SEVERITY' order by fieldvalue");
  std::set<std::string> names;
  for (const Row& r : rows) {
    names.insert(r[0]);
    EXPECT_FALSE(r[1].empty()) << r[0];
    EXPECT_TRUE(r[2] == "H" || r[2] == "L") << r[0] << " urgency " << r[2];
    EXPECT_TRUE(r[3].size() == 1 && r[3][0] >= '0' && r[3][0] <= '5') << r[0] << " class " << r[3];
  }
  EXPECT_EQ(names, (std::set<std::string>{"CRITICAL", "DEBUG", "DEGRADED", "FATAL", "INFORMATIONAL", "MAJOR",
                                          "MINOR"}));
}

// ------------------------------------------------------------ corpus

// Applies the generic group to `summary` as the analysis does: every line
// that matches gives its tags their groups; a tag keeps its first value.
std::map<std::string, std::string> RunGeneric(const std::vector<Generic>& group,
                                              const std::string& summary) {
  std::map<std::string, std::string> values;
  for (const auto& g : group) {
    regex_t re;
    if (regcomp(&re, g.pattern.c_str(), REG_EXTENDED) != 0) continue;  // reported elsewhere
    regmatch_t m[11];
    if (regexec(&re, summary.c_str(), 11, m, 0) == 0) {
      for (int k = 0; k < 10; ++k) {
        if (g.tag[k].empty() || values.count(g.tag[k])) continue;
        values[g.tag[k]] = m[k + 1].rm_so < 0 ? "" : summary.substr(m[k + 1].rm_so, m[k + 1].rm_eo - m[k + 1].rm_so);
      }
    }
    regfree(&re);
  }
  return values;
}

TEST_F(RulesTest, CorpusSummariesGiveTheExpectedTranslatedTags) {
  std::vector<CorpusEvent> corpus;
  std::string error;
  ASSERT_TRUE(LoadCorpus(&corpus, &error)) << error;
  ASSERT_GE(corpus.size(), 20u);
  std::vector<Generic> generic = GenericPatterns();

  for (const CorpusEvent& ev : corpus) {
    SCOPED_TRACE(ev.name);
    std::string summary, xml;
    ASSERT_TRUE(SplitEventFile(ev.text, &summary, &xml));
    std::map<std::string, std::string> got = RunGeneric(generic, summary);
    for (const char* tag : {"tSev", "tTime", "tType", "tMessageCode"}) {
      auto want = ev.expected.find(std::string("summary.") + tag);
      ASSERT_NE(want, ev.expected.end()) << "EXPECTED gives no summary." << tag;
      EXPECT_EQ(got[tag], want->second) << tag;
    }
    // The severity the summary names translates as EXPECTED says.
    EXPECT_EQ(db_->query("select data1 || ' ' || data2 || ' ' || data3 from qd_edit where file_type = 100 and "
                         "field = 'SEVERITY' and fieldvalue = upper('" + got["tSev"] + "')"),
              std::vector<std::string>{ev.expected.at("severity") + " " + ev.expected.at("severity.urgency") + " " +
                                       ev.expected.at("severity.class")});
    // The event's row exists and names the handler EXPECTED assumes.
    EXPECT_EQ(db_->query("select handlername from qd_anal_evtdata where file_type = 100 and eventname = '" + ev.name +
                         "'"),
              std::vector<std::string>{ev.expected.at("handler")});
  }
}

TEST_F(RulesTest, CorpusFilesHaveTheCollectorsLayoutAndOnlyKnownElements) {
  std::vector<CorpusEvent> corpus;
  std::string error;
  ASSERT_TRUE(LoadCorpus(&corpus, &error)) << error;
  std::set<std::string> tags = Tags();
  regex_t element;
  ASSERT_EQ(regcomp(&element, "<([A-Za-z_][A-Za-z0-9_]*)[ />]", REG_EXTENDED), 0);

  for (const CorpusEvent& ev : corpus) {
    SCOPED_TRACE(ev.name);
    const std::string& t = ev.text;
    EXPECT_EQ(t.rfind("Event id: ", 0), 0u);
    for (const char* line : {"\nEvent time: ", "\nEvent type: ", "\nComponent: ", "\nShort Dsc: ",
                             "\nEvent String: ", "\nXML FORMAT:\n<Event>"}) {
      EXPECT_NE(t.find(line), std::string::npos) << line;
    }
    EXPECT_NE(t.find("<Type>" + ev.name + "</Type>"), std::string::npos) << "named for its event type";
    const std::string trailer = "  <Serial>1400123</Serial>\n  <SystemModel>Velmar S400</SystemModel>\n"
                                "  <ReleaseLevel>2.3.1.45</ReleaseLevel>\n</Event>\n\n"
                                "VQX level for Velmar 1400123 is 2.3.1.45\n";
    ASSERT_GE(t.size(), trailer.size());
    EXPECT_EQ(t.substr(t.size() - trailer.size()), trailer);

    std::string summary, xml;
    ASSERT_TRUE(SplitEventFile(t, &summary, &xml));
    regmatch_t m[2];
    for (size_t at = 0; regexec(&element, xml.c_str() + at, 2, m, 0) == 0; at += m[0].rm_eo) {
      std::string name = xml.substr(at + m[1].rm_so, m[1].rm_eo - m[1].rm_so);
      EXPECT_TRUE(tags.count(name)) << "element " << name << " has no tag";
    }
  }
  regfree(&element);
}

// The lint itself, on the faults it is there to catch.
TEST(TemplateLint, FindsTheFaultsTheEngineWouldTurnIntoTemplateErrors) {
  std::set<std::string> tags = {"CompName", "Type"};
  EXPECT_EQ(LintTemplate("PD%V0.|%TCompName{RemoveWhitespace,Upper}. x 100%% (%TType.) 5%", tags), "");
  EXPECT_EQ(LintTemplate("%TCompName{ValueOf:File}.", tags), "");
  EXPECT_NE(LintTemplate("%TCompNam.", tags), "");
  EXPECT_NE(LintTemplate("%TCompName{Upper", tags), "");
  EXPECT_NE(LintTemplate("%TCompName{Bogus}.", tags), "");
  EXPECT_NE(LintTemplate("%V10.", tags), "");
  EXPECT_NE(LintTemplate("%Q1.", tags), "");
  EXPECT_NE(LintTemplate("%T.", tags), "");
}

}  // namespace
