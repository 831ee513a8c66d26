#include "program_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "child_process.h"
#include "hex_id.h"
#include "test_files.h"
#include "txn_build.h"
#include "txn_layout.h"
#include "work_messages.h"

std::vector<std::string> JoinSettings(std::vector<std::string> a,
                                      const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void ProgramRun::SetUp() {
  QD_REQUIRE_DB();
  ASSERT_FALSE(db_.name().empty()) << db_.error();
  db_.exportAsDefault();
  setenv("QD_TIME_SCALE", "0.01", 1);
  WriteConf(db_.name(), "qd");
  ASSERT_NE(std::getenv("QD_BUILD_DIR"), nullptr) << "QD_BUILD_DIR is not set";
  const char* path = std::getenv("PATH");
  saved_path_ = path ? path : "";
  path_set_ = true;
  setenv("PATH", (BuildPath("sim-bin") + ":" + saved_path_).c_str(), 1);
}

void ProgramRun::TearDown() {
  if (path_set_) setenv("PATH", saved_path_.c_str(), 1);
}

void ProgramRun::WriteConf(const std::string& orasid, const std::string& oraid,
                           const std::vector<std::string>& global) {
  std::string text = "[Global]\nSYSTEM_LEVEL = Prod\n";
  for (const std::string& line : global) text += line + "\n";
  text += "WM_CONNINFO = dbname=" + db_.name() + "\n[Prod]\n";
  if (!orasid.empty()) text += "ORASID = " + orasid + "\n";
  if (!oraid.empty()) text += "ORAID = " + oraid + "\n";
  root_.write("/etc/qd/gdda.conf", text);
}

void ProgramRun::Start(const std::string& program, const std::vector<std::string>& args) {
  ASSERT_TRUE(daemon_.Start(BuildPath("bin/" + program), args, StderrPath()));
}

void ProgramRun::StartReady(const std::string& program, const std::vector<std::string>& args) {
  Start(program, args);
  ASSERT_TRUE(LogShows("QDZ0102")) << Log();
}

bool ProgramRun::LogShows(const std::string& text, double seconds) const {
  return PollUntil([&] { return Log().find(text) != std::string::npos; }, seconds);
}

int ProgramRun::Count(const std::string& text) const {
  std::string log = Log();
  int n = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

std::string ProgramRun::SendRecord(const std::string& to, const std::string& message,
                                   const std::vector<std::string>& settings, int fmt, long size,
                                   const std::function<void(QDTxn&)>& patch) {
  QDTxn txn;
  std::string error;
  EXPECT_EQ(TxnBuild(fmt, settings, txn, error), 0) << error;
  if (patch) patch(txn);
  std::vector<char> data(size >= 0 ? size : TxnFormatSize(fmt), '\0');
  std::copy_n(reinterpret_cast<const char*>(&txn), std::min(data.size(), sizeof txn),
              data.begin());
  CWorkMessages wm(true);
  int msgid = 0;
  int rc = wm.SendByName("QDDB", to, message, data.data(), data.size(), msgid);
  EXPECT_TRUE(rc == 0 || rc == WM_QUEUED) << rc << " " << wm.szErrorMsg;
  return HexId(msgid);
}

bool ProgramRun::Ended(const std::string& msgid, const std::string& how) const {
  return LogShows(how + " message " + msgid);
}

int ProgramRun::Exit() {
  int status = -1;
  EXPECT_TRUE(daemon_.Wait(kDaemonPatience, status)) << "daemon still running\n" << Log();
  return status;
}

int ProgramRun::ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

std::string ProgramRun::RunTool(const std::string& program, const std::vector<std::string>& args,
                                int* status) {
  ChildSpec cmd;
  cmd.argv = {BuildPath(program)};
  cmd.argv.insert(cmd.argv.end(), args.begin(), args.end());
  cmd.stdoutPath = root_.under("/tool.out");
  cmd.stderrPath = "=stdout";
  int wait_status = -1;
  char err[256] = {0};
  EXPECT_EQ(QdRunChild(cmd, kDaemonPatience, &wait_status, err, sizeof err), CHILD_OK) << err;
  if (status) *status = wait_status;
  return root_.read("/tool.out");
}
