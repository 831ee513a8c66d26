// qdwm end to end: the binary against a fresh database.

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hex_id.h"
#include "qd_txn.h"
#include "wm_fixture.h"

namespace {

struct Result {
  int status = -1;
  std::string out;
};

// Runs qdwm with `args` (already quoted for the shell); standard error is
// appended to the output after a line "--stderr--".
Result RunQdwm(const std::string& args) {
  const char* build = std::getenv("QD_BUILD_DIR");
  std::string cmd = std::string(build ? build : ".") + "/bin/qdwm " + args + " 2>/tmp/qdwm_err." +
                    std::to_string(getpid());
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::string errfile = "/tmp/qdwm_err." + std::to_string(getpid());
  FILE* e = fopen(errfile.c_str(), "r");
  if (e) {
    r.out += "--stderr--\n";
    while ((n = fread(buf, 1, sizeof buf, e)) > 0) r.out.append(buf, n);
    fclose(e);
  }
  remove(errfile.c_str());
  return r;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

using Qdwm = WmTest;

TEST_F(Qdwm, ProcessesShowsTheRegistryAndWhoIsRegistered) {
  CWorkMessages receiver(true);
  ASSERT_EQ(receiver.SetInput(2, "NIQ"), 0);
  ASSERT_EQ(receiver.SetInput(2, "CCR"), 0);
  Result r = RunQdwm("processes");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "    1 QDAN             A   AIQ      -\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "    2 QDNOT            N   NIQ      NIQ,CCR (1 receiver)\n")) << r.out;
  for (const char* name : {"QDGN", "QDDB", "SPEC", "SPFT", "SPCM", "AIQ", "NIQ", "TOQ", "CCQ", "CCR"}) {
    EXPECT_TRUE(Contains(r.out, name)) << name;
  }
}

TEST_F(Qdwm, SendListShowAndRawRoundTripATransactionRecord) {
  qd_Transaction_Format_2 rec;
  memset(&rec, 0, sizeof rec);
  rec.hdr.fmt = 2;
  memcpy(rec.hdr.TxnId, "FAR", 3);
  strcpy(rec.FileName, "/sp/prod/data/files/1234567/event/x");
  std::string file = root_.under("/tmp/far.bin");
  root_.write("/tmp/far.bin", std::string(reinterpret_cast<char*>(&rec), sizeof rec));
  Result sent = RunQdwm("send SPEC QDAN AIQ " + file);
  ASSERT_EQ(sent.status, 0) << sent.out;
  std::string id = sent.out.substr(0, 8);
  ASSERT_EQ(sent.out.substr(8, 1), "\n") << sent.out;
  EXPECT_TRUE(Contains(sent.out, "no receiver registered for QDAN/AIQ")) << sent.out;

  Result list = RunQdwm("list QDAN");
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_TRUE(Contains(list.out, id + " QDAN             AIQ      Pending ")) << list.out;
  EXPECT_TRUE(Contains(list.out, " -                   1746\n")) << list.out;
  EXPECT_FALSE(Contains(RunQdwm("list QDNOT").out, id));

  Result show = RunQdwm("show " + id);
  ASSERT_EQ(show.status, 0) << show.out;
  EXPECT_TRUE(Contains(show.out, "target: QDAN (1)\n"));
  EXPECT_TRUE(Contains(show.out, "sender: SPEC (5)\n"));
  EXPECT_TRUE(Contains(show.out, "transaction record, format 2:\n"));
  EXPECT_TRUE(Contains(show.out, "  TxnId: FAR\n"));
  EXPECT_TRUE(Contains(show.out, "  FileName: /sp/prod/data/files/1234567/event/x\n")) << show.out;

  Result raw = RunQdwm("show --raw " + id);
  ASSERT_EQ(raw.status, 0);
  EXPECT_EQ(raw.out.substr(0, sizeof rec), std::string(reinterpret_cast<char*>(&rec), sizeof rec));
}

TEST_F(Qdwm, ShowDecodesAFileTransferRequestForTOQ) {
  std::string req(1032, '\0');
  req[0] = 'P';
  memcpy(&req[112], "event", 5);
  memcpy(&req[132], "/sp/prod/data/files/1/event/y", 29);
  root_.write("/tmp/ftp.bin", req);
  Result sent = RunQdwm("send SPEC SPFT TOQ " + root_.under("/tmp/ftp.bin"));
  ASSERT_EQ(sent.status, 0) << sent.out;
  Result show = RunQdwm("show " + sent.out.substr(0, 8));
  EXPECT_TRUE(Contains(show.out, "file transfer request:\n")) << show.out;
  EXPECT_TRUE(Contains(show.out, "  Type: P\n"));
  EXPECT_TRUE(Contains(show.out, "  FileName: /sp/prod/data/files/1/event/y\n"));
}

TEST_F(Qdwm, RequeueRevivesARejectedMessage) {
  CWorkMessages wm(true);
  ASSERT_EQ(wm.SetInput(1, "AIQ"), 0);
  int id = 0;
  ASSERT_EQ(SendText(wm, "SPEC", "QDAN", "AIQ", "again", &id), WM_OK);
  std::string got;
  ASSERT_EQ(ReceiveText(wm, "QDAN", 0, got), 0);
  EXPECT_TRUE(Contains(RunQdwm("list").out, " Received "));
  ASSERT_EQ(wm.Reject(1, id), 0);
  std::string hex = HexId(id);
  EXPECT_TRUE(Contains(RunQdwm("list").out, hex + " QDAN             AIQ      Rejected "));
  Result r = RunQdwm(std::string("requeue ") + hex);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "is available again"));
  ASSERT_EQ(ReceiveText(wm, "QDAN", 0, got), 0);
  EXPECT_EQ(got, "again");
  r = RunQdwm(std::string("requeue ") + hex);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.out, "held by a receiver")) << r.out;
}

