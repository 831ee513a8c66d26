// QueueSend and the fallback spool's way back into the service: in order,
// exactly once, also with two drains at once or a drain that died half way.

#include <fstream>

#include "wm_fixture.h"
#include "wm_spool.h"

namespace {

using FallbackSpool = WmTest;

const char kUnreachable[] = "host=/nonexistent/socket/dir dbname=nothing";

std::vector<std::string> SpoolNames() {
  std::vector<std::string> names;
  std::string err;
  EXPECT_EQ(WmSpoolList(names, err), 0) << err;
  return names;
}

// Every message for QDAN, in delivery order, ending each.
std::vector<std::string> DrainQueue(CWorkMessages& wm) {
  std::vector<std::string> out;
  EXPECT_EQ(wm.SetInput(1, "AIQ"), 0);
  for (;;) {
    std::string got;
    Message_Queue_ env = {};
    if (ReceiveText(wm, "QDAN", 0, got, &env) != 0) break;
    out.push_back(got);
    EXPECT_EQ(wm.Delete(1, env.nMessageID), 0);
  }
  return out;
}

TEST_F(FallbackSpool, QueueSendSendsDirectlyWhenTheServiceIsThere) {
  std::string text;
  ASSERT_EQ(QueueSend("EVTMON", "QDAN", "AIQ", "direct", 6, text), QUEUESEND_SENT);
  EXPECT_NE(text.find("sent as work message"), std::string::npos) << text;
  EXPECT_TRUE(SpoolNames().empty());
  CWorkMessages wm(true);
  std::vector<WmMessageInfo> list;
  ASSERT_EQ(wm.ListMessages(1, list), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].sender, 0);  // "EVTMON" is no registered process
  EXPECT_EQ(DrainQueue(wm), std::vector<std::string>{"direct"});
}

TEST_F(FallbackSpool, SpooledMessagesGoOutInOrderBeforeTheNextSend) {
  WriteConnInfo(root_, kUnreachable);
  std::string text;
  ASSERT_EQ(QueueSend("EVTMON", "QDAN", "AIQ", "one", 3, text), QUEUESEND_SPOOLED);
  EXPECT_NE(text.find("spooled as " + root_.path() + "/var/spool/qd/wm/"), std::string::npos) << text;
  ASSERT_EQ(QueueSend("QDNOT", "QDAN", "AIQ", "two", 3, text), QUEUESEND_SPOOLED);
  ASSERT_EQ(QueueSend("QDNOT", "QDAN", "AIQ", std::string("t\0r\nee", 6).data(), 6, text),
            QUEUESEND_SPOOLED);
  ASSERT_EQ(SpoolNames().size(), 3u);
  WriteConnInfo(root_, db_.conninfo());
  // Any process's next successful Send sends the spool first.
  CWorkMessages wm(true);
  ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "four"), WM_QUEUED);
  EXPECT_TRUE(SpoolNames().empty());
  EXPECT_EQ(DrainQueue(wm),
            (std::vector<std::string>{"one", "two", std::string("t\0r\nee", 6), "four"}));
}

TEST_F(FallbackSpool, AnEntryStoredBeforeADrainDiedIsNotStoredTwice) {
  WriteConnInfo(root_, kUnreachable);
  std::string text;
  ASSERT_EQ(QueueSend("SPEC", "QDAN", "AIQ", "once", 4, text), QUEUESEND_SPOOLED);
  std::string name = SpoolNames().at(0);
  std::string path = root_.under("/var/spool/qd/wm/" + name);
  std::string copy = root_.read("/var/spool/qd/wm/" + name);
  WriteConnInfo(root_, db_.conninfo());
  CWorkMessages wm(true);
  WmDrainReport report;
  ASSERT_EQ(wm.DrainSpool(true, report), 0) << wm.szErrorMsg;
  EXPECT_EQ(report.sent, 1);
  // As if the drain had died after storing the message but before removing
  // the file: the entry is there again.
  root_.write("/var/spool/qd/wm/" + name, copy);
  ASSERT_EQ(wm.DrainSpool(true, report), 0);
  EXPECT_EQ(report.sent, 0);
  EXPECT_EQ(report.duplicates, 1);
  EXPECT_TRUE(SpoolNames().empty());
  // Even after the message itself was received and deleted.
  EXPECT_EQ(DrainQueue(wm), std::vector<std::string>{"once"});
  root_.write("/var/spool/qd/wm/" + name, copy);
  ASSERT_EQ(wm.DrainSpool(true, report), 0);
  EXPECT_EQ(report.duplicates, 1);
  EXPECT_TRUE(DrainQueue(wm).empty());
}

