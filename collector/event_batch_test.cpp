// Filing kept events as one batch: nothing is filed or stored while the
// batch is open; afterwards every file is in place, each request is out,
// and the stored last event time is the newest event filed, never one whose
// file failed; an unchanged time is not written again.
#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "event_file.h"
#include "event_process.h"
#include "temp_root.h"

namespace {

const char* const kEventDir = "/sp/prod/data/files/1400123/event";

struct Batch : ::testing::Test {
  TempRoot root;
  EvtmonState st;

  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    root.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\n");
    st.sysid = "1400123";
    st.vqx_level = "2.3.1.45";
    st.key_last_evt_time = "SPEVT_Last.Evt.Time_1400123";
    st.key_last_node_seq = "SPEVT_Last.Node.Seq_1400123";
    st.gdda = std::make_unique<CGDDA>();
    ASSERT_EQ(st.gdda->CreateError, 0) << st.gdda->szErrorMsg;
  }

  void Event(int node, long seq, long when) {
    evtmon_t e;
    init_evtmon(&e);
    e.node = node;
    e.seq = seq;
    e.time = when;
    e.class_mask = 1u << kEvtClassAlert;
    std::strcpy(e.type, "evt_batch");
    process_event(st, e, "<Event><Node>0</Node></Event>");
  }

  std::string FileName(int node, long seq, long when) {
    char stamp[16];
    build_timestamp(stamp, static_cast<time_t>(when));
    return std::string(stamp) + "." + std::to_string(node) + "-" + std::to_string(seq);
  }

  int Count(const std::string& rel) {
    DIR* d = opendir(root.under(rel).c_str());
    if (!d) return 0;
    int n = 0;
    while (dirent* ent = readdir(d)) n += ent->d_name[0] != '.';
    closedir(d);
    return n;
  }

  long StoredTime() {
    long t = -1;
    CGDDA fresh;
    return fresh.GetValue(st.key_last_evt_time.c_str(), t, GDDA_PROD) ? t : -1;
  }

  std::string StoredSeq() {
    std::string seq;
    CGDDA fresh;
    return fresh.GetValue(st.key_last_node_seq.c_str(), seq, GDDA_PROD) ? seq : "";
  }
};

TEST_F(Batch, OpenBatchLeavesNothingBehindAndItsFlushStoresTheNewestFiledTime) {
  Event(1, 10, 1113560100);
  Event(1, 11, 1113560300);
  Event(2, 12, 1113560200);
  // Read but not yet filed: no file, no request, no stored time.
  EXPECT_EQ(Count(kEventDir), 0);
  EXPECT_EQ(Count("/var/spool/qd/wm"), 0);
  EXPECT_EQ(StoredTime(), -1);
  EXPECT_EQ(st.last_event_time, 0);

  FlushEvents(st);
  EXPECT_TRUE(st.pending.empty());
  EXPECT_EQ(Count(kEventDir), 3);  // no temporary file left
  EXPECT_EQ(st.events_filed, 3);
  EXPECT_EQ(Count("/var/spool/qd/wm"), 3);  // each request out (spooled here)
  EXPECT_EQ(StoredTime(), 1113560300);
  EXPECT_EQ(StoredSeq(), "1-11");
}

TEST_F(Batch, EventThatCannotBeFiledGetsNoRequestAndDoesNotMoveTheStoredTime) {
  // A directory in the place of the newest event's file makes its rename fail.
  root.write(std::string(kEventDir) + "/" + FileName(1, 21, 1113560900) + "/x", "");
  Event(1, 20, 1113560500);
  Event(1, 21, 1113560900);
  Event(1, 22, 1113560700);
  FlushEvents(st);
  EXPECT_EQ(st.events_filed, 2);
  EXPECT_EQ(Count("/var/spool/qd/wm"), 2);
  EXPECT_EQ(StoredTime(), 1113560700);
  EXPECT_EQ(StoredSeq(), "1-22");
  EXPECT_NE(access(root.under(std::string(kEventDir) + "/" + FileName(1, 21, 1113560900) + "." +
                             std::to_string(getpid()) + ".tmp").c_str(), F_OK), 0);
}

TEST_F(Batch, TimeNotNewerIsNotWrittenAgain) {
  Event(1, 30, 1113561000);
  FlushEvents(st);
  ASSERT_EQ(StoredTime(), 1113561000);
  struct stat before;
  ASSERT_EQ(stat(root.under("/var/lib/qd/gdda.state").c_str(), &before), 0);
  Event(1, 32, 1113560000);  // older
  FlushEvents(st);
  struct stat after;
  ASSERT_EQ(stat(root.under("/var/lib/qd/gdda.state").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // each write replaces the file
  EXPECT_EQ(StoredSeq(), "1-30");
  // An event of the same second moves the node-sequence on (a restart
  // then does not file it again), the time stays.
  Event(1, 31, 1113561000);
  FlushEvents(st);
  EXPECT_EQ(st.events_filed, 3);
  EXPECT_EQ(StoredTime(), 1113561000);
  EXPECT_EQ(StoredSeq(), "1-31");
}

TEST_F(Batch, TemporaryFilesOfEndedWorkersAreRemovedOthersKept) {
  pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string dir = std::string(kEventDir) + "/";
  root.write(dir + "050415.102030.1-20." + std::to_string(ended) + ".tmp", "part");
  root.write(dir + "050415.102030.1-21." + std::to_string(getpid()) + ".tmp", "mine");
  root.write(dir + "050415.102030.1-22", "filed");
  root.write(dir + "notes.tmp", "not a temporary event file");
  EXPECT_EQ(RemoveStaleTempFiles(st), 1);
  EXPECT_EQ(root.read(dir + "050415.102030.1-20." + std::to_string(ended) + ".tmp"), "");
  EXPECT_EQ(root.read(dir + "050415.102030.1-21." + std::to_string(getpid()) + ".tmp"), "mine");
  EXPECT_EQ(root.read(dir + "050415.102030.1-22"), "filed");
  EXPECT_EQ(root.read(dir + "notes.tmp"), "not a temporary event file");
}

}  // namespace
