// The configuration analysis in the running qdAnalyze: configuration files
// checked by the CheckCageTemp stand-in, hot cages turned into a history
// row, a "PNR" notification request for QDNOT and the catalogue update;
// and the notification request's fallback when the notifier is unknown to
// the service or the service is lost during the send.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analyzer_run.h"
#include "child_process.h"
#include "qd_txn.h"
#include "work_messages.h"

namespace {

constexpr char kHot[] = "cage 3 temp 52 limit 50\ncage 4 temp 30 limit 50\ncage 5 temp 55 limit 50\n";
constexpr char kCool[] = "cage 1 temp 20 limit 50\ncage 2 temp 21 limit 50\n";
constexpr char kRequestTime[] = "TxnTime=2024/06/01 08:00:00";

std::string Field(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

template <size_t N>
std::string Field(const char (&field)[N]) {
  return Field(field, N);
}

class ConfigRun : public AnalyzerRun {
 protected:
  // A configuration file below the root, catalogued as type 101; returns
  // the request's settings (by object id).
  std::vector<std::string> Stored(const std::string& store, const std::string& content,
                                  const std::string& seq = "9") {
    root_.write(store, content);
    return JoinSettings(kRequestSp, {kRequestTime, "TxnAttr3=4",
                                     "FDB_Objid=" + Catalogue(101, store, seq)});
  }

  // The notification requests addressed to QDNOT: envelope and record.
  struct Request {
    WmMessageInfo info;
    qd_Transaction_Format_6 rec;
  };
  std::vector<Request> NotifyRequests() {
    std::vector<Request> out;
    CWorkMessages wm(true);
    int qdnot = wm.GetUID("QDNOT");
    if (qdnot < 1) return out;
    std::vector<WmMessageInfo> list;
    EXPECT_EQ(wm.ListMessages(qdnot, list), 0) << wm.szErrorMsg;
    for (const WmMessageInfo& m : list) {
      WmMessageInfo info;
      std::string data;
      EXPECT_EQ(wm.GetMessage(m.id, info, data), 0) << wm.szErrorMsg;
      Request r{info, {}};
      EXPECT_EQ(data.size(), sizeof r.rec);
      std::memcpy(&r.rec, data.data(), std::min(data.size(), sizeof r.rec));
      out.push_back(r);
    }
    return out;
  }

  std::vector<std::string> History() const {
    return db_.query(
        "select event_type, component, component_loc, symptom_keyword, urgency, severity, "
        "template_used, to_char(event_date, 'yyyy/mm/dd hh24:mi:ss'), "
        "position('CAGE3 HIGH_TEMP Drive Cage temperature is high' in symptom_detail), "
        "ea_key1 is null and ea_details is null from qd_anal_history");
  }

  // anal_symptom, anal_date set, anal_filename null: of the catalogue row.
  std::vector<std::string> CatalogueAnalysis(const std::string& objid) const {
    return db_.query("select anal_symptom, anal_date is not null, anal_filename is null "
                     "from qd_fdb_cat where objid = '" + objid + "'");
  }

  // Entries of the fallback spool whose names end in `suffix`.
  std::vector<std::string> SpoolEntries(const std::string& suffix = ".wm") const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(root_.under("/var/spool/qd/wm").c_str())) {
      while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
          names.push_back(name);
        }
      }
      closedir(dir);
    }
    return names;
  }

  // No result file of the checker is left in the root's /tmp.
  bool NoResultFileLeft() const {
    bool none = true;
    if (DIR* dir = opendir(root_.under("/tmp").c_str())) {
      while (dirent* e = readdir(dir)) {
        if (std::strstr(e->d_name, "CheckCageTemp")) none = false;
      }
      closedir(dir);
    }
    return none;
  }

  // What "qdwm show ID" prints.
  std::string QdwmShow(const std::string& id) {
    ChildSpec spec;
    spec.argv = {std::string(std::getenv("QD_BUILD_DIR")) + "/bin/qdwm", "show", id};
    spec.stdoutPath = root_.under("/qdwm.out");
    spec.stderrPath = "=stdout";
    int status = 0;
    char err[256] = {0};
    EXPECT_EQ(QdRunChild(spec, kAnalyzerPatience, &status, err, sizeof err), CHILD_OK) << err;
    EXPECT_EQ(ExitCode(status), 0) << root_.read("/qdwm.out");
    return root_.read("/qdwm.out");
  }

  void Stop() {
    daemon_.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(Exit()), 100);
  }
};

