// The work-message service's contract, call by call, against a fresh
// database.

#include <algorithm>

#include "wm_fixture.h"

namespace {

using WorkMessages = WmTest;

std::vector<WmMessageInfo> Listed(CWorkMessages& wm, int procid = 0) {
  std::vector<WmMessageInfo> out;
  EXPECT_EQ(wm.ListMessages(procid, out), 0) << wm.szErrorMsg;
  return out;
}

int StateOf(CWorkMessages& wm, int id) {
  for (const auto& m : Listed(wm)) {
    if (m.id == id) return m.state;
  }
  return 0;
}

TEST_F(WorkMessages, NamesTranslateToRegisteredNumbersAndUnknownNamesAreRefused) {
  CWorkMessages wm(true);
  ASSERT_EQ(wm.nLastError, 0) << wm.szErrorMsg;
  char logchar = 0;
  EXPECT_EQ(wm.GetUID("QDAN", &logchar), 1);
  EXPECT_EQ(logchar, 'A');
  EXPECT_GE(wm.GetUID("SPCM", &logchar), 1);
  EXPECT_EQ(logchar, 'M');
  EXPECT_EQ(wm.GetUID("NOSUCH"), WM_UNKNOWN_NAME);
  EXPECT_STREQ(wm.szErrorMsg, "Unknown process name 'NOSUCH'");
  EXPECT_EQ(wm.GetUID(""), WM_UNKNOWN_NAME);
  EXPECT_GE(wm.Translate("CCR"), 1);
  EXPECT_EQ(wm.nLastError, 0);
  EXPECT_EQ(wm.Translate("XYZ"), WM_UNKNOWN_NAME);
  // A name registered while the process runs is found without a restart.
  ASSERT_EQ(db_.exec("insert into wm.process values (99, 'NEWP', 'W', null)"), "");
  EXPECT_EQ(wm.GetUID("NEWP", &logchar), 99);
  EXPECT_EQ(logchar, 'W');
}

TEST_F(WorkMessages, SendIsQueuedWithoutReceiverAndSubmittedWithOne) {
  CWorkMessages sender(true), receiver(true);
  int id1 = 0, id2 = 0;
  EXPECT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "first", &id1), WM_QUEUED);
  EXPECT_NE(std::string(sender.szErrorMsg).find("QDAN/AIQ"), std::string::npos);
  EXPECT_EQ(StateOf(sender, id1), WQCF_Pending);
  ASSERT_EQ(receiver.SetInput(1, "AIQ"), 0) << receiver.szErrorMsg;
  Message_Queue_ env = {};
  char data[] = "second";
  env.nTargetUID = 1;
  env.nDepDataLength = sizeof data;
  env.pDepData = data;
  env.nUserFlags = 7;
  time_t before = time(nullptr);
  EXPECT_EQ(sender.Send(5, "AIQ", &env, false), WM_OK) << sender.szErrorMsg;
  id2 = env.nMessageID;
  EXPECT_GT(id2, id1);
  EXPECT_EQ(env.nSenderUID, 5);
  EXPECT_EQ(env.nMsgNo, receiver.Translate("AIQ"));
  EXPECT_GE(env.nTimePosted, before - 1);
  EXPECT_GE(env.nTimeSent, before - 1);

  // The pending message is delivered like an available one, oldest first;
  // the envelope comes back whole.
  std::string got;
  Message_Queue_ in = {};
  int state = 0;
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, &in, false, &state), 0) << receiver.szErrorMsg;
  EXPECT_EQ(got, "first");
  EXPECT_EQ(in.nMessageID, id1);
  EXPECT_EQ(state, WQCF_Pending);
  EXPECT_EQ(receiver.Delete(1, id1), 0);
  in = Message_Queue_();
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, &in, false, &state), 0);
  EXPECT_EQ(got, std::string(data, sizeof data));
  EXPECT_EQ(in.nMessageID, id2);
  EXPECT_EQ(in.nSenderUID, 5);
  EXPECT_EQ(in.nTargetUID, 1);
  EXPECT_EQ(in.nUserFlags, 7);
  EXPECT_EQ(in.nTimePosted, env.nTimePosted);
  EXPECT_EQ(in.nTimeRetry, 0);
  EXPECT_EQ(state, WQCF_Available);
  EXPECT_EQ(receiver.Delete(1, id2), 0);
  EXPECT_TRUE(Listed(receiver).empty());
  EXPECT_EQ(ReceiveText(receiver, "QDAN", 0, got), WM_NOTHING);
}

