// The database schema as the programs meet it: scripts/dbinit loads it
// twice without harm, every statement the programs issue is accepted by
// the server, and the keys, widths and the one-row dual hold.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include "system_statements.h"
#include "test_db.h"

namespace {

using Params = std::vector<std::optional<std::string>>;

// One connection to a database, for statements with text parameters.
class Session {
 public:
  explicit Session(const std::string& db) : conn_(PQconnectdb(("dbname=" + db).c_str())) {}
  ~Session() { PQfinish(conn_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool ok() const { return PQstatus(conn_) == CONNECTION_OK; }

  // Runs `sql` (host variables converted by PgText) with `params` (nullopt
  // binds NULL). Returns "" or the server's error text; the rows, fields
  // joined by '|', go to *rows when given.
  std::string Run(const std::string& sql, const Params& params = {},
                  std::vector<std::string>* rows = nullptr) {
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    PGresult* res = params.empty() ? PQexec(conn_, sql.c_str())
                                   : PQexecParams(conn_, PgText(sql).c_str(), static_cast<int>(values.size()),
                                                  nullptr, values.data(), nullptr, nullptr, 0);
    std::string err = Collect(res, rows);
    PQclear(res);
    return err;
  }

  // The rows of a query, or one row "ERROR: <text>".
  std::vector<std::string> Rows(const std::string& sql, const Params& params = {}) {
    std::vector<std::string> rows;
    std::string err = Run(sql, params, &rows);
    if (!err.empty()) return {"ERROR: " + err};
    return rows;
  }

  // The single value of a one-row, one-column query (or the error row).
  std::string Value(const std::string& sql, const Params& params = {}) {
    std::vector<std::string> rows = Rows(sql, params);
    return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " rows>";
  }

  // Parses and plans `sql` as an unnamed prepared statement, parameter
  // types left to the server. Returns "" or the server's error text.
  std::string Prepare(const std::string& sql) {
    PGresult* res = PQprepare(conn_, "", PgText(sql).c_str(), 0, nullptr);
    std::string err = Collect(res, nullptr);
    PQclear(res);
    return err;
  }

 private:
  static std::string Collect(PGresult* res, std::vector<std::string>* rows) {
    ExecStatusType st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      std::string err = PQresultErrorMessage(res);
      return err.empty() ? "failed" : err;
    }
    for (int r = 0; rows && r < PQntuples(res); ++r) {
      std::string row;
      for (int c = 0; c < PQnfields(res); ++c) row += (c ? "|" : "") + std::string(PQgetvalue(res, r, c));
      rows->push_back(row);
    }
    return "";
  }

  PGconn* conn_;
};

// Runs a statement of the programs' table.
std::string RunStatement(Session& s, const std::string& program, const std::string& name,
                         const Params& params, std::vector<std::string>* rows = nullptr) {
  return s.Run(FindStatement(program, name).text, params, rows);
}

// Declares a cursor statement of the programs' table and fetches all of it.
std::vector<std::string> FetchCursor(Session& s, const std::string& program, const std::string& name,
                                     const std::string& cursor, const Params& params) {
  std::string err = RunStatement(s, program, name, params);
  if (!err.empty()) return {"ERROR: " + err};
  return s.Rows("fetch all from " + cursor);
}

// Everything loading the schema creates, one sorted line per column, index,
// constraint, trigger, sequence and function, and the number of rows of
// dual: two loads that differ in anything the schema defines differ here.
std::string Fingerprint(const std::string& db) {
  Session s(db);
  return s.Value(
      "select string_agg(x, E'\\n' order by x) from ("
      " select 'col ' || table_name || '.' || column_name || ' ' || data_type || ' ' ||"
      "   coalesce(character_maximum_length::text, '') || ' ' || is_nullable || ' ' ||"
      "   coalesce(column_default, '') || ' ' || coalesce(collation_name, '')"
      "   from information_schema.columns where table_schema = 'public'"
      " union all select 'idx ' || indexdef from pg_indexes where schemaname = 'public'"
      " union all select 'con ' || conrelid::regclass::text || ' ' || pg_get_constraintdef(oid)"
      "   from pg_constraint where connamespace = 'public'::regnamespace"
      " union all select 'trg ' || tgrelid::regclass::text || ' ' || tgname from pg_trigger where not tgisinternal"
      " union all select 'seq ' || sequencename from pg_sequences where schemaname = 'public'"
      " union all select 'fn ' || oid::regprocedure::text from pg_proc where pronamespace = 'public'::regnamespace"
      " union all select 'dual rows ' || count(*) from dual) f(x)");
}

// The header values of a transaction log insert (objid first), then `body`.
Params TxnParams(const std::string& objid, const std::string& status, const std::string& fmt, Params body) {
  Params p = {objid, status, "80000100", fmt, "PNR", "Sec5F000000uSec00000001", "2014/10/09 23:38:00",
              "0", "0", "A", "X", "Zarvek", "Velmar", "1234567", "Zarvek", "SP", "SP0042"};
  p.insert(p.end(), body.begin(), body.end());
  return p;
}

// The body of a format 3 record with `text` as its text.
Params Format3Body(const std::string& text) {
  return {"Zarvek Velmar 1234567 EVENT file, seq 17, dated 2014/10/09 23:38:00", "1", "H", "0",
          "Zarvek Velmar disk_fail", "2014/10/09 23:37:00", "2014/10/09 23:38:00", "(major)Disk failed", text};
}

// The 50 group names of a membership test, `first` and then "!not!".
Params GroupNames(const std::string& first) {
  Params p(50, std::string("!not!"));
  p[0] = first;
  return p;
}

std::string Joined(const std::vector<std::string>& rows) {
  std::string out;
  for (const auto& r : rows) out += r + "\n";
  return out;
}

Params Concat(Params a, const Params& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class SchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestDatabase::Available()) return;
    db_ = std::make_unique<TestDatabase>();
    ASSERT_EQ(db_->error(), "");
    s_ = std::make_unique<Session>(db_->name());
    ASSERT_TRUE(s_->ok());
  }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Session> s_;
};

