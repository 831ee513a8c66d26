// qdNotify as a whole, before any user is told: what reaches the
// transaction log, the history and the grouping table, and how the
// messages end.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstring>

#include "notifier_fixture.h"

class NotifierDaemon : public NotifierRun {
 protected:
  std::vector<std::string> Statuses() const {
    return Rows("select status || '|' || coalesce(notify_id, '') from qd_txn_log "
                "order by objid::int");
  }
  std::vector<std::string> History() const {
    return Rows("select notified || '|' || abstract from qd_notify_history order by notify_date,"
                " notify_id");
  }
};

// ---- records that are not notifications -----------------------------------

// The stop record is shorter than any notification and still ends the
// notifier: logged "Done", deleted, exit 100.
TEST_F(NotifierDaemon, StopRecordEndsTheNotifierWith100) {
  StartReady();
  std::string id = Send({"TxnId=STP"}, 255);
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  EXPECT_EQ(ExitCode(Exit()), 100) << Log();
  EXPECT_EQ(Statuses(), std::vector<std::string>{"Done|no_id"});
  EXPECT_TRUE(Rows("select * from qd_notify_history").empty());
}

TEST_F(NotifierDaemon, ShortUnknownAndMalformedRecordsAreRejected) {
  StartReady();
  // One byte short of its declared format: nothing is logged.
  std::string shortid = Send({}, 6, 5374);
  ASSERT_TRUE(Ended(shortid, "Rejected")) << Log();
  EXPECT_EQ(Count("QDZ0040"), 1);
  EXPECT_TRUE(Statuses().empty());
  // A stop record cut short is no stop record.
  std::string shortstop = Send({"TxnId=STP"}, 255, 1404);
  ASSERT_TRUE(Ended(shortstop, "Rejected")) << Log();

  std::string kind = Send({"TxnId=XYZ"});
  ASSERT_TRUE(Ended(kind, "Rejected")) << Log();
  EXPECT_NE(Log().find("Unexpected transaction 'XYZ'"), std::string::npos) << Log();

  // 30 February: refused at once, not retried for twelve hours.
  std::string badtime = Send({}, 6, -1, [](QDTxn& t) { std::memcpy(t.f6.EventTimeLast.Mon, "02", 2); std::memcpy(t.f6.EventTimeLast.Day, "30", 2); });
  ASSERT_TRUE(Ended(badtime, "Rejected")) << Log();
  EXPECT_NE(Log().find("EventTimeLast"), std::string::npos);

  // A file request is a record, but no notification.
  std::string file = Send({"TxnId=FAR", "FDB_Objid=12"}, 2, 5038);
  ASSERT_TRUE(Ended(file, "Rejected")) << Log();

  EXPECT_EQ(Statuses(), (std::vector<std::string>{"Reject|no_id", "Reject|no_id"}))
      << "the bad kind is logged and rejected; the bad time and the file request are refused "
         "by the transaction log itself";
  EXPECT_TRUE(Rows("select * from qd_notify_history").empty());
  EXPECT_EQ(Count("Retry queued for"), 0);
}

// ---- product, installation and urgency -------------------------------------

TEST_F(NotifierDaemon, UnknownProductIsRejectedKnownOneGetsANotifyId) {
  StartReady();
  std::string unknown = Send({"prod.prod=Other"});
  ASSERT_TRUE(Ended(unknown, "Rejected")) << Log();
  EXPECT_NE(Log().find("No entry for vendor/prod 'Zarvek/Other'"), std::string::npos);
  std::string known = Send({});
  ASSERT_TRUE(Ended(known, "Deleted")) << Log();
  std::vector<std::string> st = Statuses();
  ASSERT_EQ(st.size(), 2u);
  EXPECT_EQ(st[0], "Reject|no_id");
  EXPECT_EQ(st[1].substr(0, 6), "Done|P") << "notify id: level letter and number";
  EXPECT_EQ(History(), std::vector<std::string>{"Y|(Major)Disk 7 failed"});
}

// Installation control 'N' takes the site its attributes name; a site
// number that does not exist falls back to site 1 on the SP only.
TEST_F(NotifierDaemon, InstallationSiteFallsBackToSiteOneOnTheSp) {
  ASSERT_EQ(Exec("update qd_prod_attr set install_site_number = '77' where product = 'Velmar'"),
            "");
  StartReady();
  std::string off = Send({});
  ASSERT_TRUE(Ended(off, "Retry queued for")) << Log();
  EXPECT_NE(Log().find("Installation site '77' of Zarvek Velmar not found"), std::string::npos);
  Send({"TxnId=STP"}, 255);
  ASSERT_EQ(ExitCode(Exit()), 100);

  WriteConf(true, {"LOCAL_NOTIFICATION = enabled"});
  StartReady();
  std::string on = Send({});
  ASSERT_TRUE(Ended(on, "Deleted")) << Log();
}

