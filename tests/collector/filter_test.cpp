// The filter rules, collections and dump fetches of the collector's worker,
// run in this process against a private work-message service and the
// stand-ins of the collection program and the dump fetcher: what is
// launched with which argument vector, which requests reach the analyzer
// and the transfer process, and when.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collector_root.h"
#include "daemon_run.h"
#include "dumps.h"
#include "event_file.h"
#include "event_process.h"
#include "ftp_request.h"
#include "alerts.h"
#include "qd_txn.h"
#include "spfilter.h"
#include "sw_update.h"
#include "temp_root.h"
#include "test_files.h"
#include "test_db.h"

namespace {

const char* const kSysid = "1400123";

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  std::strncpy(field, text.c_str(), N - 1);
  field[N - 1] = '\0';
}

// One request as the analyzer or the transfer process receives it.
struct Request {
  std::string filetype, seq, name;
};

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    ASSERT_FALSE(db_.name().empty()) << db_.error();
    db_.exportAsDefault();
    PrepareCollectorRoot(root_, db_.name());
    for (const char* prog : {"spcollect", "vqxdump", "Probex"}) Install(prog);
    st_.sysid = kSysid;
    st_.ipaddr = "127.0.0.1";
    st_.vqx_level = "2.3.1.0";
    st_.daemon = false;
    st_.wm = std::make_unique<CWorkMessages>(true);
    st_.own_uid = st_.wm->GetUID("SPEC", &st_.log_char);
    ASSERT_GT(st_.own_uid, 0) << st_.wm->szErrorMsg;
    st_.gdda = std::make_unique<CGDDA>();
    st_.log = std::make_unique<CLogMessage>("SPEC", nullptr, false);
    char level[64];
    st_.system_level = st_.gdda->GetSystemLevel(level);
    reader_ = std::make_unique<CWorkMessages>(true);
    qdan_ = reader_->GetUID("QDAN");
    spft_ = reader_->GetUID("SPFT");
    ASSERT_EQ(0, reader_->SetInput(qdan_, "AIQ"));
    ASSERT_EQ(0, reader_->SetInput(spft_, "TOQ"));
  }
  void TearDown() override {
    ChildKillAll(st_.filter.children, SIGKILL);
    PollUntil([&] { return ChildReapAll(st_.filter.children), st_.filter.children.entries.empty(); }, 10);
  }

  void Install(const char* prog) {
    const std::string to = std::string("/sp/prod/code/ruzi/bin/") + prog;
    root_.write(to, FileText(BuildPath(std::string("sim-bin/") + prog)));
    chmod(root_.under(to).c_str(), 0755);
  }
  void Rules(const std::string& lines) {
    root_.write(std::string("/sp/prod/control/appconf/") + kSysid + ".filt", "h1\nh2\nh3\n" + lines);
  }

  // An event of `type`, severity `sev`, with `text`, node 2, sequence 1234567.
  evtmon_t Event(const char* type, int sev, const std::string& text) {
    evtmon_t e;
    std::memset(&e, 0, sizeof e);
    e.node = 2;
    e.seq = 1234567 + seq_++;
    e.sev = sev;
    e.time = 1113560670;
    Put(e.type, type);
    Put(e.event_string, text);
    return e;
  }
  static void AddComp(evtmon_t& e, const char* name, const char* type, long long id) {
    evt_comp_t& c = e.comps.comp[e.comps.count++];
    Put(c.name, name);
    Put(c.type.type_name, type);
    c.type.id_specified = 1;
    c.type.id = id;
  }

  // Files the event as the worker does and runs the rules on it.
  int Filter(const evtmon_t& e) {
    std::string seq = FileSeq(e);
    char stamp[16];
    build_timestamp(stamp, e.time);
    name_ = std::string(stamp) + "." + seq;
    path_ = std::string("/sp/prod/data/files/") + kSysid + "/event/" + name_;
    root_.write(path_, "event file\n");
    return spfilter(st_, e, name_, path_, seq, e.time, e.time);
  }
  // Lets the collections end and their requests go.
  void Settle() {
    ASSERT_TRUE(PollUntil([&] {
      CollectorTick(st_, false);
      return st_.filter.children.entries.empty() && st_.filter.deferred.empty();
    }, 30));
  }

  std::vector<Request> Take(int proc) {
    std::vector<Request> out;
    for (;;) {
      char buf[2048];
      Message_Queue_ env{};
      env.nDepDataLength = sizeof buf;
      env.pDepData = buf;
      if (reader_->Receive(proc, 0, &env, false) != 0) break;
      (void)reader_->Delete(proc, env.nMessageID);
      if (proc == qdan_) {
        auto* f = reinterpret_cast<qd_Transaction_Format_2*>(buf);
        out.push_back({f->FileType, f->FileSeq, f->FileName});
      } else {
        auto* f = reinterpret_cast<FTPrequest*>(buf);
        out.push_back({f->FileType, f->FileSeq, f->FileName});
      }
    }
    return out;
  }
  // Argument vectors recorded by a stand-in, one JSON line each.
  std::vector<std::string> Calls(const char* prog) {
    std::vector<std::string> lines;
    std::istringstream in(root_.read(std::string("/var/log/qd/sim/") + prog + ".calls"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }

  TestDatabase db_;
  TempRoot root_;
  EvtmonState st_;
  std::unique_ptr<CWorkMessages> reader_;
  int qdan_ = 0, spft_ = 0;
  int seq_ = 0;
  std::string name_, path_;
};

TEST_F(FilterTest, WithoutRulesEveryEventIsAnalysedAndTransferredAndNothingRuns) {
  for (int sev : {-1, 0, 6}) {
    ASSERT_EQ(0, Filter(Event("evt_dskfail", sev, "disk gone")));
  }
  auto aiq = Take(qdan_), toq = Take(spft_);
  ASSERT_EQ(3u, aiq.size());
  ASSERT_EQ(3u, toq.size());
  EXPECT_EQ("2-234567", aiq[0].seq);
  EXPECT_EQ("event", toq[0].filetype);
  EXPECT_TRUE(Calls("spcollect").empty());
  EXPECT_NE(Log().find("Cannot read header in common filter file"), std::string::npos);
}

TEST_F(FilterTest, CommonRulesApplyWhenTheArrayHasNoneAndLevelAndSeverityGate) {
  root_.write("/sp/prod/control/appconf/common.filt",
              "h1\nh2\nh3\nevt_dskfail,3,0,17,0, , , , , ,2.3.1.0, , ;\n");
  // Severity 4 is past the threshold: nothing at all, not even analysis.
  ASSERT_EQ(0, Filter(Event("evt_dskfail", 4, "x")));
  EXPECT_TRUE(Take(qdan_).empty());
  ASSERT_EQ(0, Filter(Event("evt_dskfail", 3, "x")));
  Settle();
  ASSERT_EQ(1u, Calls("spcollect").size());
  EXPECT_NE(Calls("spcollect")[0].find("cli_shownet 1400123 127.0.0.1 2.3.1.0"), std::string::npos);
  ASSERT_EQ(1u, Take(qdan_).size());
  // A later level than the rule's: the rule is passed over, default analysis.
  FilterState fresh;
  st_.filter = std::move(fresh);
  st_.vqx_level = "2.3.1.1";
  ASSERT_EQ(0, Filter(Event("evt_dskfail", 6, "x")));
  EXPECT_EQ(1u, Calls("spcollect").size());
  EXPECT_EQ(1u, Take(qdan_).size());
  st_.filter = FilterState();
  st_.vqx_level = "2.2.9.9";
  ASSERT_EQ(0, Filter(Event("evt_dskfail", 2, "x")));
  Settle();
  EXPECT_EQ(2u, Calls("spcollect").size());
}

TEST_F(FilterTest, CollectAndRenameSendsThePlusNameAfterTheCollectionEndedAndSuppressesRepeats) {
  Rules("evt_jbod_jtype,6,0,14,0, , , , , , , , ;\n");
  root_.write("/etc/qd/sim/spcollect.conf", "delay = 0.3\noutput = ---------- showcage -d cage2 ----------\\nfan\\n\n");
  evtmon_t e = Event("evt_jbod_jtype", 2, "cage fan");
  AddComp(e, "cage2", "comp_hw_cage", 2);
  ASSERT_EQ(0, Filter(e));
  // Nothing is requested while the collection runs.
  EXPECT_TRUE(Take(qdan_).empty());
  ASSERT_EQ(1u, st_.filter.deferred.size());
  Settle();
  auto aiq = Take(qdan_);
  ASSERT_EQ(1u, aiq.size());
  EXPECT_EQ("2+234567", aiq[0].seq);
  EXPECT_EQ("/sp/prod/data/files/1400123/event/050415.102430.2+234567", aiq[0].name);
  EXPECT_EQ("event file\n---------- showcage -d cage2 ----------\nfan\n", root_.read(aiq[0].name));
  EXPECT_EQ(root_.read(path_), "");  // the "-" name is gone
  auto calls = Calls("spcollect");
  ASSERT_EQ(1u, calls.size());
  EXPECT_NE(calls[0].find("\"050415.102430.2+234567\", \"cli_showcage 1400123 127.0.0.1 2.3.1.0 "
                          "050415.102430.2+234567 cage2\""), std::string::npos) << calls[0];
  ASSERT_EQ(1u, Take(spft_).size());
  // The same cage again within the window: no collection, the file keeps its
  // name and is analysed at once.
  evtmon_t again = Event("evt_jbod_jtype", 2, "cage fan");
  AddComp(again, "cage2", "comp_hw_cage", 2);
  ASSERT_EQ(0, Filter(again));
  aiq = Take(qdan_);
  ASSERT_EQ(1u, aiq.size());
  EXPECT_EQ("2-234568", aiq[0].seq);
  EXPECT_EQ(1u, Calls("spcollect").size());
  EXPECT_NE(Log().find("cagecage2 proc suppressed"), std::string::npos);
  // A file sequence without "-" cannot be renamed: nothing is launched and
  // the event is still analysed under its name.
  st_.filter.procs.entries.clear();
  ASSERT_EQ(0, spfilter(st_, again, "odd", path_ + "x", "2x234568", again.time, again.time));
  aiq = Take(qdan_);
  ASSERT_EQ(1u, aiq.size());
  EXPECT_EQ("2x234568", aiq[0].seq);
  EXPECT_EQ(1u, Calls("spcollect").size());
  // Past the window it runs again.
  for (auto& p : st_.filter.procs.entries) p.last -= 301;
  ASSERT_EQ(0, Filter(again));
  Settle();
  EXPECT_EQ(2u, Calls("spcollect").size());
}

TEST_F(FilterTest, QuotedEventStringArrivesAsOneExactArgumentAndUnsafeValuesAreRefused) {
  Rules("evt_notify,6,0,92,0, , , , , , , ,cli_special;\n"
        "evt_ldsk_setfail,6,0,19,0, , , , , , , , ;\n"
        "evt_task_fail,0,0,9,0, , , , , , , ,cli_custom;\n");
  const std::string text = "x \"quoted\" $(reboot); `id` | rm -rf / && echo *";
  ASSERT_EQ(0, Filter(Event("evt_notify", 6, text)));
  Settle();
  auto calls = Calls("spcollect");
  ASSERT_EQ(1u, calls.size());
  const std::string want = "\"cli_special 1400123 127.0.0.1 2.3.1.0 050415.102430.2+234567 '" +
                           QdJsonEscape(text) + "'\"]";
  EXPECT_NE(calls[0].find(want), std::string::npos) << calls[0];
  EXPECT_EQ(1u, Take(qdan_).size());
  // A single quote cannot be carried inside the quotes: refused, still analysed.
  ASSERT_EQ(0, Filter(Event("evt_notify", 6, "it's")));
  EXPECT_EQ(1u, Calls("spcollect").size());
  EXPECT_EQ(1u, Take(qdan_).size());
  // A component name with a blank cannot be one word of the command line.
  evtmon_t ld = Event("evt_ldsk_setfail", 1, "ld failed");
  AddComp(ld, "ld 1; reboot", "comp_sw_ld", 4);
  ASSERT_EQ(0, Filter(ld));
  EXPECT_EQ(1u, Calls("spcollect").size());
  EXPECT_EQ(1u, Take(qdan_).size());
  EXPECT_NE(Log().find("value refused"), std::string::npos);
  // Action 9 ignores the severity threshold.
  ASSERT_EQ(0, Filter(Event("evt_task_fail", 6, "task 7 failed")));
  Settle();
  EXPECT_EQ(2u, Calls("spcollect").size());
  EXPECT_EQ(1u, Take(qdan_).size());
}

TEST_F(FilterTest, DumpFetchExitCodesCheckOffRelaunchAndWait) {
  Rules("evt_coredump,6,0,1,0, , , , , , , , ;\n");
  const std::string core = "COREDUMP: recovered files: /var/core/proc/saved/core.sysmgr.2677.Jun20-18:19:38 x";
  root_.write("/etc/qd/sim/vqxdump.conf", "exit = 245,1\ndelay = 0.2\ndir = /sp/prod/data/files/1400123/applcore\n"
                                          "files = core.sysmgr.2677.Jun20-18_19_38\n");
  evtmon_t e = Event("evt_coredump", 1, core);
  e.alert_id = 0;
  ASSERT_EQ(0, Filter(e));
  const std::string first = name_;
  // A second core request while the fetch runs waits, keeping the first id.
  ASSERT_EQ(0, Filter(Event("evt_coredump", 1, core)));
  ASSERT_EQ(0, Filter(Event("evt_coredump", 1, core)));
  EXPECT_EQ(1, st_.filter.reqcore);
  EXPECT_EQ(name_.substr(0, 14) + "2-234568", st_.filter.reqcoreFN);
  EXPECT_EQ(3u, Take(qdan_).size());  // each still analysed
  Settle();
  auto calls = Calls("vqxdump");
  // 245 asks for the fetch again: it joins the waiting request, whose id
  // stays the first waiting one; both run for all nodes, one at a time.
  ASSERT_EQ(3u, calls.size()) << Log();
  EXPECT_NE(calls[0].find("\"-I127.0.0.1\", \"core\", \"2\", \"" + first + "\""), std::string::npos);
  for (int i : {1, 2}) {
    EXPECT_NE(calls[i].find("\"core\", \"all\", \"" + name_.substr(0, 14) + "2-234568\""), std::string::npos) << calls[i];
  }
  EXPECT_NE(Log().find("cluster is unreachable"), std::string::npos);
  EXPECT_NE(Log().find("Number of dumps processed"), std::string::npos);
  // Checked off; alert id 0 is never acknowledged.
  EXPECT_EQ("", root_.read("/sp/prod/data/files/1400123/reqcore"));
  for (const auto& c : Calls("spcollect")) EXPECT_EQ(c.find("cli_ack_alert"), std::string::npos);
}

TEST_F(FilterTest, RequestWhoseDumpNeverArrivesIsDroppedAfterTheFourthCheckAndArrivalAcknowledges) {
  ASSERT_EQ(0, add_dumpreq(st_, 3, "core", "sysmgr.1.Jan01-00_00_00", 17));
  ASSERT_EQ(0, add_dumpreq(st_, 1, "core", "other.2.Jan01-00_00_00", 18));
  EXPECT_EQ(-1, add_dumpreq(st_, 1, "core", "../../etc/passwd", 19));
  const std::string req = "/sp/prod/data/files/1400123/reqcore";
  root_.write("/sp/prod/data/files/1400123/applcore/.keep", "");
  for (int check = 1; check <= 3; ++check) {
    ASSERT_EQ(0, del_dumpreq(st_, 3, "core"));
    EXPECT_NE(root_.read(req).find("3 sysmgr.1.Jan01-00_00_00 17 " + std::to_string(check + 1)), std::string::npos);
  }
  ASSERT_EQ(0, del_dumpreq(st_, 3, "core"));
  EXPECT_EQ("1 other.2.Jan01-00_00_00 18 1\n", root_.read(req));  // dropped; node 1 untouched
  root_.write("/sp/prod/data/files/1400123/applcore/core.other.2.Jan01-00_00_00", "");
  ASSERT_EQ(0, del_dumpreq(st_, 999, "core"));
  EXPECT_EQ("", root_.read(req));
  Settle();
  auto calls = Calls("spcollect");
  ASSERT_EQ(1u, calls.size());
  EXPECT_NE(calls[0].find("\"none\", \"cli_ack_alert 1400123 127.0.0.1 2.3.1.0 18\""), std::string::npos);
}

TEST_F(FilterTest, UpdateInProgressWritesTheUpdateLogAndSendsItOnce) {
  root_.write("/sp/prod/control/appconf/common.filt", "h1\nh2\nh3\n");
  ASSERT_EQ(0, Filter(Event("evt_software_update", 6, "Applying VQX software version 2.2.4.114")));
  std::string level;
  ASSERT_TRUE(st_.gdda->GetValue("SPEVT_NEW_VQX_LEVEL_1400123", level, st_.system_level));
  EXPECT_EQ("2.2.4.114", level);
  EXPECT_GT(st_.filter.sw_update_time, 0);
  (void)check_sw_update(st_, "Event id: 7 summary\n", time(nullptr));
  ASSERT_EQ(0, Filter(Event("evt_membership_chg", 6, "Meridian Cluster: Cluster Upgrade complete")));
  EXPECT_EQ(0, st_.filter.sw_update_time);
  auto toq = Take(spft_);
  int swupd = 0;
  std::string sent;
  for (const auto& r : toq) {
    if (r.seq == "swupd") {
      ++swupd;
      sent = r.name;
      EXPECT_EQ("evtlog", r.filetype);
    }
  }
  ASSERT_EQ(1, swupd);
  std::string text = root_.read(sent);
  EXPECT_EQ(0u, text.find("\n   Event Log file during Software Update\n")) << text;
  EXPECT_NE(text.find("Applying VQX software version 2.2.4.114"), std::string::npos);
  EXPECT_NE(text.find("Event id: 7 summary"), std::string::npos);
  EXPECT_NE(text.find("Cluster Upgrade complete"), std::string::npos);
  EXPECT_EQ("", root_.read(UpdateLogPath(st_)));
  // No update in progress: nothing more is written.
  (void)check_sw_update(st_, "later\n", time(nullptr));
  EXPECT_EQ("", root_.read(UpdateLogPath(st_)));
  // An update past its longest time is ended by the next event.
  ASSERT_TRUE(st_.gdda->SetValue("SPEVT_SW_UPDATE_TIME_1400123", std::to_string(time(nullptr) - 9000), st_.system_level));
  root_.write(UpdateLogPath(st_), "begun\n");
  (void)check_sw_update(st_, "late\n", time(nullptr));
  swupd = 0;
  for (const auto& r : Take(spft_)) swupd += r.seq == "swupd";
  EXPECT_EQ(1, swupd);
}

}  // namespace