// --- loading ---------------------------------------------------------------

TEST(SchemaLoad, LoadingTwiceIntoAFreshDatabaseChangesNothing) {
  QD_REQUIRE_DB();
  const char* src = std::getenv("QD_SOURCE_DIR");
  ASSERT_NE(src, nullptr) << "QD_SOURCE_DIR must name the source tree";
  TestDatabase admin;
  ASSERT_EQ(admin.error(), "");
  const std::string name = "qdt_schema_" + std::to_string(getpid());
  struct Dropper {
    TestDatabase& admin;
    std::string name;
    ~Dropper() { admin.exec("drop database if exists " + name + " with (force)"); }
  } dropper{admin, name};

  std::string out1, out2;
  ASSERT_EQ(RunDbinit(src, name, &out1), 0) << out1;
  std::string first = Fingerprint(name);
  ASSERT_NE(first.find("dual rows 1"), std::string::npos) << first;

  ASSERT_EQ(RunDbinit(src, name, &out2), 0) << out2;
  EXPECT_EQ(out2.find("ERROR"), std::string::npos) << out2;
  EXPECT_EQ(out2.find("NOTICE"), std::string::npos) << out2;
  EXPECT_EQ(Fingerprint(name), first);
  // The template every database test starts from was loaded the same way.
  EXPECT_EQ(Fingerprint(admin.name()), first);
}

// A name with capitals is the database's name as given, loaded like any
// other (not a lower-case database made, and then every load failing).
TEST(SchemaLoad, AMixedCaseNameIsTheDatabasesNameAsGiven) {
  QD_REQUIRE_DB();
  const char* src = std::getenv("QD_SOURCE_DIR");
  ASSERT_NE(src, nullptr) << "QD_SOURCE_DIR must name the source tree";
  TestDatabase admin;
  ASSERT_EQ(admin.error(), "");
  const std::string name = "Qdt_Mixed_" + std::to_string(getpid());
  struct Dropper {
    TestDatabase& admin;
    std::string name;
    ~Dropper() { admin.exec("drop database if exists \"" + name + "\" with (force)"); }
  } dropper{admin, name};
  std::string out;
  ASSERT_EQ(RunDbinit(src, name, &out), 0) << out;
  EXPECT_EQ(Fingerprint(name), Fingerprint(admin.name()));
  out.clear();
  ASSERT_EQ(RunDbinit(src, name, &out), 0) << out;  // and again, harmlessly
}