TEST_F(NotifierDaemon, InstalledProductsAreLookedUpUnderInstallationControl) {
  ASSERT_EQ(Exec("update qd_prod_attr set install_cntl = 'Y' where product = 'Velmar';"
                 "insert into qd_product (product_id, vendor, product, prod_id, site_id, model) "
                 "values (5, 'Zarvek', 'Velmar', '1234567', 1, 'V400')"),
            "");
  // One machine, one row: a second would make every lookup of it fail.
  EXPECT_NE(Exec("insert into qd_product (product_id, vendor, product, prod_id) "
                 "values (6, 'Zarvek', 'Velmar', '1234567')"),
            "");
  StartReady();
  std::string known = Send({});
  ASSERT_TRUE(Ended(known, "Deleted")) << Log();
  std::string unknown = Send({"prod.id=7654321"});
  ASSERT_TRUE(Ended(unknown, "Rejected")) << Log();
  EXPECT_NE(Log().find("No installed product Zarvek Velmar '7654321'"), std::string::npos);
}

TEST_F(NotifierDaemon, MaintenanceModeAndAgeLowerTheUrgency) {
  StartReady();
  std::string maint = Send({"TxnAttr1=128"});
  ASSERT_TRUE(Ended(maint, "Deleted")) << Log();
  EXPECT_EQ(Count("QDN0043"), 1);
  EXPECT_EQ(Count("QDN0032"), 0) << "the age rule is off by default";

  ASSERT_EQ(Exec("update qd_prod_attr set reset_urgency_low = 'Y', rul_window = 1"), "");
  std::string recent = Send({});
  ASSERT_TRUE(Ended(recent, "Deleted")) << Log();
  EXPECT_EQ(Count("QDN0032"), 0) << "an event of now is not old";
  std::string old = Send({"EventTimeLast=2020/01/01 00:00:00"});
  ASSERT_TRUE(Ended(old, "Deleted")) << Log();
  EXPECT_EQ(Count("QDN0032"), 1) << Log();
  // The age is measured in the site's zone when the event time is not
  // local: 14 hours ahead of the alert zone, a stamp of its wall clock now
  // is 14 hours old.
  ASSERT_EQ(Exec("update qd_site set timezone_name = 'Pacific/Kiritimati' where site_id = 1"), "");
  ASSERT_EQ(Exec("update qd_prod_attr set rul_window = 2"), "");
  std::string local = Send({"EventLocation=L"});
  ASSERT_TRUE(Ended(local, "Deleted")) << Log();
  EXPECT_EQ(Count("QDN0032"), 1);
  std::string site = Send({"EventLocation=S"});
  ASSERT_TRUE(Ended(site, "Deleted")) << Log();
  EXPECT_EQ(Count("QDN0032"), 2) << Log();
}

// ---- grouping and repeat suppression ----------------------------------------

TEST_F(NotifierDaemon, GroupedClassParksOneRowAndGoesOnAsSnr) {
  ASSERT_EQ(Exec("update qd_prod_attr set notification_grouping2 = 'Y'"), "");
  StartReady();
  std::string low = Send({"urgency=L", "notclass=2", "TxnAttr3=2"});
  ASSERT_TRUE(Ended(low, "Deleted")) << Log();
  std::string high = Send({"urgency=H", "notclass=2"});
  ASSERT_TRUE(Ended(high, "Deleted")) << Log();
  std::string other = Send({"urgency=L", "notclass=3"});
  ASSERT_TRUE(Ended(other, "Deleted")) << Log();
  // A class outside 0..5 has no grouping flag: never parked.
  std::string outside = Send({"urgency=L", "notclass=200"});
  ASSERT_TRUE(Ended(outside, "Deleted")) << Log();
  EXPECT_EQ(Rows("select notclass || '|' || status || '|' || forwarded_rap || '|' || counter "
                 "|| '|' || sp_prod_id || '|' || ap_prod_id from qd_grouped_not"),
            std::vector<std::string>{"2|W|Y|1|SP0042|1234567"});
  EXPECT_EQ(Count("QDN0036"), 1);
}

TEST_F(NotifierDaemon, RepeatSuppressionLimitThreeInSixtyMinutes) {
  ASSERT_EQ(Exec("update qd_prod_attr set repeat_suppression0 = 'Y', rs_limit0 = 3, "
                 "rs_window0 = 60"),
            "");
  StartReady();
  for (int i = 0; i < 5; ++i) {
    std::string id = Send({});
    ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  }
  // Another key and another machine count apart.
  std::string key = Send({"NotifyUnique=fan 2 failed"});
  ASSERT_TRUE(Ended(key, "Deleted")) << Log();
  std::string machine = Send({"prod.id=7654321"});
  ASSERT_TRUE(Ended(machine, "Deleted")) << Log();
  EXPECT_EQ(Rows("select notified from qd_notify_history where prod_id = '1234567' and "
                 "not_unique = 'disk 7 failed' order by notify_id::text"),
            (std::vector<std::string>{"Y", "Y", "Y", "N", "N"}));
  EXPECT_EQ(Rows("select count(*) from qd_notify_history where abstract like 'SUPPRESSED%'"),
            std::vector<std::string>{"0"})
      << "the history keeps the plain abstract";
  EXPECT_EQ(Rows("select count(*) from qd_notify_history where notified = 'Y'"),
            std::vector<std::string>{"5"});
  EXPECT_EQ(Count("QDN0039"), 2);
}

