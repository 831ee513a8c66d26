// The configuration analysis in the running qdAnalyze with the CheckCageTemp
// stand-in: hot cages give a history row, a "PNR" request for QDNOT (read
// back with qdwm show) and the catalogue update; and the request's fallback
// when the notifier is unknown to the service or the service is lost.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analyzer_run.h"
#include "hex_id.h"
#include "work_messages.h"

namespace {

constexpr char kHot[] = "cage 3 temp 52 limit 50\ncage 4 temp 30 limit 50\ncage 5 temp 55 limit 50\n";
constexpr char kFiles[] = "/sp/prod/data/files/1234567/";

class ConfigRun : public AnalyzerRun {
 protected:
  // A configuration file below the root, catalogued as type 101 under `seq`;
  // the settings of a request naming it by object id (into `objid`).
  std::vector<std::string> Stored(const std::string& name, const std::string& content,
                                  const std::string& seq = "9", std::string* objid = nullptr) {
    root_.write(kFiles + name, content);
    std::string id = Catalogue(101, kFiles + name, seq);
    if (objid) *objid = id;
    return JoinSettings(kRequestSp, {"TxnTime=2024/06/01 08:00:00", "TxnAttr3=4", "FDB_Objid=" + id});
  }

  // Ids (as qdwm shows them) of the messages waiting for QDNOT.
  std::vector<std::string> ForNotifier() {
    CWorkMessages wm(true);
    std::vector<WmMessageInfo> list;
    int qdnot = wm.GetUID("QDNOT");
    if (qdnot > 0) {
      EXPECT_EQ(wm.ListMessages(qdnot, list), 0) << wm.szErrorMsg;
    }
    std::vector<std::string> ids;
    for (const WmMessageInfo& m : list) {
      ids.push_back(HexId(m.id));
    }
    return ids;
  }

  std::string QdwmShow(const std::string& id) { return RunTool("bin/qdwm", {"show", id}); }

  std::string Rows(const std::string& sql) const {
    std::string out;
    for (const std::string& row : db_.query(sql)) out += row + "\n";
    return out;
  }
  // anal_symptom, anal_date set, anal_filename null: of the catalogue row.
  std::string Analysis(const std::string& objid) const {
    return Rows("select anal_symptom, anal_date is not null, anal_filename is null "
                "from qd_fdb_cat where objid = '" + objid + "'");
  }

  // Names in the directory `dir` below the root that contain `part`.
  std::vector<std::string> Files(const std::string& dir, const std::string& part) const {
    std::vector<std::string> names;
    if (DIR* d = opendir(root_.under(dir).c_str())) {
      while (dirent* e = readdir(d)) {
        if (std::strstr(e->d_name, part.c_str())) names.push_back(e->d_name);
      }
      closedir(d);
    }
    return names;
  }

  void Stop() {
    daemon_.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(Exit()), 100);
  }
};

TEST_F(ConfigRun, CoolCagesAFileAnalyzedBeforeAndACheckerFailureSendNothing) {
  StartReady({"-t", "60"});
  std::string cool = Send(Stored("cfg1", "cage 1 temp 20 limit 50\n", "1"));
  std::vector<std::string> seen = Stored("cfg2", kHot, "2");
  db_.exec("update qd_fdb_cat set anal_date = now() where file_seq = '2'");
  std::string before = Send(seen);
  std::string failed = Send(Stored("cfg3", "cage 3 is hot\n", "3"));
  ASSERT_TRUE(Ended(failed, "Deleted")) << Log();

  EXPECT_EQ(Count("QDA9999 1 Previously analyzed this file, analysis bypassed."), 1) << Log();
  std::string log = Log();
  size_t head = log.find(" ended with rc=2, log follows.");
  size_t line = log.find("QDA9999 2 CheckCageTemp: '" + root_.under(kFiles) +
                         "cfg3' line 1: expected 'cage <number> temp <celsius> limit <celsius>'");
  EXPECT_NE(head, std::string::npos) << log;
  EXPECT_NE(line, std::string::npos) << log;
  EXPECT_LT(head, line);
  EXPECT_TRUE(ForNotifier().empty());
  EXPECT_EQ(Rows("select count(*) from qd_anal_history"), "0\n");
  EXPECT_EQ(Alerts(), "");
  EXPECT_EQ(Rows("select status from qd_txn_log order by objid::int"), "Done\nDone\nDone\n");
  EXPECT_TRUE(Files("/tmp", "CheckCageTemp").empty());
  Stop();
}