TEST_F(SchemaTest, EveryRelationTheProgramsNameExists) {
  QD_REQUIRE_DB();
  const char* names[] = {
      "dual", "qd_txn_log", "qd_txn_log_seq", "qd_fdb_cat", "qd_fdb_attr", "qd_group_mem",
      "qd_orggroup_mem", "qd_usergroup_mem", "qd_orggroup", "qd_shift", "qd_shift_exception", "qd_site",
      "qd_product", "qd_tag_data", "qd_anal_pattern", "qd_anal_evtdata", "qd_edit", "qd_anal_msgtext",
      "qd_fru_callout", "qd_fru", "qd_anal_history", "qd_prod_attr", "qd_notify_number", "qd_user",
      "qd_notify", "qd_notify_history", "qd_grouped_not", "qd_pager_attr", "qd_rap_history",
      "qd_rap_history_seq", "external_sr_pending", "entity_event_sr_requests"};
  for (const char* n : names) {
    EXPECT_EQ(s_->Value("select to_regclass($1) is not null", {std::string(n)}), "t") << n;
  }
}

// --- the programs' statements -----------------------------------------------

// Every statement of `program` parses and plans against the schema.
void ExpectStatementsPrepare(Session& s, const std::string& program) {
  std::vector<SystemStatement> list = StatementsOf(program);
  ASSERT_FALSE(list.empty()) << program;
  // Each outside a transaction, so that one failure does not hide the next.
  for (const auto& st : list) {
    EXPECT_EQ(s.Prepare(st.text), "") << program << ": " << st.name << "\n" << PgText(st.text);
  }
}

TEST_F(SchemaTest, LibraryStatementsPrepare) {
  QD_REQUIRE_DB();
  ExpectStatementsPrepare(*s_, "libQDora_gpl");
}

TEST_F(SchemaTest, AnalyzerStatementsPrepare) {
  QD_REQUIRE_DB();
  ExpectStatementsPrepare(*s_, "qdAnalyze");
}

TEST_F(SchemaTest, NotifierStatementsPrepare) {
  QD_REQUIRE_DB();
  ExpectStatementsPrepare(*s_, "qdNotify");
}

TEST_F(SchemaTest, GrouperStatementsPrepare) {
  QD_REQUIRE_DB();
  ExpectStatementsPrepare(*s_, "qdGrpNot");
}

TEST(SystemStatementText, HostVariablesBecomeNumberedParameters) {
  EXPECT_EQ(PgText("select a from t where b = :b and c = :c_2 and d = $9"),
            "select a from t where b = $1 and c = $2 and d = $9");
  EXPECT_EQ(PgText("select x::text , ':lit' from t where y = :y"), "select x::text , ':lit' from t where y = $1");
}

// --- dual, sequences, keys and widths ----------------------------------------

TEST_F(SchemaTest, DualKeepsExactlyOneRow) {
  QD_REQUIRE_DB();
  EXPECT_EQ(s_->Value("select count(*) from dual"), "1");
  EXPECT_NE(s_->Run("insert into dual values ('X')"), "");
  EXPECT_NE(s_->Run("insert into dual values ('Y')"), "");
  EXPECT_NE(s_->Run("update dual set dummy = 'Y'"), "");
  EXPECT_NE(s_->Run("delete from dual"), "");
  EXPECT_NE(s_->Run("truncate dual"), "");
  EXPECT_EQ(s_->Value("select count(*) from dual"), "1");
  EXPECT_EQ(s_->Value("select dummy from dual"), "X");
}