TEST_F(ConfigRun, CoolCagesAndFilesAnalyzedBeforeSendNothing) {
  StartReady({"-t", "60"});
  std::string cool = Send(Stored("/sp/prod/data/files/1234567/cfg1", kCool, "1"));
  ASSERT_TRUE(Ended(cool, "Deleted")) << Log();

  std::vector<std::string> seen = Stored("/sp/prod/data/files/1234567/cfg2", kHot, "2");
  db_.exec("update qd_fdb_cat set anal_date = now() where file_seq = '2'");
  std::string before = Send(seen);
  ASSERT_TRUE(Ended(before, "Deleted")) << Log();
  EXPECT_EQ(Count("QDA9999 1 Previously analyzed this file, analysis bypassed."), 1) << Log();

  EXPECT_TRUE(NotifyRequests().empty());
  EXPECT_EQ(db_.query("select count(*) from qd_anal_history"), std::vector<std::string>{"0"});
  EXPECT_EQ(Alerts(), "");
  EXPECT_EQ(Statuses("txnid = 'FAR'"), (std::vector<std::string>{"Done", "Done"}));
  EXPECT_TRUE(NoResultFileLeft());
  Stop();
}

TEST_F(ConfigRun, TwoHotCagesGiveHistoryNotificationAndCatalogue) {
  StartReady({"-t", "60"});
  std::vector<std::string> settings = Stored("/sp/prod/data/files/1234567/cfg9", kHot);
  std::string objid = settings.back().substr(std::strlen("FDB_Objid="));
  std::string id = Send(settings);
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();

  EXPECT_EQ(History(), std::vector<std::string>{
                           "CAGE3 HIGH_TEMP|CAGE3||none|H|alert|0|2024/06/01 08:00:00|1|t"});

  // Nobody receives NIQ here: the service keeps the request for qdNotify.
  std::vector<Request> sent = NotifyRequests();
  ASSERT_EQ(sent.size(), 1u);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%.8X", static_cast<unsigned>(sent[0].info.id));
  EXPECT_EQ(Count("QDA0011 A PNR Notification msg [" + std::string(hex) +
                  "] queued by this message " + id), 1) << Log();
  EXPECT_EQ(sent[0].info.msgname, "NIQ");
  EXPECT_EQ(sent[0].info.sender_name, "QDAN");
  // The request as operators see it.
  std::string show = QdwmShow(hex);
  auto has = [&](const std::string& line) { return show.find("\n  " + line + "\n"); };
  EXPECT_NE(show.find("message: NIQ"), std::string::npos) << show;
  EXPECT_NE(show.find("length: 5375"), std::string::npos) << show;
  EXPECT_NE(show.find("transaction record, format 6:"), std::string::npos) << show;
  for (const std::string line :
       {"TxnId: PNR", "encription: 0", "compression: 0", "char_set: A",
        "TxnAttr3: 0x05",  // the request's bit 2, and the alert bit
        "sp.vendor: Zarvek", "sp.id: SP0042", "urgency: H", "notclass: 0",
        "event: Zarvek Velmar config log arrival",
        "source: Zarvek Velmar 1234567 CONFIG file, seq 9, dated 2024/05/01 12:34:56",
        "EventTimeFirst: 2024/06/01 08:00:00.00", "EventTimeLast: 2024/06/01 08:00:00.00",
        "EventLocation: R",
        // No event was parsed, so no severity of one.
        "abstract: (<no value>)CAGE3 HIGH_TEMP Drive Cage temperature is high", "counter: 1",
        "model: Unknown", "NotifyUnique: CAGE3 HIGH_TEMP"}) {
    EXPECT_NE(has(line), std::string::npos) << line << "\n" << show;
  }
  std::string text = Field(sent[0].rec.text);
  EXPECT_EQ(text.find("========== Symptom ==============================\n"
                      "CAGE3 Drive Cage temperature is high\n"
                      "CAGE5 Drive Cage temperature is high\n"
                      "========== Description"), 0u) << text;
  EXPECT_NE(text.find("Current high disk temperature in CAGE3 is 52C.\n"
                      "Current high disk temperature in CAGE5 is 55C.\n"), std::string::npos);
  EXPECT_EQ(text.find("CAGE4"), std::string::npos);
  EXPECT_NE(text.find("near the Velmar for cooling/air-conditioning problems."), std::string::npos);
  EXPECT_EQ(text.back(), '.');  // the record's text carries no trailing blanks

  EXPECT_EQ(CatalogueAnalysis(objid),
            std::vector<std::string>{"CAGE3 HIGH_TEMP Drive Cage temperature is high\n|t|t"});
  EXPECT_EQ(Alerts(), "");
  EXPECT_TRUE(NoResultFileLeft());
  Stop();
}