TEST_F(WorkMessages, SendFailuresSay94WithTheReasonAndStoreNothing) {
  CWorkMessages wm(true);
  EXPECT_EQ(SendText(wm, "SPEC", "QDAN", "NOPE", "x"), WM_SEND_FAILED);
  EXPECT_STREQ(wm.szErrorMsg, "Unknown message name 'NOPE'");
  Message_Queue_ env = {};
  env.nTargetUID = 4242;
  EXPECT_EQ(wm.Send(5, "AIQ", &env, false), WM_SEND_FAILED);
  EXPECT_NE(std::string(wm.szErrorMsg).find("target"), std::string::npos);
  env.nTargetUID = 1;
  EXPECT_EQ(wm.Send(4242, "AIQ", &env, false), WM_SEND_FAILED);
  env.nDepDataLength = 10;  // no buffer
  EXPECT_EQ(wm.Send(5, "AIQ", &env, false), WM_SEND_FAILED);
  env.nDepDataLength = -1;
  EXPECT_EQ(wm.Send(5, "AIQ", &env, false), WM_SEND_FAILED);
  EXPECT_EQ(wm.Send(5, "AIQ", nullptr, false), WM_SEND_FAILED);
  EXPECT_TRUE(Listed(wm).empty());
}

TEST_F(WorkMessages, UnreachableServiceFailsEveryCallWithItsReason) {
  WriteConnInfo(root_, "host=/nonexistent/socket/dir dbname=nothing connect_timeout=2");
  CWorkMessages wm(true);
  EXPECT_EQ(wm.nLastError, WM_UNREACHABLE);
  EXPECT_NE(std::string(wm.szErrorMsg).find("cannot reach"), std::string::npos) << wm.szErrorMsg;
  EXPECT_EQ(wm.GetUID("QDAN"), WM_UNREACHABLE);
  EXPECT_EQ(wm.SetInput(1, "AIQ"), WM_UNREACHABLE);
  Message_Queue_ env = {};
  env.nTargetUID = 1;
  EXPECT_EQ(wm.Send(5, "AIQ", &env, false), WM_SEND_FAILED);
  // Once the service is there again the same object works.
  WriteConnInfo(root_, db_.conninfo());
  EXPECT_EQ(wm.GetUID("QDAN"), 1);
}

TEST_F(WorkMessages, ReceiveTakesOnlyRegisteredNamesAndNeedsARegistration) {
  CWorkMessages sender(true), receiver(true);
  std::string got;
  EXPECT_EQ(ReceiveText(receiver, "QDNOT", 0, got), WM_IMPOSSIBLE);
  EXPECT_EQ(receiver.SetInput(2, "ALLQ"), WM_BAD_ARGUMENT);
  EXPECT_EQ(receiver.SetInput(2, "NOSUCH"), WM_UNKNOWN_NAME);
  EXPECT_EQ(receiver.SetInput(4242, "NIQ"), WM_BAD_ARGUMENT);
  int msgno = 0;
  ASSERT_EQ(receiver.SetInput(2, "NIQ", &msgno), 0);
  EXPECT_EQ(msgno, receiver.Translate("NIQ"));
  ASSERT_EQ(receiver.SetInput(2, "NIQ"), 0);  // twice is harmless
  ASSERT_EQ(SendText(sender, "QDAN", "QDNOT", "CCR", "not registered"), WM_QUEUED);
  ASSERT_EQ(SendText(sender, "QDAN", "QDNOT", "NIQ", "registered"), WM_OK);
  ASSERT_EQ(SendText(sender, "QDAN", "QDAN", "NIQ", "other process"), WM_QUEUED);
  ASSERT_EQ(ReceiveText(receiver, "QDNOT", 0, got), 0);
  EXPECT_EQ(got, "registered");
  // Ending the registration: nothing more is received, new sends queue.
  ASSERT_EQ(receiver.UnsetInput(2, "ALLQ"), 0);
  EXPECT_EQ(ReceiveText(receiver, "QDNOT", 0, got), WM_IMPOSSIBLE);
  EXPECT_EQ(SendText(sender, "QDAN", "QDNOT", "NIQ", "after"), WM_QUEUED);
}