TEST_F(SchemaTest, SequencesReadThroughDualCountUp) {
  QD_REQUIRE_DB();
  for (const char* seq : {"qd_txn_log_seq", "qd_rap_history_seq", "qd_notify_number"}) {
    std::string sql = std::string("select nextval ( '") + seq + "' ) from dual";
    long a = std::atol(s_->Value(sql).c_str());
    long b = std::atol(s_->Value(sql).c_str());
    EXPECT_GT(a, 0) << seq;
    EXPECT_EQ(b, a + 1) << seq;
  }
  // Catalogue rows stored without an object id get distinct ones.
  const char* file =
      "insert into qd_fdb_cat (vendor, product, prod_id, file_date, file_type, file_seq, prod_filename,"
      " store_filename, encription, compression, char_set, hw_architecture) values ('Zarvek', 'Velmar',"
      " '1234567', localtimestamp, 100, '1', 'EVENT', '/sp/f', '0', '0', 'A', 'X') returning objid";
  std::string first = s_->Value(file), second = s_->Value(file);
  EXPECT_EQ(first.find("ERROR"), std::string::npos) << first;
  EXPECT_NE(first, second);
}

TEST_F(SchemaTest, KeysRejectDuplicatesAndUnknownStates) {
  QD_REQUIRE_DB();
  Params stop = TxnParams("900", "InProc", "255", {"stop"});
  ASSERT_EQ(RunStatement(*s_, "libQDora_gpl", "insert do_fmtStop", stop), "");
  EXPECT_NE(RunStatement(*s_, "libQDora_gpl", "insert do_fmtStop", stop), "") << "duplicate objid";
  EXPECT_NE(RunStatement(*s_, "qdAnalyze", "Update txn status", {"Finished", "900"}), "");

  // Type 100 comes installed (80_analyzer_files.sql); start without it.
  ASSERT_EQ(s_->Run("delete from qd_fdb_attr where file_type = 100"), "");
  const char* attr = "insert into qd_fdb_attr values ('Zarvek', 'Velmar', $1, 100, '0', '0', 'A', '*')";
  ASSERT_EQ(s_->Run(attr, {"EVENT"}), "");
  EXPECT_NE(s_->Run(attr, {"EVENT2"}), "") << "a file type belongs to one attribute row";

  // The array's attributes come installed (91_notifier_defaults.sql); start without them.
  ASSERT_EQ(s_->Run("delete from qd_prod_attr where vendor = 'Zarvek' and product = 'Velmar'"), "");
  const char* prod = "insert into qd_prod_attr (vendor, product) values ('Zarvek', 'Velmar')";
  ASSERT_EQ(s_->Run(prod), "");
  EXPECT_NE(s_->Run(prod), "");

  const char* pat = "insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern) values (100, 'evt', 1, 0, 'x')";
  ASSERT_EQ(s_->Run(pat), "");
  EXPECT_NE(s_->Run(pat), "");

  EXPECT_NE(s_->Run("insert into qd_group_mem (group_name) values ('G1')"), "") << "a member is required";
  EXPECT_NE(s_->Run("insert into qd_notify_history (vendor, product, prod_id, not_unique, notify_date,"
                    " notify_id, notified) values ('V', 'P', '1', 'k', localtimestamp, 'P1', 'X')"),
            "");
}

TEST_F(SchemaTest, WidthsTakeTheLongestFieldAndNoMore) {
  QD_REQUIRE_DB();
  const std::string fmt3 = "insert do_fmt3";
  EXPECT_EQ(RunStatement(*s_, "libQDora_gpl", fmt3, TxnParams("1", "InProc", "3", Format3Body(std::string(4000, 't')))), "");
  EXPECT_NE(RunStatement(*s_, "libQDora_gpl", fmt3, TxnParams("2", "InProc", "3", Format3Body(std::string(4001, 't')))), "");
  EXPECT_EQ(s_->Value("select length(text) from qd_txn_log where objid = '1'"), "4000");

  // A report is named after a stored file of the longest name.
  std::string store(256, 'f');
  ASSERT_EQ(s_->Run("insert into qd_fdb_cat (objid, vendor, product, prod_id, file_date, file_type, file_seq,"
                    " prod_filename, store_filename, encription, compression, char_set, hw_architecture)"
                    " values ('77', 'V', 'P', '1', localtimestamp, 100, '1', 'EVENT', $1, '0', '0', 'A', 'X')",
                    {store}),
            "");
  EXPECT_EQ(RunStatement(*s_, "qdAnalyze", "post analysis",
                         {std::string(256, 's'), "2014/10/09 23:40:00", store + ".analysis", "77"}),
            "");
}

// --- statements at work ------------------------------------------------------

