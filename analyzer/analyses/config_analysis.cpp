#include "config_analysis.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "anal_alert.h"
#include "anal_history.h"
#include "analyses.h"
#include "analysis_outcome.h"
#include "analysis_sql.h"
#include "config_sql.h"
#include "daemon_log.h"
#include "engine_log.h"
#include "event_parse.h"
#include "notify_request.h"
#include "qd_path.h"
#include "sql_error.h"
#include "text_util.h"

namespace {

constexpr char kChecker[] = "CheckCageTemp";
constexpr char kSymptomHeading[] = "========== Symptom ==============================\n";
constexpr char kDescription[] =
    "========== Description ==========================\n"
    "The operating temperature of at least one drive in the cage exceeded 50C.\n"
    "Attempts should be made to reduce the drives (and cage) to temperatures\n"
    "below 45C.\n";
constexpr char kMaintenance[] =
    "========== FRUs/Maintenance Procedures ==========\n"
    "Priority 1, Probability 100%\n"
    "        Maintenance Procedure:\n"
    "                Contact the customer and request that they check the environment\n"
    "                near the Velmar for cooling/air-conditioning problems.";
// Where the analysis goes on after the checker ended with exit code 1.
constexpr int kHotCages = 2;

// The system error number whose text `err` ends with (the launcher reports
// its failures as text); 0 when none matches.
int ErrnoOf(const std::string& err) {
  size_t colon = err.rfind(": ");
  std::string tail = colon == std::string::npos ? err : err.substr(colon + 2);
  for (int e = 1; e < 256; ++e) {
    if (tail == std::strerror(e)) return e;
  }
  return 0;
}

void LogFree(DaemonState& st, char urgency, const std::string& text) {
  DaemonLogOwn(st, "9999", urgency, text);
}

// True when the catalogue says the file was analyzed before. A database
// error is logged and the analysis goes on.
bool AnalyzedBefore(DaemonState& st, const CurrentFile& f) {
  long count = 0;
  QdSqlClear();
  // The catalogue row carries the file's own type (above 100000 for a
  // family member); the analysis works with the reduced one.
  int stored = Analyzer(st).catalogue_file_type;
  if (FdbCountAnalyzed(f.Cvendor, f.Cproduct, f.Cprod_id, f.Cfile_date,
                       stored ? stored : f.Cfile_type,
                       f.Cfile_seq, &count) < 0) {
    DaemonSqlError(st, "prior analysis select");
    RollbackWork();  // the history row must not land in an aborted transaction
    return false;
  }
  return count >= 1;
}

// Makes the result file afresh as a file of this process, so that nothing
// planted at its name (a link elsewhere) receives the checker's output.
bool MakeResultFile(const std::string& path, std::string& err) {
  unlink(path.c_str());
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    err = "cannot create '" + path + "': " + std::strerror(errno);
    return false;
  }
  close(fd);
  return true;
}

// Starts the checker and waits for it. kHotCages when it found hot cages,
// else the analysis result (0, 1 or -1) with the outcome logged.
int RunChecker(DaemonState& st, const ChildSpec& cmd) {
  char err[512] = {0};
  pid_t pid = 0;
  if (QdStartChild(cmd, &pid, err, sizeof err) != CHILD_OK) {
    std::string why = err;
    bool no_process = why.rfind("cannot fork", 0) == 0 || why.rfind("cannot make a pipe", 0) == 0;
    int e = ErrnoOf(why);
    LogFree(st, '2', QdFormat("%s() failed, errno=%d(%s)", no_process ? "fork" : "execvp", e,
                                  e ? std::strerror(e) : why.c_str()));
    // A failure before the program ran (its output could not be redirected)
    // names itself; "execvp" alone would mislead.
    if (!no_process && why.rfind("cannot execute", 0) != 0) LogFree(st, '2', why);
    return kStepRetry;
  }
  int status = 0;
  if (QdWaitChild(pid, -1, &status, err, sizeof err) != CHILD_OK) {
    int e = ErrnoOf(err);
    LogFree(st, '2', QdFormat("waitpid() failed, errno=%d(%s)", e, e ? std::strerror(e) : err));
    return kStepRetry;
  }
  std::string command = QdCommandText(cmd);
  if (WIFSIGNALED(status)) {
    LogFree(st, '2', QdFormat("%s abnormal termination, signal=%d", command.c_str(),
                                  WTERMSIG(status)));
    return kStepRetry;
  }
  if (!WIFEXITED(status)) {
    LogFree(st, '2', QdFormat("Unknown termination status (0x%.8X) for %s",
                                  static_cast<unsigned>(status), kChecker));
    return kStepRefuse;
  }
  int code = WEXITSTATUS(status);
  if (code == 0) return kStepDone;
  if (code == 1) return kHotCages;
  LogFree(st, '2', QdFormat("%s ended with rc=%d, log follows.", command.c_str(), code));
  std::ifstream in(cmd.stdoutPath);
  for (std::string line; std::getline(in, line);) LogFree(st, '2', line);
  return kStepDone;
}