TEST_F(ConfigRun, CheckerFailureLogsItsOutputAndSendsNothing) {
  StartReady({"-t", "60"});
  std::string id = Send(Stored("/sp/prod/data/files/1234567/cfg9", "cage 3 is hot\n"));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  std::string log = Log();
  size_t head = log.find(" ended with rc=2, log follows.");
  size_t line = log.find("QDA9999 2 CheckCageTemp: '" + root_.under("/sp/prod/data/files/1234567/cfg9") +
                         "' line 1: expected 'cage <number> temp <celsius> limit <celsius>'");
  ASSERT_NE(head, std::string::npos) << log;
  EXPECT_NE(line, std::string::npos) << log;
  EXPECT_LT(head, line);
  EXPECT_TRUE(NotifyRequests().empty());
  EXPECT_EQ(db_.query("select count(*) from qd_anal_history"), std::vector<std::string>{"0"});
  EXPECT_EQ(Statuses("txnid = 'FAR'"), std::vector<std::string>{"Done"});
  EXPECT_TRUE(NoResultFileLeft());
  Stop();
}

TEST_F(ConfigRun, ByIdentificationNotifiesAndLeavesTheCatalogueAlone) {
  db_.exec("delete from qd_fdb_attr where file_type = 101");
  ASSERT_EQ(db_.exec("insert into qd_fdb_attr values ('Zarvek', 'Velmar', 'CONFIG', 101, "
                     "'0', '0', 'A', '*')"), "");
  const std::string store = "/sp/prod/data/files/1234567/cfg9";
  root_.write(store, kHot);
  std::string objid = Catalogue(101, store);  // the same file, also catalogued
  StartReady({"-t", "60"});
  std::string id = Send(JoinSettings(kRequestSp, {"prod.vendor=Zarvek", "prod.prod=Velmar",
                                                  "prod.id=1234567", "FileType=config",
                                                  "FileTime=2024/05/01 12:34:56", "FileSeq=9",
                                                  "FileName=" + store}));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  EXPECT_EQ(NotifyRequests().size(), 1u);
  EXPECT_EQ(db_.query("select count(*) from qd_anal_history"), std::vector<std::string>{"1"});
  EXPECT_EQ(CatalogueAnalysis(objid), std::vector<std::string>{"|f|t"});
  Stop();
}

TEST_F(ConfigRun, StoredNameWithShellCharactersIsOnlyAnArgument) {
  // Any shell given this name would run the three commands in it; each
  // would leave a file below the root.
  const std::string store = "/sp/prod/data/files/1234567/cfg 7; touch \"$QD_ROOT/one\" "
                            "$(touch \"$QD_ROOT/two\") `touch \"$QD_ROOT/three\"` 'q'";
  StartReady({"-t", "60"});
  std::vector<std::string> settings = Stored(store, "cage 7 temp 61 limit 50\n");
  std::string objid = settings.back().substr(std::strlen("FDB_Objid="));
  std::string id = Send(settings);
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  for (const char* planted : {"/one", "/two", "/three"}) {
    EXPECT_NE(access(root_.under(planted).c_str(), F_OK), 0) << planted;
  }
  EXPECT_EQ(CatalogueAnalysis(objid),
            std::vector<std::string>{"CAGE7 HIGH_TEMP Drive Cage temperature is high\n|t|t"});
  std::vector<Request> sent = NotifyRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(Field(sent[0].rec.text).find("Current high disk temperature in CAGE7 is 61C."),
            std::string::npos);
  Stop();
}