TEST_F(SchemaTest, TransactionLogRowFromInsertToFinalStatus) {
  QD_REQUIRE_DB();
  std::string objid = s_->Value(FindStatement("libQDora_gpl", "select qd_txn_log_seq.nextval").text);
  Params body = {"42", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "  comment"};
  ASSERT_EQ(RunStatement(*s_, "libQDora_gpl", "insert do_fmt2", TxnParams(objid, "InProc", "2", body)), "");
  EXPECT_EQ(s_->Value("select fmt, txntime, filetime is null, comments from qd_txn_log where objid = $1", {objid}),
            "2|2014-10-09 23:38:00|t|  comment");
  ASSERT_EQ(RunStatement(*s_, "qdNotify", "Update txn status", {"Done", "P17", objid}), "");
  ASSERT_EQ(RunStatement(*s_, "libQDora_gpl", "update for do_fmt7", {"Velmar 8400", "disk_fail;failed", "3", "12345", objid}), "");
  EXPECT_EQ(s_->Value("select status, notify_id, model, entityid from qd_txn_log where objid = $1", {objid}),
            "Done|P17|Velmar 8400|12345");
}

TEST_F(SchemaTest, CatalogueRowsFoundByIdAndByIdentification) {
  QD_REQUIRE_DB();
  ASSERT_EQ(s_->Run("delete from qd_fdb_attr where file_type = 100"), "");
  ASSERT_EQ(s_->Run("insert into qd_fdb_attr values ('Zarvek', 'Velmar', 'EVENT', 100, '0', '0', 'A', '*')"), "");
  ASSERT_EQ(s_->Run("insert into qd_fdb_cat (objid, vendor, product, prod_id, file_date, file_type, file_seq,"
                    " prod_filename, store_filename, encription, compression, char_set, hw_architecture) values"
                    " ('5', 'Zarvek', 'Velmar', '1234567', to_timestamp('2014/10/09 23:38:00', 'yyyy/mm/dd hh24:mi:ss'),"
                    " 100, '17', 'EVENT', '/sp/prod/data/files/1234567/event/e17', '2', '0', 'A', 'X')"),
            "");
  std::vector<std::string> rows;
  ASSERT_EQ(RunStatement(*s_, "qdAnalyze", "FDB_Objid select", {"5"}, &rows), "");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "Zarvek|Velmar|1234567|2014/10/09 23:38:00|100|17|EVENT|/sp/prod/data/files/1234567/event/e17|2|0|A|X");

  Params ident = {"Zarvek", "Velmar", "1234567", "2014/10/09 23:38:00", "100", "17"};
  rows.clear();
  ASSERT_EQ(RunStatement(*s_, "qdAnalyze", "prior analysis select", ident, &rows), "");
  EXPECT_EQ(rows, std::vector<std::string>{"0"});
  ASSERT_EQ(RunStatement(*s_, "qdAnalyze", "post analysis", {"PD|cage2 failed", "2014/10/09 23:40:00", std::nullopt, "5"}), "");
  rows.clear();
  ASSERT_EQ(RunStatement(*s_, "qdAnalyze", "prior analysis select", ident, &rows), "");
  EXPECT_EQ(rows, std::vector<std::string>{"1"});

  rows.clear();
  ASSERT_EQ(RunStatement(*s_, "qdNotify", "select store_filename",
                         {"Zarvek", "Velmar", "1234567", "2014/10/09 23:38:00", "Zarvek", "Velmar", "EVENT", "17"}, &rows),
            "");
  EXPECT_EQ(rows, std::vector<std::string>{"5"});
}