// The analysis result of the alert, as the report, history and notification
// read it.
void SetAlertResult(const CurrentFile& f, const QDTxn* txn, const CageAlert& alert) {
  AnalysisResult& r = Engine().result;
  r.ASymptom = alert.symptom;
  r.AUrgency = 'H';
  r.Alert_event = true;
  r.AEvent = std::string(f.Cvendor) + " " + f.Cproduct + " config log arrival";
  r.AEventTimeFirst = txn->hdr.TxnTime;
  r.AEventTimeLast = txn->hdr.TxnTime;
  r.AEventLocation = 'R';
  r.ACount = 1;
  r.AFormattedText = CageAlertText(alert);
  r.AExtraText.clear();
  r.AAddedData.clear();
  r.AModel = "Unknown";
  r.EADetails.clear();
  // No event was parsed: no physical disk, no event tag values (the
  // severity of an earlier event must not reach this alert).
  ResetEventParse(0);
  ResetReportIndicators();
}

// The checker found hot cages: alert, history, notification, catalogue.
int ReportHotCages(DaemonState& st, const QDTxn* txn, const std::string& result_file) {
  AnalyzerState& an = Analyzer(st);
  Engine().result.ASymptom.clear();
  std::ifstream in(result_file);
  if (!in) {
    std::string text = QdFormat("Unable to open '%s' cage over-temp results: %s",
                                    result_file.c_str(), std::strerror(errno));
    LogFree(st, '2', text);
    AnalAlert('H', "config analysis error", text);
    return kStepDone;
  }
  CageAlert alert = NewCageAlert();
  for (std::string line; std::getline(in, line);) {
    if (line.size() > kCageLineMax) line.resize(kCageLineMax);
    HotCage cage;
    if (ParseCageLine(line, cage)) {
      AddHotCage(alert, cage);
    } else {
      LogFree(st, '2', QdFormat("%s result line not understood: '%s'", kChecker, line.c_str()));
    }
  }
  SetAlertResult(an.file, txn, alert);
  std::string event = alert.cage_name + " HIGH_TEMP";
  std::snprintf(Engine().event_name, sizeof Engine().event_name, "%s", event.c_str());
  HistoryRow history = BuildHistoryRow(nullptr, "alert", alert.cage_name);
  do_notify(txn);
  RecordOutcome(st, &history);
  return kStepDone;
}

}  // namespace

bool ParseCageLine(const std::string& line, HotCage& cage) {
  std::vector<char> text(line.begin(), line.end());
  text.push_back('\0');
  char* words[4] = {nullptr};
  if (GetTokens(text.data(), " \t", words, 4, true, false) < 3) return false;
  cage.cage = words[1];
  cage.temp = words[2];
  return true;
}

CageAlert NewCageAlert() {
  CageAlert alert;
  alert.symptom_section = kSymptomHeading;
  alert.description_section = kDescription;
  return alert;
}

void AddHotCage(CageAlert& alert, const HotCage& cage) {
  alert.symptom_section += "CAGE" + cage.cage + " Drive Cage temperature is high\n";
  if (alert.symptom.empty()) {
    alert.symptom = "CAGE" + cage.cage + " HIGH_TEMP Drive Cage temperature is high\n";
    alert.cage_name += cage.cage;
  }
  alert.description_section +=
      "Current high disk temperature in CAGE" + cage.cage + " is " + cage.temp + "C.\n";
}

std::string CageAlertText(const CageAlert& alert) {
  return alert.symptom_section + alert.description_section + kMaintenance;
}

ChildSpec CheckerSpec(const std::string& stored_file, const std::string& result_file) {
  ChildSpec cmd;
  cmd.argv = {kChecker, stored_file};
  cmd.stdoutPath = result_file;
  cmd.stderrPath = "=stdout";
  return cmd;
}

int AnalZarvekVelmarConfig(DaemonState& st, const QDTxn* txn) {
  AnalyzerState& an = Analyzer(st);
  if (AnalyzedBefore(st, an.file)) {
    LogFree(st, '1', "Previously analyzed this file, analysis bypassed.");
    return kStepDone;
  }
  std::string result_file = QdPath(
      QdFormat("/tmp/%s.CheckCageTemp.%d", st.module_name.c_str(), static_cast<int>(getpid())));
  int rc = kStepRetry;
  std::string err;
  if (!MakeResultFile(result_file, err)) {
    LogFree(st, '2', QdFormat("%s cannot be run: %s", kChecker, err.c_str()));
  } else {
    ChildSpec cmd = CheckerSpec(QdPath(an.file.Cstore_filename), result_file);
    rc = RunChecker(st, cmd);
    if (rc == kHotCages) rc = ReportHotCages(st, txn, result_file);
  }
  unlink(result_file.c_str());
  return rc;
}
