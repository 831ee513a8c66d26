#include "collection.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "child_process.h"
#include "qd_path.h"
#include "signals.h"

namespace {

constexpr double kCollectionLimit = 240;
constexpr double kCollectionStep = 2;
const char* const kSpcollect = "/sp/prod/code/ruzi/bin/spcollect";

}  // namespace

std::string DefinitionDir(const EvtmonState& st) {
  return "/sp/prod/code/vqx-" + st.vqx_level + "/data";
}

int RunCollection(EvtmonState& st, const std::string& cmdline, const char* what) {
  ChildSpec cmd;
  cmd.argv = {QdPath(kSpcollect), "-O", "special", st.sysid, st.ipaddr, st.vqx_level, "none", cmdline};
  cmd.argv[0] = QdPath(kSpcollect);
  pid_t pid = 0;
  char err[256];
  if (QdStartChild(cmd, &pid, err, sizeof err) != CHILD_OK) {
    Logme(st, std::string("In ") + what + "(): " + err, '2');
    return -1;
  }
  for (double waited = 0; waited < kCollectionLimit; waited += kCollectionStep) {
    WriteHeartbeat(st);
    int status = 0;
    int rc = QdWaitChild(pid, kCollectionStep, &status, err, sizeof err);
    if (rc == CHILD_FAILED) {
      Logme(st, std::string("In ") + what + "(): Waitpid error = " + err + " ", '2');
      return -1;
    }
    if (rc == CHILD_OK) {
      if (WIFEXITED(status)) {
        LogSpe(st, 64, 'A', cmdline, WEXITSTATUS(status));
        return WEXITSTATUS(status);
      }
      LogSpe(st, 65, 'A', cmdline, WIFSIGNALED(status) ? WTERMSIG(status) : status);
      return -1;
    }
    if (CheckForSignal(SIGTERM, true)) st.stop = true;
    if (st.stop) break;
  }
  Logme(st, std::string("In ") + what + "(): command timed out", '2');
  kill(pid, SIGTERM);
  int status;
  (void)QdWaitChild(pid, 5, &status, err, sizeof err);
  return -2;
}

int get_event_files(EvtmonState& st) {
  const std::string dir = DefinitionDir(st);
  const mode_t old = umask(002);
  int made = QdMakeDirs(QdPath(dir), 0777);
  umask(old);
  if (made != 0) {
    LogSpe(st, 1, 'A', "create", dir, -1);
    return -2;
  }
  bool all = true;
  for (const char* file : {"eventtypes", "eventclasses", "eventcomps"}) {
    const std::string path = dir + "/" + file;
    if (access(QdPath(path).c_str(), R_OK) != 0) {
      LogSpe(st, 63, 'A', path);
      all = false;
      break;
    }
  }
  if (all) return 0;
  return RunCollection(st, "cli_get_event_files " + st.sysid + " " + st.ipaddr + " " + st.vqx_level,
                       "get_event_files");
}

int get_model(EvtmonState& st) {
  int rc = RunCollection(st, "cli_get_model " + st.sysid + " " + st.ipaddr + " " + st.vqx_level,
                         "get_model");
  if (rc < 0) return rc;
  const std::string path = "/sp/prod/data/files/" + st.sysid + "/model";
  FILE* in = std::fopen(QdPath(path).c_str(), "r");
  if (!in) {
    Logme(st, "In get_model, can not open model file " + path + ", errno = " + std::strerror(errno));
    return -5;
  }
  char line[256];
  if (!std::fgets(line, sizeof line, in)) {
    Logme(st, "In get_model, can not read model file " + path + ", errno = " + std::strerror(errno));
    std::fclose(in);
    return -4;
  }
  std::fclose(in);
  line[std::strcspn(line, "\r\n")] = '\0';
  line[11] = '\0';
  st.model = line;
  char max_nodes = st.model.size() > 1 ? st.model[1] : '?';
  int max_update_time = max_nodes == '4' ? 4200 : max_nodes == '2' ? 2100 : 8400;
  st.filter.max_update_time = max_update_time;
  Logme(st, std::string("In get_model, max_nodes = ") + max_nodes +
                ", max_update_time = " + std::to_string(max_update_time));
  return 0;
}