TEST_F(SchemaTest, RuleNamesSortBytewiseSoTheGenericPatternsComeFirst) {
  QD_REQUIRE_DB();
  // A leading blank must sort first whatever the database's locale.
  EXPECT_EQ(s_->Value("select collation_name from information_schema.columns"
                      " where table_name = 'qd_anal_pattern' and column_name = 'apply'"),
            "C");
  EXPECT_EQ(s_->Value("select collation_name from information_schema.columns"
                      " where table_name = 'qd_tag_data' and column_name = 'tagname'"),
            "C");
  // Only this test's rows, not the installed ones.
  ASSERT_EQ(s_->Run("delete from qd_anal_pattern where file_type = 100"), "");
  ASSERT_EQ(s_->Run("insert into qd_anal_pattern (file_type, apply, lineseq, rule, pattern, tag0) values"
                    " (100, 'evt_disk', 1, 0, 'a', 'RV0'), (100, ' generic', 2, 0, 'b', null),"
                    " (100, ' generic', 1, 0, 'c', null)"),
            "");
  ASSERT_EQ(s_->Run("begin"), "");
  std::vector<std::string> rows = FetchCursor(*s_, "qdAnalyze", "open pattern count cursor", "pac", {"100"});
  ASSERT_EQ(rows.size(), 3u) << Joined(rows);
  EXPECT_EQ(rows[0].substr(0, 11), " generic|1|");
  EXPECT_EQ(rows[1].substr(0, 11), " generic|2|");
  EXPECT_EQ(rows[2].substr(0, 11), "evt_disk|1|");
  s_->Run("rollback");
}

TEST_F(SchemaTest, HistoryRepeatLookupsSeeRecentRowsOnly) {
  QD_REQUIRE_DB();
  std::string now = s_->Value("select to_char(localtimestamp, 'yyyy/mm/dd hh24:mi:ss')");
  std::string old = s_->Value("select to_char(localtimestamp - interval '8 days', 'yyyy/mm/dd hh24:mi:ss')");
  for (const std::string& when : {now, old}) {
    Params row = {"Zarvek", "Velmar", "1234567", now, "100", "17", "0", when, "evt_jbod_jtype", now,
                  "cage2", "", "jbod_loop", "loop state", "H", "major", "LOOP", "na", "na", "Monitor",
                  "Override", "na", "~Loc=comp_hw_cage~"};
    ASSERT_EQ(RunStatement(*s_, "qdAnalyze", "History insert", row), "");
  }
  std::vector<std::string> rows;
  ASSERT_EQ(RunStatement(*s_, "qdAnalyze", "evt_jbod_jtype code 17 Monitor select",
                         {"Zarvek", "Velmar", "1234567", "evt_jbod_jtype", "LOOP", "Monitor", "%~Loc=comp_hw_cage~%"}, &rows),
            "");
  EXPECT_EQ(rows, std::vector<std::string>{"1"});
}

TEST_F(SchemaTest, RecipientsAndSuppressionRulesOfAProduct) {
  QD_REQUIRE_DB();
  ASSERT_EQ(s_->Run("insert into qd_user (resource_id, user_id, email1) values (7, 'ops', 'ops@example.com')"), "");
  ASSERT_EQ(s_->Run("insert into qd_notify (resource_id, product_id, date_start, date_end, means3_h_p) values"
                    " (7, 42, localtimestamp - interval '1 day', localtimestamp + interval '1 day', 'Y')"),
            "");
  ASSERT_EQ(s_->Run("insert into qd_notify (resource_id, group_id, date_start, date_end, suppress, symptom) values"
                    " (7, 'All.Zarvek.Velmar', localtimestamp - interval '1 day', localtimestamp + interval '1 day',"
                    " 'Y', 'disk')"),
            "");
  ASSERT_EQ(s_->Run("begin"), "");
  Params scope = Concat({"42", "-5", "All.Zarvek.Velmar"}, GroupNames("!not!"));
  std::vector<std::string> rows = FetchCursor(*s_, "qdNotify", "nc cursor open", "nc", scope);
  ASSERT_EQ(rows.size(), 1u) << Joined(rows);
  // Unset means read 'N', so the means string always has its 24 places.
  EXPECT_EQ(rows[0], "7|<no category>|AMERICAN|ops|ops@example.com|<no email2>|<no email3>|<no pager_type>|"
                     "<no pager_access>|GMT|<no company>|<no symptom>|NNYNNN" + std::string(18, 'N'));
  rows = FetchCursor(*s_, "qdNotify", "ss cursor open", "ss", Concat({"7"}, scope));
  EXPECT_EQ(rows, std::vector<std::string>{"disk"});
  s_->Run("rollback");
}

