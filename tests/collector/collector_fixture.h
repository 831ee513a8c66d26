#pragma once
// The collector's program-test fixture: a private QD_ROOT and database, the
// array simulator and evtmon as real processes, and looks at their files,
// log and exit status.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collector_root.h"
#include "daemon_run.h"
#include "temp_root.h"
#include "test_db.h"
#include "work_messages.h"

namespace {

constexpr double kPatience = 60;
const char* const kSysid = "1400123";
const char* const kLevel = "2.3.1.45";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Files(const std::string& dir, const std::string& prefix = "") {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* ent = readdir(d)) {
      std::string n = ent->d_name;
      if (n[0] != '.' && n.rfind(prefix, 0) == 0) names.push_back(n);
    }
    closedir(d);
  }
  return names;
}

class CollectorRun : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    ASSERT_FALSE(db_.name().empty()) << db_.error();
    db_.exportAsDefault();
    PrepareCollectorRoot(root_, db_.name());
    root_.write("/sp/prod/control/appconf/common.prefilt",
                Slurp(Env("QD_SOURCE_DIR") + "/deploy/root/sp/prod/control/appconf/common.prefilt"));
    const std::string bin = root_.under("/sp/prod/code/ruzi/bin/spcollect");
    root_.write("/sp/prod/code/ruzi/bin/spcollect", Slurp(Env("QD_BUILD_DIR") + "/sim-bin/spcollect"));
    chmod(bin.c_str(), 0755);
  }
  void TearDown() override { unsetenv("QD_EMFILTER_PORT"); }

  // Starts the simulator with `script` and points the collector at it.
  void StartFilter(const std::string& script) {
    root_.write("/emfilter.script", script);
    unlink(root_.under("/emfilter.port").c_str());
    ASSERT_TRUE(filter_.Start(Env("QD_BUILD_DIR") + "/sim-bin/emfilter",
                              {"--port", "0", "--port-file", root_.under("/emfilter.port"), "--script",
                               root_.under("/emfilter.script"), "--seed", "11"},
                              root_.under("/emfilter.stderr")));
    ASSERT_TRUE(PollUntil([&] { return !root_.read("/emfilter.port").empty(); }, kPatience));
    setenv("QD_EMFILTER_PORT", std::to_string(std::atoi(root_.read("/emfilter.port").c_str())).c_str(), 1);
  }
  void StartCollector(const std::string& host = "127.0.0.1") {
    ASSERT_TRUE(evtmon_.Start(Env("QD_BUILD_DIR") + "/bin/evtmon", {"-D", kSysid, host, kLevel},
                              root_.under("/evtmon.stderr")));
  }
  // Starts qdAnalyze on the test's database, with the stand-ins it runs.
  void StartAnalyzer(DaemonRun& analyzer) {
    root_.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\nSP_ID = SP0042\nRUNNINGONSP = Y\n"
                                     "WM_CONNINFO = dbname=" + db_.name() + "\n[Prod]\nORASID = " +
                                         db_.name() + "\nORAID = qd\n");
    const std::string path = Env("PATH");
    setenv("PATH", (Env("QD_BUILD_DIR") + "/sim-bin:" + path).c_str(), 1);
    ASSERT_TRUE(analyzer.Start(Env("QD_BUILD_DIR") + "/bin/qdAnalyze", {"-d", "-t", "60"},
                               root_.under("/analyzer.stderr")));
    setenv("PATH", path.c_str(), 1);
  }
  int ExitCode() {
    int status = 0;
    if (!evtmon_.Wait(kPatience, status)) return -1000;
    return WIFEXITED(status) ? static_cast<signed char>(WEXITSTATUS(status)) : -2000;
  }
  std::string Log() const { return root_.read("/var/log/qd/qd.log"); }
  int Count(const std::string& text) const {
    std::string log = Log();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  bool LogShows(const std::string& text) const {
    return PollUntil([&] { return Log().find(text) != std::string::npos; }, kPatience);
  }
  std::string FileDir(const std::string& sub = "") const {
    return root_.under(std::string("/sp/prod/data/files/") + kSysid + sub);
  }

  TestDatabase db_;
  TempRoot root_;
  DaemonRun filter_;
  DaemonRun evtmon_;
};

}  // namespace