namespace {

TEST_F(FilterTest, FetchThatKeepsFailingIsRelaunchedThreeTimesThenLeftAlone) {
  Rules("evt_coredump,6,0,1,0, , , , , , , , ;\n");
  root_.write("/etc/qd/sim/vqxdump.conf", "exit = 100\n");
  ASSERT_EQ(0, Filter(Event("evt_coredump", 1, "COREDUMP: recovered files: /a/core.p.1.Jan01-00:00:00 x")));
  Settle();
  EXPECT_EQ(1u + kMaxDumpRelaunches, Calls("vqxdump").size()) << Log();
  EXPECT_EQ(0, st_.filter.reqcore);
  EXPECT_NE(Log().find("not relaunched"), std::string::npos);
}

}  // namespace

namespace {

// Values taken from components and the event string reach the command line
// in the order and form each action gives them.
TEST_F(FilterTest, ComponentAndEventStringValuesFillTheCommandLines) {
  Rules("evt_multi,6,0,90,0,comp_hw_cage,comp_sw_ld,comp_hw_node, , , , ,cli_get_cagedata;\n"
        "evt_times,6,0,91,0,comp_hw_node, , , , , , ,cli_showsys_more;\n"
        "evt_disk,6,0,18,0, , , , , , , , ;\n"
        "evt_lesb,6,0,11,0, , , , , , , , ;\n");
  evtmon_t multi = Event("evt_multi", 1, "x");
  AddComp(multi, "ld7", "comp_sw_ld", 7);
  AddComp(multi, "cage3", "comp_hw_cage", 3);
  AddComp(multi, "node1", "comp_hw_node", 1);
  ASSERT_EQ(0, Filter(multi));
  evtmon_t times = Event("evt_times", 1, "x");
  AddComp(times, "node1", "comp_hw_node", 1);
  ASSERT_EQ(0, Filter(times));
  evtmon_t disk = Event("evt_disk", 1, "x");
  disk.msgcode = 0x30004;
  AddComp(disk, "disk", "comp_hw_disk", 0x2000001862FC0001LL);
  ASSERT_EQ(0, Filter(disk));
  ASSERT_EQ(0, Filter(Event("evt_lesb", 1, "link errors on port [1:2:3] now")));
  Settle();
  const std::string calls = root_.read("/var/log/qd/sim/spcollect.calls");
  EXPECT_NE(calls.find("cli_get_cagedata 1400123 127.0.0.1 2.3.1.0 050415.102430.2+234567 cage3@ld7@1\""),
            std::string::npos) << calls;
  EXPECT_NE(calls.find("cli_showsys_more 1400123 127.0.0.1 2.3.1.0 050415.102430.2+234568 "
                       "'Fri Apr 15 10:23:30 2005' 'Fri Apr 15 10:25:00 2005' 1\""), std::string::npos) << calls;
  EXPECT_NE(calls.find("cli_get_pddata 1400123 127.0.0.1 2.3.1.0 050415.102430.2+234569 2000001862FC0001 "
                       "'Fri Apr 15 09:54:30 2005' 'Fri Apr 15 10:25:00 2005' 30004\""), std::string::npos) << calls;
  EXPECT_NE(calls.find("cli_get_lesb 1400123 127.0.0.1 2.3.1.0 050415.102430.2+234570 1:2:3\""), std::string::npos)
      << calls;
  auto aiq = Take(qdan_);
  ASSERT_EQ(4u, aiq.size());
  for (const auto& r : aiq) EXPECT_NE(r.seq.find('+'), std::string::npos) << r.seq;
}

}  // namespace