TEST_F(FallbackSpool, TwoDrainsAtOnceSendEachEntryOnceAndInOrder) {
  WriteConnInfo(root_, kUnreachable);
  const int kEntries = 150;
  for (int i = 0; i < kEntries; ++i) {
    std::string text, data = std::to_string(i);
    ASSERT_EQ(QueueSend("SPEC", "QDAN", "AIQ", data.data(), static_cast<long>(data.size()), text),
              QUEUESEND_SPOOLED);
  }
  WriteConnInfo(root_, db_.conninfo());
  auto drain = [] {
    CWorkMessages wm(true);
    WmDrainReport report;
    int rc = wm.DrainSpool(true, report);
    return rc == 0 ? 0 : 1;
  };
  pid_t a = Spawn(drain), b = Spawn(drain);
  EXPECT_EQ(Reap(a), 0);
  EXPECT_EQ(Reap(b), 0);
  EXPECT_TRUE(SpoolNames().empty());
  CWorkMessages wm(true);
  std::vector<std::string> got = DrainQueue(wm);
  ASSERT_EQ(got.size(), static_cast<size_t>(kEntries));
  for (int i = 0; i < kEntries; ++i) EXPECT_EQ(got[i], std::to_string(i));
}

TEST_F(FallbackSpool, UnreadableOrUnknownEntriesAreSetAsideNotLost) {
  WriteConnInfo(root_, kUnreachable);
  std::string text;
  ASSERT_EQ(QueueSend("SPEC", "NOSUCHPROC", "AIQ", "lost?", 5, text), QUEUESEND_SPOOLED);
  ASSERT_EQ(QueueSend("SPEC", "QDAN", "AIQ", "good", 4, text), QUEUESEND_SPOOLED);
  root_.write("/var/spool/qd/wm/000000000000.000000000-0000000001-000001.wm", "garbage");
  WriteConnInfo(root_, db_.conninfo());
  CWorkMessages wm(true);
  WmDrainReport report;
  ASSERT_EQ(wm.DrainSpool(true, report), 0) << wm.szErrorMsg;
  EXPECT_EQ(report.sent, 1);
  EXPECT_EQ(report.set_aside, 2);
  EXPECT_TRUE(SpoolNames().empty());
  EXPECT_EQ(root_.read("/var/spool/qd/wm/000000000000.000000000-0000000001-000001.wm.bad"), "garbage");
  EXPECT_EQ(DrainQueue(wm), std::vector<std::string>{"good"});
}

TEST_F(FallbackSpool, QueueSendRefusesWhatItCannotCarry) {
  std::string text;
  EXPECT_EQ(QueueSend("SPEC", "QDAN", "AIQ", nullptr, 5, text), QUEUESEND_FAILED);
  EXPECT_EQ(QueueSend("SPEC", "QD AN", "AIQ", "x", 1, text), QUEUESEND_FAILED);
  EXPECT_EQ(QueueSend(nullptr, "QDAN", "AIQ", "x", 1, text), QUEUESEND_FAILED);
  EXPECT_EQ(QueueSend("SPEC", "QDAN", "AIQ", "x", -1, text), QUEUESEND_FAILED);
  // The spool directory cannot be made: the caller learns the message is lost.
  WriteConnInfo(root_, kUnreachable);
  RemoveTree(root_.under("/var/spool/qd"));
  root_.write("/var/spool/qd", "a file where the directory belongs");
  EXPECT_EQ(QueueSend("SPEC", "QDAN", "AIQ", "x", 1, text), QUEUESEND_FAILED);
  EXPECT_NE(text.find("lost"), std::string::npos) << text;
}

}  // namespace

namespace {

// A sender that may be asked twice for the same message sends it under a
// key: directly or through the spool, the message is stored once.
TEST_F(FallbackSpool, AMessageSentUnderAKeyIsStoredOnceWhicheverWayItGoes) {
  CWorkMessages wm(true);
  Message_Queue_ env = {};
  env.nTargetUID = 1;
  env.nDepDataLength = 5;
  env.pDepData = const_cast<char*>("first");
  ASSERT_EQ(wm.SendOnce(2, "AIQ", &env, "K-1"), WM_QUEUED) << wm.szErrorMsg;
  int first = env.nMessageID;
  env.pDepData = const_cast<char*>("again");
  env.nMessageID = 0;
  EXPECT_EQ(wm.SendOnce(2, "AIQ", &env, "K-1"), WM_ALREADY_SENT);
  EXPECT_EQ(env.nMessageID, first);
  std::string text;
  EXPECT_EQ(QueueSend("QDNOT", "QDAN", "AIQ", "third", 5, text, "K-1"), QUEUESEND_SENT);
  EXPECT_NE(text.find("not sent again"), std::string::npos) << text;

  // Sent under a key, then spooled under it again while the service was
  // away: the drain drops the entry.
  env.pDepData = const_cast<char*>("direct");
  env.nDepDataLength = 6;
  ASSERT_EQ(wm.SendOnce(2, "AIQ", &env, "K-2"), WM_QUEUED) << wm.szErrorMsg;
  WriteConnInfo(root_, kUnreachable);
  ASSERT_EQ(QueueSend("QDNOT", "QDAN", "AIQ", "spooled", 7, text, "K-2"), QUEUESEND_SPOOLED);
  WriteConnInfo(root_, db_.conninfo());
  CWorkMessages drain(true);
  WmDrainReport report;
  ASSERT_EQ(drain.DrainSpool(true, report), 0);
  EXPECT_EQ(report.duplicates, 1);
  EXPECT_TRUE(SpoolNames().empty());

  EXPECT_EQ(DrainQueue(wm), (std::vector<std::string>{"first", "direct"}));
  EXPECT_EQ(wm.SendOnce(2, "AIQ", &env, "no spaces"), WM_SEND_FAILED);
}

}  // namespace