TEST_F(ConfigRun, TwoHotCagesGiveHistoryNotificationAndCatalogue) {
  StartReady({"-t", "60"});
  std::string objid;
  std::string id = Send(Stored("cfg9", kHot, "9", &objid));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();

  EXPECT_EQ(Rows("select event_type, component, component_loc, symptom_keyword, urgency, "
                 "severity, template_used, to_char(event_date, 'yyyy/mm/dd hh24:mi:ss'), "
                 "ea_key1 is null and ea_details is null from qd_anal_history"),
            "CAGE3 HIGH_TEMP|CAGE3||none|H|alert|0|2024/06/01 08:00:00|t\n");
  EXPECT_EQ(Analysis(objid), "CAGE3 HIGH_TEMP Drive Cage temperature is high\n|t|t\n");

  // Nobody receives NIQ here: the service keeps the request for qdNotify.
  std::vector<std::string> sent = ForNotifier();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(Count("QDA0011 A PNR Notification msg [" + sent[0] + "] queued by this message " + id),
            1) << Log();
  std::string show = QdwmShow(sent[0]);
  for (const std::string line :
       {"sender: QDAN (1)", "message: NIQ (2)", "length: 5375", "  TxnId: PNR",
        "  TxnAttr3: 0x05",  // the request's bit 2, and the alert bit
        "  sp.id: SP0042", "  urgency: H", "  notclass: 0",
        "  event: Zarvek Velmar config log arrival",
        "  source: Zarvek Velmar 1234567 CONFIG file, seq 9, dated 2024/05/01 12:34:56",
        "  EventTimeFirst: 2024/06/01 08:00:00.00", "  EventTimeLast: 2024/06/01 08:00:00.00",
        "  EventLocation: R",
        // No event was parsed, so no severity of one.
        "  abstract: (<no value>)CAGE3 HIGH_TEMP Drive Cage temperature is high",
        "  counter: 1", "  model: Unknown", "  NotifyUnique: CAGE3 HIGH_TEMP",
        "  text: ========== Symptom ==============================\\x0A"
        "CAGE3 Drive Cage temperature is high\\x0ACAGE5 Drive Cage temperature is high\\x0A"
        "========== Description"}) {
    EXPECT_NE(show.find("\n" + line), std::string::npos) << line << "\n" << show;
  }
  EXPECT_NE(show.find("Current high disk temperature in CAGE3 is 52C.\\x0A"
                      "Current high disk temperature in CAGE5 is 55C.\\x0A"),
            std::string::npos);
  EXPECT_NE(show.find("cooling/air-conditioning problems.\n"), std::string::npos);
  EXPECT_EQ(show.find("CAGE4"), std::string::npos);
  EXPECT_EQ(Alerts(), "");
  EXPECT_TRUE(Files("/tmp", "CheckCageTemp").empty());
  Stop();
}

TEST_F(ConfigRun, ByIdentificationNotifiesAndLeavesTheCatalogueAlone) {
  db_.exec("delete from qd_fdb_attr where file_type = 101");
  ASSERT_EQ(db_.exec("insert into qd_fdb_attr values ('Zarvek', 'Velmar', 'CONFIG', 101, "
                     "'0', '0', 'A', '*')"), "");
  std::string objid;
  Stored("cfg9", kHot, "9", &objid);  // the same file, also catalogued
  StartReady({"-t", "60"});
  std::string id = Send(JoinSettings(kRequestSp, {"prod.vendor=Zarvek", "prod.prod=Velmar",
                                                  "prod.id=1234567", "FileType=config",
                                                  "FileTime=2024/05/01 12:34:56", "FileSeq=9",
                                                  "FileName=" + std::string(kFiles) + "cfg9"}));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  EXPECT_EQ(ForNotifier().size(), 1u);
  EXPECT_EQ(Rows("select count(*) from qd_anal_history"), "1\n");
  EXPECT_EQ(Analysis(objid), "|f|t\n");
  Stop();
}