TEST_F(ConfigRun, NotifierUnknownToTheServiceGoesToTheSpoolWithAnAlert) {
  ASSERT_EQ(db_.exec("delete from wm.process where name = 'QDNOT'"), "");
  StartReady({"-t", "60"});
  std::string first = Send(Stored("/sp/prod/data/files/1234567/cfg1", kHot, "1"));
  ASSERT_TRUE(Ended(first, "Deleted")) << Log();
  std::string second = Send(Stored("/sp/prod/data/files/1234567/cfg2", kHot, "2"));
  ASSERT_TRUE(Ended(second, "Deleted")) << Log();

  // Looked up again for each request, and each time not found.
  EXPECT_EQ(Count("QDA0020 2 Message " + first +
                  ": no process id for 'QDNOT', rc=-100: Unknown process name"), 1) << Log();
  EXPECT_EQ(Count("QDA0020 2 Message " + second), 1);
  EXPECT_EQ(Count("QDA9999 A message for QDNOT/NIQ spooled as "), 2) << Log();
  // Both requests are kept: the second's drain set the first aside for
  // operators, since the service has no QDNOT to deliver it to.
  EXPECT_EQ(SpoolEntries().size(), 1u);
  EXPECT_EQ(SpoolEntries(".wm.bad").size(), 1u);
  std::string alerts = Alerts();
  EXPECT_NE(alerts.find("\"kind\":\"backdoor\",\"name\":\"qdAnalyze\""), std::string::npos)
      << alerts;
  EXPECT_NE(alerts.find("\"abstract\":\"qdAnalyze Unable to Send() NIQ message\""),
            std::string::npos);
  EXPECT_NE(alerts.find("Notify request for Zarvek Velmar 1234567 CONFIG file cannot be sent.\\n"
                        "CWorkMessages::GetUID() failed to translate 'QDNOT'\\n"
                        "Originating AIQ message is " + second),
            std::string::npos) << alerts;
  // The analysis itself is done, history and catalogue included.
  EXPECT_EQ(db_.query("select count(*) from qd_anal_history"), std::vector<std::string>{"2"});
  EXPECT_EQ(Statuses("txnid = 'FAR'"), (std::vector<std::string>{"Done", "Done"}));
  Stop();
}

TEST_F(ConfigRun, ServiceLostDuringTheSendGoesToTheSpoolWithAnAlert) {
  // Every session that stores a notification request loses its server.
  ASSERT_EQ(db_.exec("create function wm.lose_session() returns trigger language plpgsql as $$ "
                     "begin perform pg_terminate_backend(pg_backend_pid()); return new; end $$; "
                     "create trigger lose_niq before insert on wm.message for each row "
                     "when (new.msgno = 2) execute function wm.lose_session()"), "");
  StartReady({"-t", "60"});
  std::string id = Send(Stored("/sp/prod/data/files/1234567/cfg9", kHot));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();

  EXPECT_EQ(Count("QDA0010 A Message " + id + ": SEND (to notify) failed, rc=-94, "), 1) << Log();
  EXPECT_EQ(Count("QDA9999 A message for QDNOT/NIQ spooled as "), 1) << Log();
  ASSERT_EQ(SpoolEntries().size(), 1u);
  std::string entry = root_.read("/var/spool/qd/wm/" + SpoolEntries()[0]);
  EXPECT_NE(entry.find("target=QDNOT\nmessage=NIQ\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("length=5375\n"), std::string::npos);
  std::string alerts = Alerts();
  EXPECT_NE(alerts.find("\"abstract\":\"qdAnalyze Unable to Send() NIQ message\""),
            std::string::npos) << alerts;
  EXPECT_NE(alerts.find("file cannot be sent.\\nCWorkMessages::Send() returned rc=-94\\n"
                        "Originating AIQ message is " + id),
            std::string::npos) << alerts;
  EXPECT_EQ(Count("QDA0020"), 0);
  EXPECT_EQ(Statuses("txnid = 'FAR'"), std::vector<std::string>{"Done"});
  Stop();
}

}  // namespace