TEST_F(WorkMessages, ReceiveByMsgLimitsToTheNumberRange) {
  CWorkMessages sender(true), receiver(true);
  int niq = receiver.Translate("NIQ"), ccr = receiver.Translate("CCR");
  ASSERT_EQ(receiver.SetInput(2, "NIQ"), 0);
  ASSERT_EQ(receiver.SetInput(2, "CCR"), 0);
  ASSERT_EQ(SendText(sender, "SPCM", "QDNOT", "NIQ", "request"), WM_OK);
  ASSERT_EQ(SendText(sender, "SPCM", "QDNOT", "CCR", "response"), WM_OK);
  char buf[64];
  Message_Queue_ env = {};
  env.pDepData = buf;
  env.nDepDataLength = sizeof buf;
  ASSERT_EQ(receiver.ReceiveByMsg(2, 0, &env, ccr, ccr, false), 0) << receiver.szErrorMsg;
  EXPECT_EQ(std::string(buf, env.nDepDataLength), "response");
  EXPECT_EQ(receiver.Delete(2, env.nMessageID), 0);
  env.nDepDataLength = sizeof buf;
  EXPECT_EQ(receiver.ReceiveByMsg(2, 0, &env, ccr, ccr, false), WM_NOTHING);
  EXPECT_EQ(receiver.ReceiveByMsg(2, 0, &env, 1000, 2000, false), WM_IMPOSSIBLE);
  env.nDepDataLength = sizeof buf;
  ASSERT_EQ(receiver.ReceiveByMsg(2, 0, &env, std::min(niq, ccr), std::max(niq, ccr), false), 0);
  EXPECT_EQ(std::string(buf, env.nDepDataLength), "request");
}

TEST_F(WorkMessages, DataLongerThanTheBufferIsRefusedHeldAndCanBeRejected) {
  CWorkMessages sender(true), receiver(true);
  ASSERT_EQ(receiver.SetInput(1, "AIQ"), 0);
  std::string big(100, 'b');
  int id = 0;
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", big, &id), WM_OK);
  char buf[99];
  Message_Queue_ env = {};
  env.pDepData = buf;
  env.nDepDataLength = sizeof buf;
  ASSERT_EQ(receiver.Receive(1, 0, &env, false), WM_REFUSED);
  EXPECT_EQ(env.nMessageID, id);
  EXPECT_EQ(env.nDepDataLength, 100);
  // Held: nobody else gets it meanwhile.
  CWorkMessages other(true);
  ASSERT_EQ(other.SetInput(1, "AIQ"), 0);
  std::string got;
  EXPECT_EQ(ReceiveText(other, "QDAN", 0, got), WM_NOTHING);
  EXPECT_EQ(StateOf(sender, id), WQCF_Received);
  ASSERT_EQ(receiver.Reject(1, id), 0) << receiver.szErrorMsg;
  EXPECT_EQ(StateOf(sender, id), WQCF_Rejected);
  // Rejected messages are never delivered again by themselves.
  EXPECT_EQ(ReceiveText(other, "QDAN", 0, got), WM_NOTHING);
  EXPECT_EQ(ReceiveText(other, "QDAN", 0, got, nullptr, true), WM_RETRY_CYCLE_DONE);
  // An exactly fitting buffer is enough.
  env.nDepDataLength = 100;
  char exact[100];
  env.pDepData = exact;
  ASSERT_EQ(sender.Requeue(id), 0) << sender.szErrorMsg;
  EXPECT_EQ(receiver.Receive(1, 0, &env, false), WM_OK);
  EXPECT_EQ(std::string(exact, 100), big);
}