TEST_F(SchemaTest, RepeatSuppressionCountsSinceTheLastToldNotification) {
  QD_REQUIRE_DB();
  for (const char* notified : {"Y", "Y", "N", "N"}) {
    ASSERT_EQ(RunStatement(*s_, "qdNotify", "insert notify history",
                           {"Zarvek", "Velmar", "1234567", "disk_fail;failed", "0", "P1", "(major)Disk failed", std::string(notified)}),
              "");
  }
  Params key = {"Zarvek", "Velmar", "1234567", "disk_fail;failed"};
  std::vector<std::string> rows;
  ASSERT_EQ(RunStatement(*s_, "qdNotify", "select repeat notify count", Concat(key, {"60"}), &rows), "");
  EXPECT_EQ(rows, std::vector<std::string>{"2"});
  rows.clear();
  ASSERT_EQ(RunStatement(*s_, "qdNotify", "select notify suppression count", Concat(key, key), &rows), "");
  EXPECT_EQ(rows, std::vector<std::string>{"2"});
}

TEST_F(SchemaTest, GrouperTakesDueSerialsAndSumsTheirGroups) {
  QD_REQUIRE_DB();
  auto park = [&](const std::string& serial, const std::string& age, int counter) {
    return s_->Run("insert into qd_grouped_not (vendor, product, notclass, prod_id, timestamp, status, sp_vendor,"
                   " sp_product, sp_prod_id, eventtimefirst, eventtimelast, counter, abstract) values ('Zarvek',"
                   " 'Velmar', 2, $1, localtimestamp - cast($2 as interval), 'W', 'Zarvek', 'SP', 'SP0042',"
                   " localtimestamp - cast($2 as interval), localtimestamp - cast($2 as interval), $3, 'Fan slow')",
                   {serial, age, std::to_string(counter)});
  };
  ASSERT_EQ(park("S1", "31 minutes", 1), "");   // quiet longer than the delay: due
  ASSERT_EQ(park("S1", "40 minutes", 2), "");
  ASSERT_EQ(park("S2", "10 minutes", 1), "");   // still active, oldest not old enough
  ASSERT_EQ(park("S2", "180 minutes", 1), "");
  ASSERT_EQ(park("S3", "5 minutes", 1), "");    // still active, but waited past the maximum
  ASSERT_EQ(park("S3", "245 minutes", 1), "");
  ASSERT_EQ(RunStatement(*s_, "qdNotify", "insert grouped notification",
                         {"Zarvek", "Velmar", "2", "S4", "Zarvek", "Velmar", "S4", "Zarvek", "SP", "SP0042", "N",
                          "2014/10/09 23:37:00", "2014/10/09 23:38:00", "1", "Fan slow"}),
            "");

  ASSERT_EQ(s_->Run("begin"), "");
  const std::string delay = std::to_string(30 / 1440.0), max_delay = std::to_string(240 / 1440.0);
  Params cls = {"Zarvek", "Velmar", "2"};
  std::vector<std::string> due = FetchCursor(*s_, "qdGrpNot", "open pc", "pc",
                                             Concat(Concat(Concat(Concat(cls, {delay}), cls), {max_delay}), cls));
  std::sort(due.begin(), due.end());
  EXPECT_EQ(due, (std::vector<std::string>{"S1", "S3"}));

  Params serial = Concat(cls, {"S1"});
  ASSERT_EQ(RunStatement(*s_, "qdGrpNot", "pc lock", serial), "");
  std::vector<std::string> groups = FetchCursor(*s_, "qdGrpNot", "open nc", "nc", serial);
  // No prod identification, the two rows' counters summed.
  const std::string line = "|||Zarvek|SP|SP0042|Fan slow|N|3|";
  ASSERT_EQ(groups.size(), 1u) << Joined(groups);
  EXPECT_EQ(groups[0].substr(0, line.size()), line);
  ASSERT_EQ(RunStatement(*s_, "qdGrpNot", "delete processed lines", serial), "");
  ASSERT_EQ(s_->Run("commit"), "");
  std::vector<std::string> left;
  ASSERT_EQ(RunStatement(*s_, "qdGrpNot", "select ng count", cls, &left), "");
  EXPECT_EQ(left, std::vector<std::string>{"5"});
}

}  // namespace