namespace {

// The array-wide collection needs its cluster name, runs at most once an
// hour, holds dump fetches back while it runs, and its exit status is never
// read as a dump fetch's.
TEST_F(FilterTest, ArrayWideCollectionBlocksDumpFetchesWithoutBeingTakenForOne) {
  Rules("evt_probe,6,0,21,0, , , , , , , , ;\nevt_coredump,6,0,1,0, , , , , , , , ;\n");
  ASSERT_EQ(0, Filter(Event("evt_probe", 1, "x")));
  EXPECT_NE(Log().find("could not determine cluster name, cannot run Probex"), std::string::npos);
  root_.write("/etc/sysconfig/sp/cluster/other.conf", "NAME=other\nSERIALNO=999\n");
  root_.write("/etc/sysconfig/sp/cluster/clu7.conf", "NAME=clu7\nSERIALNO=\"1400123\"\n");
  root_.write("/etc/qd/sim/Probex.conf", "exit = 245\ndelay = 0.3\n");
  ASSERT_EQ(0, Filter(Event("evt_probe", 1, "x")));
  ASSERT_EQ(0, Filter(Event("evt_probe", 1, "x")));  // within the hour
  ASSERT_EQ(0, Filter(Event("evt_coredump", 1, "COREDUMP: recovered files: /a/core.p.1.Jan01-00:00:00 x")));
  EXPECT_EQ(1, st_.filter.reqcore);  // waits for the collection
  EXPECT_EQ(4u, Take(qdan_).size());
  Settle();
  auto probex = Calls("Probex");
  ASSERT_EQ(1u, probex.size());
  EXPECT_NE(probex[0].find("\"clu7\"]"), std::string::npos) << probex[0];
  auto fetches = Calls("vqxdump");
  ASSERT_EQ(1u, fetches.size()) << Log();
  EXPECT_NE(fetches[0].find("\"core\", \"all\""), std::string::npos);
  EXPECT_EQ(0, st_.filter.reqpanic);
}

}  // namespace