TEST_F(WorkMessages, RetriedMessagesWaitForTheRetryCycleOldestFirst) {
  CWorkMessages sender(true), receiver(true);
  ASSERT_EQ(receiver.SetInput(1, "AIQ"), 0);
  int a = 0, b = 0, c = 0;
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "a", &a), WM_OK);
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "b", &b), WM_OK);
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "c", &c), WM_OK);
  std::string got;
  Message_Queue_ env = {};
  // Nothing is kept for retry yet.
  EXPECT_EQ(ReceiveText(receiver, "QDAN", 0, got, nullptr, true), WM_RETRY_CYCLE_DONE);
  time_t before = time(nullptr);
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, &env), 0);
  ASSERT_EQ(receiver.Retry(1, env.nMessageID, false, 0), 0) << receiver.szErrorMsg;
  env = Message_Queue_();
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, &env), 0);
  EXPECT_EQ(got, "b");
  ASSERT_EQ(receiver.Retry(1, b, true, 3600), 0);  // not due for an hour
  EXPECT_EQ(StateOf(sender, a), WQCF_Retry);
  EXPECT_EQ(StateOf(sender, b), WQCF_Delayed_Retry);
  // Outside a retry cycle only the available message comes.
  env = Message_Queue_();
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, &env), 0);
  EXPECT_EQ(got, "c");
  ASSERT_EQ(receiver.Delete(1, c), 0);
  EXPECT_EQ(ReceiveText(receiver, "QDAN", 0, got), WM_NOTHING);
  // In a retry cycle: the retried one, stamped, then the end of the cycle
  // (the delayed one is not due).
  env = Message_Queue_();
  int state = 0;
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, &env, true, &state), 0);
  EXPECT_EQ(got, "a");
  EXPECT_EQ(state, WQCF_Retry);
  EXPECT_GE(env.nTimeRetry, before - 1);
  EXPECT_GE(env.nTimeRetry, env.nTimePosted);
  ASSERT_EQ(receiver.Delete(1, a), 0);
  EXPECT_EQ(ReceiveText(receiver, "QDAN", 0, got, nullptr, true), WM_RETRY_CYCLE_DONE);
  // Once its delay has passed, the delayed one is due.
  ASSERT_EQ(db_.exec("update wm.message set retry_due = retry_due - 7200"), "");
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got, nullptr, true, &state), 0);
  EXPECT_EQ(got, "b");
  EXPECT_EQ(state, WQCF_Delayed_Retry);
}

TEST_F(WorkMessages, EndingCallsOnlyTouchTheProcesssOwnFreeMessages) {
  CWorkMessages sender(true), receiver(true), other(true);
  ASSERT_EQ(receiver.SetInput(1, "AIQ"), 0);
  ASSERT_EQ(other.SetInput(1, "AIQ"), 0);
  int held = 0, free1 = 0;
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "held", &held), WM_OK);
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "free", &free1), WM_OK);
  std::string got;
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got), 0);
  EXPECT_EQ(got, "held");
  // Another object cannot end a message a receiver holds.
  EXPECT_EQ(other.Delete(1, held), WM_NO_MESSAGE);
  EXPECT_NE(std::string(other.szErrorMsg).find("held by another receiver"), std::string::npos);
  EXPECT_EQ(other.Delete(1, 0x7ffffff0), WM_NO_MESSAGE);
  // A process may end a message it sent (the notifier deletes an unanswered
  // request), but not someone else's.
  EXPECT_EQ(sender.Delete(2, free1), WM_NO_MESSAGE);
  EXPECT_EQ(sender.Delete(5, free1), 0) << sender.szErrorMsg;
  EXPECT_EQ(StateOf(sender, free1), 0);
  // A second Receive before ending gives the held message back at once.
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got), WM_OK);
  EXPECT_EQ(got, "held");
  EXPECT_EQ(receiver.Delete(1, held), 0);
  EXPECT_EQ(ReceiveText(other, "QDAN", 0, got), WM_NOTHING);
}

TEST_F(WorkMessages, RequeueOnlyRevivesRejectedOrRetriedMessages) {
  CWorkMessages sender(true), receiver(true);
  ASSERT_EQ(receiver.SetInput(1, "AIQ"), 0);
  int id = 0;
  ASSERT_EQ(SendText(sender, "SPEC", "QDAN", "AIQ", "x", &id), WM_OK);
  EXPECT_EQ(sender.Requeue(id), WM_NO_MESSAGE);
  EXPECT_NE(std::string(sender.szErrorMsg).find("Available"), std::string::npos);
  std::string got;
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got), 0);
  EXPECT_EQ(sender.Requeue(id), WM_NO_MESSAGE);
  EXPECT_NE(std::string(sender.szErrorMsg).find("held"), std::string::npos);
  ASSERT_EQ(receiver.Retry(1, id), 0);
  ASSERT_EQ(sender.Requeue(id), 0);
  ASSERT_EQ(ReceiveText(receiver, "QDAN", 0, got), 0);
  EXPECT_EQ(got, "x");
  EXPECT_EQ(sender.Requeue(0x7ffffff0), WM_NO_MESSAGE);
}

}  // namespace