// A limit of 0 tells nobody, and no event of the run is the "first
// suppressed" one that would still be told.
TEST_F(NotifierDaemon, RepeatLimitZeroSuppressesEveryEvent) {
  ASSERT_EQ(Exec("update qd_prod_attr set repeat_suppression0 = 'Y', rs_limit0 = 0, "
                 "rs_window0 = 60"),
            "");
  StartReady();
  for (int i = 0; i < 2; ++i) {
    std::string id = Send({});
    ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  }
  EXPECT_EQ(Rows("select notified from qd_notify_history"),
            (std::vector<std::string>{"N", "N"}));
  EXPECT_EQ(Count("QDN0034"), 0) << "nobody is looked for";
}

// ---- the communications controller ------------------------------------------

TEST_F(NotifierDaemon, ControllerRegistrationAndItsRemoval) {
  WriteConf(true);
  StartController();
  StartReady();
  EXPECT_EQ(Count("AddSignal failed"), 0) << Log();
  std::string entries = root_.read("/var/lib/qd/sim/commctl.entries");
  EXPECT_EQ(entries, "1 " + std::to_string(daemon_.pid()) + " 10\n");
  Send({"TxnId=STP"}, 255);
  ASSERT_EQ(ExitCode(Exit()), 100) << Log();
  std::string calls = root_.read("/var/log/qd/sim/commctl.calls");
  EXPECT_NE(calls.find("\"request\": \"AddSignal\""), std::string::npos) << calls;
  EXPECT_NE(calls.find("\"request\": \"DeleteSignal\", \"entry\": 1"), std::string::npos) << calls;
  EXPECT_EQ(root_.read("/var/lib/qd/sim/commctl.entries"), "");
}

TEST_F(NotifierDaemon, ControllerErrorSilenceAndAbsence) {
  WriteConf(true);
  StartReady();
  EXPECT_TRUE(LogShows("AddSignal failed for BYSstate event: Communications Controller is not "
                       "active."))
      << Log();
  Send({"TxnId=STP"}, 255);
  ASSERT_EQ(ExitCode(Exit()), 100);

  root_.write("/etc/qd/sim/commctl.conf", "answer = error\ntext = link table locked\n");
  StartController();
  StartReady();
  EXPECT_TRUE(LogShows("AddSignal failed for BYSstate event: link table locked")) << Log();
  Send({"TxnId=STP"}, 255);
  ASSERT_EQ(ExitCode(Exit()), 100);

  root_.write("/etc/qd/sim/commctl.conf", "answer = none\n");
  StartReady();
  EXPECT_TRUE(LogShows("AddSignal failed for BYSstate event: Timeout waiting for Communications "
                       "Controller response."))
      << Log();
}

// ---- configuration -------------------------------------------------------------

TEST_F(NotifierDaemon, StartUpLinesAndTheForegroundStatementTrace) {
  StartReady();
  EXPECT_NE(Log().find("RAP timezone 'UTC', email 'rap-central@alerts.invalid'"),
            std::string::npos)
      << Log();
  EXPECT_EQ(Count("Running on SP="), 0);
  std::vector<std::string> traces;
  ASSERT_TRUE(PollUntil(
      [&] {
        std::string dir = root_.under("/usr/local/qd/dump/qdNotify");
        traces.clear();
        if (DIR* d = opendir(dir.c_str())) {
          while (struct dirent* e = readdir(d)) {
            if (std::string(e->d_name).rfind("PGsql.log.", 0) == 0) traces.push_back(e->d_name);
          }
          closedir(d);
        }
        return !traces.empty();
      },
      kNotifierPatience));
  EXPECT_EQ(traces.size(), 1u);
}

// On the SP the alert zone is the one /etc/localtime links to, also when
// the link is relative, as current systems write it.
TEST_F(NotifierDaemon, SpTakesItsZoneFromARelativeLocaltimeLink) {
  WriteConf(true, {"RAP_FORWARDING = Y", "EMAIL.FROM_ID = sp42@site.example"});
  ASSERT_EQ(::symlink("../usr/share/zoneinfo/Europe/Paris",
                      root_.under("/etc/localtime").c_str()),
            0);
  StartReady();
  EXPECT_NE(Log().find("RAP timezone 'Europe/Paris', email 'sp42@site.example'"),
            std::string::npos)
      << Log();
  EXPECT_NE(Log().find("Running on SP=SP0042"), std::string::npos);
  EXPECT_NE(Log().find("Local RAP forwarding to local-rap@alerts.invalid"), std::string::npos);
}