TEST_F(ConfigRun, StoredNameWithShellCharactersIsOnlyAnArgument) {
  // Any shell given this name would run the three commands in it; each
  // would leave a file below the root.
  const std::string name = "cfg 7; touch \"$QD_ROOT/one\" $(touch \"$QD_ROOT/two\") "
                           "`touch \"$QD_ROOT/three\"` 'q'";
  StartReady({"-t", "60"});
  std::string objid;
  std::string id = Send(Stored(name, "cage 7 temp 61 limit 50\n", "9", &objid));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  for (const char* planted : {"/one", "/two", "/three"}) {
    EXPECT_NE(access(root_.under(planted).c_str(), F_OK), 0) << planted;
  }
  EXPECT_EQ(Analysis(objid), "CAGE7 HIGH_TEMP Drive Cage temperature is high\n|t|t\n");
  ASSERT_EQ(ForNotifier().size(), 1u);
  EXPECT_NE(QdwmShow(ForNotifier()[0]).find("Current high disk temperature in CAGE7 is 61C."),
            std::string::npos);
  Stop();
}

TEST_F(ConfigRun, NotifierUnknownToTheServiceGoesToTheSpoolWithAnAlert) {
  ASSERT_EQ(db_.exec("delete from wm.process where name = 'QDNOT'"), "");
  StartReady({"-t", "60"});
  std::string first = Send(Stored("cfg1", kHot, "1"));
  ASSERT_TRUE(Ended(first, "Deleted")) << Log();
  std::string second = Send(Stored("cfg2", kHot, "2"));
  ASSERT_TRUE(Ended(second, "Deleted")) << Log();

  // Looked up again for each request, and each time not found.
  EXPECT_EQ(Count("QDA0020 2 Message " + first +
                  ": no process id for 'QDNOT', rc=-100: Unknown process name"), 1) << Log();
  EXPECT_EQ(Count("QDA0020 2 Message " + second), 1);
  EXPECT_EQ(Count("QDA9999 A message for QDNOT/NIQ spooled as "), 2) << Log();
  // Both kept: the second's drain set the first aside for operators, as
  // the service has no QDNOT to deliver it to.
  EXPECT_EQ(Files("/var/spool/qd/wm", ".wm").size(), 2u);  // ".wm.bad" included
  EXPECT_EQ(Files("/var/spool/qd/wm", ".wm.bad").size(), 1u);
  std::string alerts = Alerts();
  EXPECT_NE(alerts.find("\"kind\":\"backdoor\",\"name\":\"qdAnalyze\""), std::string::npos)
      << alerts;
  EXPECT_NE(alerts.find("\"abstract\":\"qdAnalyze Unable to Send() NIQ message\""),
            std::string::npos);
  EXPECT_NE(alerts.find("Notify request for Zarvek Velmar 1234567 CONFIG file cannot be sent.\\n"
                        "CWorkMessages::GetUID() failed to translate 'QDNOT'\\n"
                        "Originating AIQ message is " + second),
            std::string::npos) << alerts;
  // The analysis itself is done, history included.
  EXPECT_EQ(Rows("select count(*) from qd_anal_history"), "2\n");
  EXPECT_EQ(Rows("select status from qd_txn_log order by objid::int"), "Done\nDone\n");
  Stop();
}

TEST_F(ConfigRun, ServiceLostDuringTheSendGoesToTheSpoolWithAnAlert) {
  // Every session that stores a notification request loses its server.
  ASSERT_EQ(db_.exec("create function wm.lose_session() returns trigger language plpgsql as $$ "
                     "begin perform pg_terminate_backend(pg_backend_pid()); return new; end $$; "
                     "create trigger lose_niq before insert on wm.message for each row "
                     "when (new.msgno = 2) execute function wm.lose_session()"), "");
  StartReady({"-t", "60"});
  std::string id = Send(Stored("cfg9", kHot));
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();

  EXPECT_EQ(Count("QDA0010 A Message " + id + ": SEND (to notify) failed, rc=-94, "), 1) << Log();
  EXPECT_EQ(Count("QDA9999 A message for QDNOT/NIQ spooled as "), 1) << Log();
  std::vector<std::string> spool = Files("/var/spool/qd/wm", ".wm");
  ASSERT_EQ(spool.size(), 1u);
  std::string entry = root_.read("/var/spool/qd/wm/" + spool[0]);
  EXPECT_NE(entry.find("target=QDNOT\nmessage=NIQ\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("length=5375\n"), std::string::npos);
  EXPECT_NE(Alerts().find("file cannot be sent.\\nCWorkMessages::Send() returned rc=-94\\n"
                          "Originating AIQ message is " + id),
            std::string::npos) << Alerts();
  EXPECT_EQ(Count("QDA0020"), 0);
  EXPECT_EQ(Rows("select status from qd_txn_log"), "Done\n");
  Stop();
}

}  // namespace
