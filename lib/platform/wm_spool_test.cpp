#include "wm_spool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "temp_root.h"

namespace {

WmSpoolEntry Sample() {
  WmSpoolEntry e;
  e.key = "000000000001.000000002-0000000003-000004-00ff00ff00ff00ff";
  e.sender = "EVTMON";
  e.target = "QDAN";
  e.msgname = "AIQ";
  e.time_sent = 1700000000;
  e.data = std::string("bin\0ary\nkey=x\n\n", 15);
  return e;
}

TEST(WmSpool, EntryRoundTripsAndEveryDamageIsRefused) {
  WmSpoolEntry in = Sample(), out;
  std::string content = WmSpoolEncode(in), err;
  ASSERT_EQ(WmSpoolDecode(content, out, err), 0) << err;
  EXPECT_EQ(out.key, in.key);
  EXPECT_EQ(out.sender, "EVTMON");
  EXPECT_EQ(out.target, "QDAN");
  EXPECT_EQ(out.msgname, "AIQ");
  EXPECT_EQ(out.time_sent, 1700000000);
  EXPECT_EQ(out.data, in.data);

  // One data byte missing or extra: the length no longer matches.
  EXPECT_EQ(WmSpoolDecode(content.substr(0, content.size() - 1), out, err), -1);
  EXPECT_NE(err.find("14 data bytes"), std::string::npos) << err;
  EXPECT_EQ(WmSpoolDecode(content + "x", out, err), -1);
  // Every heading line matters.
  const char* damages[][2] = {
      {"QDWM SPOOL 1", "QDWM SPOOL 2"}, {"key=", "kee="},        {"sender=EVTMON", "sender=EVT MON"},
      {"target=QDAN", "target="},       {"sent=17", "sent=x7"},  {"length=15", "length=-15"},
      {"length=15\n\n", "length=15\n"}, {"message=AIQ\n", ""},
  };
  for (const auto& d : damages) {
    std::string bad = content;
    bad.replace(bad.find(d[0]), strlen(d[0]), d[1]);
    EXPECT_EQ(WmSpoolDecode(bad, out, err), -1) << d[0] << " -> " << d[1];
  }
  EXPECT_EQ(WmSpoolDecode("", out, err), -1);
  // A refused decode leaves the entry as it was.
  EXPECT_EQ(out.data, in.data);
}

TEST(WmSpool, NamesTheSpoolCanCarry) {
  EXPECT_TRUE(WmSpoolNameValid("QDAN"));
  EXPECT_TRUE(WmSpoolNameValid("evt_mon9"));
  EXPECT_TRUE(WmSpoolNameValid(std::string(32, 'A')));
  EXPECT_FALSE(WmSpoolNameValid(std::string(33, 'A')));
  EXPECT_FALSE(WmSpoolNameValid(""));
  EXPECT_FALSE(WmSpoolNameValid("QD AN"));
  EXPECT_FALSE(WmSpoolNameValid("../x"));
  EXPECT_FALSE(WmSpoolNameValid("A\nB"));
}

TEST(WmSpool, EntriesAreListedInWritingOrderAndOnlyWholeOnes) {
  TempRoot root;
  RemoveTree(root.under("/var/spool/qd"));  // made on demand
  std::vector<std::string> names, paths;
  std::string err;
  ASSERT_EQ(WmSpoolList(names, err), 0);
  EXPECT_TRUE(names.empty());
  for (int i = 0; i < 5; ++i) {
    WmSpoolEntry e = Sample();
    e.data = std::to_string(i);
    std::string path;
    ASSERT_EQ(WmSpoolWrite(e, path, err), 0) << err;
    paths.push_back(path);
  }
  // Leftovers that are not entries: a temporary file, a set-aside entry.
  root.write("/var/spool/qd/wm/.tmp-1-1", "half");
  root.write("/var/spool/qd/wm/000000000000.000000000-0000000001-000001.wm.bad", "bad");
  ASSERT_EQ(WmSpoolList(names, err), 0);
  ASSERT_EQ(names.size(), 5u);
  std::set<std::string> keys;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(root.under("/var/spool/qd/wm/") + names[i], paths[i]);
    WmSpoolEntry e;
    ASSERT_EQ(WmSpoolRead(names[i], e, err), 0) << err;
    EXPECT_EQ(e.data, std::to_string(i));
    keys.insert(e.key);
  }
  EXPECT_EQ(keys.size(), 5u);  // every entry its own key

  ASSERT_EQ(WmSpoolSetAside(names[0], err), 0);
  ASSERT_EQ(WmSpoolRemove(names[1], err), 0);
  ASSERT_EQ(WmSpoolRemove(names[1], err), 0);  // already gone: quiet
  WmSpoolEntry e;
  EXPECT_EQ(WmSpoolRead(names[1], e, err), 1);
  ASSERT_EQ(WmSpoolList(names, err), 0);
  EXPECT_EQ(names.size(), 3u);
  root.write("/var/spool/qd/wm/" + names[0], "QDWM SPOOL 1\ntruncated");
  EXPECT_EQ(WmSpoolRead(names[0], e, err), -1);
  EXPECT_NE(err.find(names[0]), std::string::npos);
}

TEST(WmSpool, TemporaryFilesOfDeadWritersAreSweptOthersKept) {
  TempRoot root;
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  root.write("/var/spool/qd/wm/.tmp-" + std::to_string(dead) + "-1", "x");
  root.write("/var/spool/qd/wm/.tmp-" + std::to_string(getpid()) + "-1", "mine");
  EXPECT_EQ(WmSpoolSweepTemps(), 1);
  EXPECT_EQ(root.read("/var/spool/qd/wm/.tmp-" + std::to_string(getpid()) + "-1"), "mine");
}

TEST(WmSpool, OnlyOneDrainHoldsTheLock) {
  TempRoot root;
  std::string err;
  WmSpoolLock first, second;
  ASSERT_EQ(first.Acquire(false, err), 0) << err;
  EXPECT_EQ(second.Acquire(false, err), 1);
  first.Release();
  EXPECT_EQ(second.Acquire(false, err), 0);
}

}  // namespace