TEST_F(Qdwm, DrainSendsTheSpoolAndStopSendsAStopRecordToTheInput) {
  WriteConnInfo(root_, "host=/nonexistent/socket/dir dbname=nothing");
  std::string text;
  ASSERT_EQ(QueueSend("EVTMON", "QDAN", "AIQ", "spooled", 7, text), QUEUESEND_SPOOLED);
  Result down = RunQdwm("drain");
  EXPECT_EQ(down.status, 1);
  EXPECT_TRUE(Contains(down.out, "qdwm: cannot reach the work-message database")) << down.out;
  WriteConnInfo(root_, db_.conninfo());
  Result r = RunQdwm("drain");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, ": sent as message ")) << r.out;
  EXPECT_TRUE(Contains(r.out, "spool: 1 sent, 0 already sent, 0 set aside\n")) << r.out;

  r = RunQdwm("stop QDNOT");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "stop transaction sent to QDNOT/NIQ as message ")) << r.out;
  std::string id = r.out.substr(r.out.find("as message ") + 11, 8);
  Result show = RunQdwm("show " + id);
  EXPECT_TRUE(Contains(show.out, "transaction record, format 255:\n")) << show.out;
  EXPECT_TRUE(Contains(show.out, "  TxnId: STP\n"));
  EXPECT_TRUE(Contains(show.out, "  sp.id: SP0042\n"));
  EXPECT_TRUE(Contains(show.out, "  char_set: A\n"));
  EXPECT_EQ(RunQdwm("stop QDGN").status, 1);  // no input message
}

TEST_F(Qdwm, ErrorsSayWhatIsWrongAndExitNonZero) {
  struct {
    const char* args;
    int status;
    const char* text;
  } cases[] = {
      {"", 2, "usage: qdwm processes"},
      {"frobnicate", 2, "usage:"},
      {"show", 2, "usage:"},
      {"show --cooked 1", 2, "usage:"},
      {"list NOSUCH", 1, "qdwm: Unknown process name 'NOSUCH'"},
      {"show 123456789", 1, "invalid message id \"123456789\""},
      {"show xyz", 1, "invalid message id"},
      {"show 7FFFFFF0", 1, "no message 7FFFFFF0"},
      {"send SPEC QDAN AIQ /nonexistent/file", 1, "cannot open \"/nonexistent/file\""},
      {"send NOSUCH QDAN AIQ /dev/null", 1, "Unknown process name 'NOSUCH'"},
      {"send SPEC QDAN NOPE /dev/null", 1, "Unknown message name 'NOPE'"},
      {"stop NOSUCH", 1, "Unknown process name 'NOSUCH'"},
  };
  for (const auto& c : cases) {
    Result r = RunQdwm(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_TRUE(Contains(r.out, c.text)) << c.args << "\n" << r.out;
  }
}

}  // namespace
