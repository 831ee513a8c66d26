#include "analysis_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "anal_alert.h"
#include "anal_history.h"
#include "daemon_sql.h"
#include "engine_log.h"
#include "msg_text.h"
#include "qd_path.h"
#include "template_engine.h"

namespace {

const char kBanner[] =
    "\n***** WARNING ***** The analysis for this event is still under development,  ***** WARNING *****\n"
    "***** WARNING *****          and it may not be 100% accurate.                ***** WARNING *****\n"
    "***** WARNING *****    Review related events to determine correct action.    ***** WARNING *****\n"
    "\n";
const char kReportSuffix[] = ".analysis";
const char kFailedEvent[] = "AnalysisFailed";
constexpr size_t kPieceSize = 1021;  // procedure text is copied in pieces of this many characters
constexpr size_t kDetailsSize = 4000;

// The report being written: a temporary file beside its final name, moved
// into place only by Finish. Every failure is logged once (message 0033)
// and leaves the object failed.
class ReportFile {
 public:
  explicit ReportFile(const std::string& name) : name_(name), path_(QdPath(name)) {
    const DaemonState* st = Engine().daemon;
    std::string module = st && !st->module_name.empty() ? st->module_name : "qdAnalyze";
    temp_prefix_ = path_ + "." + module + ".";
    temp_ = temp_prefix_ + std::to_string(getpid());
  }
  ~ReportFile() { Discard(); }
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  bool Open() {
    RemoveStaleTemps();
    unlink(temp_.c_str());
    int fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) file_ = fdopen(fd, "w");
    if (!file_) {
      int err = errno;
      if (fd >= 0) close(fd);
      Fail(err, "OPEN error for");
      return false;
    }
    return true;
  }

  bool Write(const std::string& text) {
    if (!file_) return false;
    if (fwrite(text.data(), 1, text.size(), file_) != text.size()) {
      Fail(errno, "FPUTS error for");
      return false;
    }
    return true;
  }

  // Flushes, closes and renames the report into place.
  bool Finish() {
    if (!file_) return false;
    bool ok = fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    int err = errno;
    ok = fclose(file_) == 0 && ok;
    if (!ok && err == 0) err = errno;
    file_ = nullptr;
    if (!ok) {
      Fail(err, "CLOSE error for");
      return false;
    }
    if (rename(temp_.c_str(), path_.c_str()) != 0) {
      Fail(errno, "RENAME error for");
      return false;
    }
    done_ = true;
    return true;
  }

  // Leaves no report: the temporary file and any earlier report of the
  // same name are removed, so the catalogue never names a stale one.
  void Discard() {
    if (done_) return;
    if (file_) fclose(file_);
    file_ = nullptr;
    unlink(temp_.c_str());
    unlink(path_.c_str());
  }

  bool failed() const { return failed_; }

 private:
  // Temporary reports of this report left by an analyzer that was killed
  // while writing it: a process id behind the prefix that no process has
  // any more. (A live one may be another analyzer's, at work right now.)
  void RemoveStaleTemps() {
    size_t slash = temp_prefix_.rfind('/');
    std::string dir = slash == std::string::npos ? "." : temp_prefix_.substr(0, slash);
    std::string prefix = temp_prefix_.substr(slash == std::string::npos ? 0 : slash + 1);
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      std::string digits = name.substr(prefix.size());
      if (digits.empty() || digits.size() > 9 ||
          digits.find_first_not_of("0123456789") != std::string::npos) {
        continue;
      }
      pid_t pid = static_cast<pid_t>(std::stol(digits));
      if (pid == getpid() || (kill(pid, 0) != 0 && errno == ESRCH)) {
        unlink((dir + "/" + name).c_str());
      }
    }
    closedir(d);
  }

  void Fail(int err, const char* what) {
    failed_ = true;
    AnalLogErrno(err, "0033", 'A', AnalMessageId(), what, name_);
  }

  std::string name_, path_, temp_prefix_, temp_;
  FILE* file_ = nullptr;
  bool failed_ = false;
  bool done_ = false;
};

// Copies the procedure file `name` into the report, each piece of at most
// kPieceSize characters (a line, or part of a longer one) behind two tabs.
bool CopyProcedure(ReportFile& out, const std::string& name) {
  FILE* in = fopen(QdPath(name).c_str(), "re");
  if (!in) {
    AnalLogErrno(errno, "0033", 'A', AnalMessageId(), "OPEN error for", name);
    return false;
  }
  bool ok = true;
  std::string piece;
  while (ok) {
    piece.clear();
    int ch;
    while (piece.size() < kPieceSize && (ch = getc(in)) != EOF) {
      piece += static_cast<char>(ch);
      if (ch == '\n') break;
    }
    if (piece.empty()) break;
    ok = out.Write("\t\t" + piece);
  }
  if (ok && ferror(in)) {
    AnalLogErrno(errno, "0033", 'A', AnalMessageId(), "FGETS error for", name);
    ok = false;
  }
  fclose(in);
  return ok;
}

std::string KeyText(int i) {
  return std::string(Engine().Mkey[i], strnlen(Engine().Mkey[i], kMsgKeySize));
}

// The report's and the notification's account of a missing callout.
void NoCallout(ReportFile& out, long file_type) {
  std::string event = Engine().event_name;
  out.Write(QdFormat("\tAnalysis error. Unable to find requested fru callout.\n"
                   "\tFile_type=%ld, event=%s, mkey1=%s, mkey2=%s, mkey3=%s, mkey4=%s, mkey5=%s, "
                   "Mkey6=%s\n",
                   file_type, event.c_str(), KeyText(0).c_str(), KeyText(1).c_str(),
                   KeyText(2).c_str(), KeyText(3).c_str(), KeyText(4).c_str(), KeyText(5).c_str()));
  std::string text =
      QdFormat("File_type=%ld, event=%s, mkey1=%s, mkey2=%s, mkey3=%s, mkey4=%s, mkey5=%s, "
             "mkey6=%s\nFile=%s",
             file_type, event.c_str(), KeyText(0).c_str(), KeyText(1).c_str(), KeyText(2).c_str(),
             KeyText(3).c_str(), KeyText(4).c_str(), KeyText(5).c_str(), AnalStoreFile());
  AnalAlert('H', "FRU select error for " + event, text);
  AnalLog("0033", 'A', AnalMessageId(), "select FRU error", AnalStoreFile());
  AnalLog("9999", '2', text);
}

// Writes the callout section; false when the report failed (`db_error`
// set when the cause was the fetch).
bool WriteCallouts(ReportFile& out, long file_type, bool& db_error) {
  FruCalloutRow row;
  bool first = true;
  long previous = 0;
  while (true) {
    int rc = FruCursorFetch(row);
    if (rc == kAnalSqlNoRow) break;
    if (rc == kAnalSqlError) {
      AnalSqlError("fru callout fetch");
      db_error = true;
      return false;
    }
    if (first || row.priority != previous) {
      std::string heading =
          QdFormat("\nPriority %ld, Probability %ld%%\n", row.priority, row.probability);
      if (!out.Write(heading)) return false;
    }
    first = false;
    previous = row.priority;
    std::string text;
    if (row.part_number.compare(0, 5, "MPROC") != 0) {
      text = "\tPart name: " + row.part_name + "\n\tPart number: " +
             (row.has_part_text ? row.part_num_text : row.part_number) + "\n";
    } else {
      text = "\tMaintenance Procedure:\n";
    }
    if (row.has_notes) text += "\t\tNotes: " + row.notes + "\n";
    if (row.has_script) text += "\t\tGM script: " + row.gm_script + "\n";
    if (!out.Write(text)) return false;
    if (row.has_mproc && !CopyProcedure(out, row.mproc_filename)) return false;
  }
  if (first) NoCallout(out, file_type);
  return !out.failed();
}

// The symptom from the template of the entry's rule; unchanged when that
// template does not exist.
void ExpandSymptom(int slot, const PatternEntry* entry, bool resymptom) {
  AnalysisEngine& engine = Engine();
  if (!entry || entry->rule < 0 || entry->rule >= kTemplateCount) return;
  if (!engine.evtdata.templ_present[entry->rule]) return;
  std::string& symptom = engine.result.ASymptom;
  symptom = UseTemplate(slot, engine.evtdata.templ[entry->rule].c_str());
  if (resymptom) symptom = UseTemplate(slot, symptom.c_str());
}

bool WriteBody(ReportFile& out, int slot, PatternEntry* entry, bool resymptom, bool redescribe,
               bool in_test, const std::string& description, bool& db_error) {
  AnalysisEngine& engine = Engine();
  AnalyzerState& an = *engine.analyzer;
  const CurrentFile& f = an.file;
  AnalysisResult& result = engine.result;
  if (in_test && !out.Write(kBanner)) return false;
  if (!out.Write(QdFormat("Analysis for %s/%s/%s %s file dated %s, sequence %s.\n"
                        "Analysis timestamp is %s.\n\n",
                        f.Cvendor, f.Cproduct, f.Cprod_id, f.Cprod_filename, f.Cfile_date,
                        f.Cfile_seq, an.Orun_date))) {
    return false;
  }
  ExpandSymptom(slot, entry, resymptom);
  if (!out.Write("========== Symptom ==============================\n" + result.ASymptom + "\n" +
                 QdFormat("%s/%s/%s\n\n", f.Cvendor, f.Cproduct, f.Cprod_id))) {
    return false;
  }
  result.ADescription = UseTemplate(slot, description.c_str());
  if (redescribe) result.ADescription = UseTemplate(slot, result.ADescription.c_str());
  if (!out.Write("========== Description ==========================\n" + result.ADescription +
                 "\n\n========== FRUs/Maintenance Procedures ==========\n")) {
    return false;
  }
  if (!WriteCallouts(out, f.Cfile_type, db_error)) return false;
  if (in_test && !out.Write(std::string("\n") + kBanner)) return false;
  return true;
}

void RecordSuccess(const std::string& name, bool in_test) {
  AnalysisEngine& engine = Engine();
  AnalyzerState& an = *engine.analyzer;
  std::snprintf(an.Canal_filename, sizeof an.Canal_filename, "%s", name.c_str());
  an.Canal_filename_ind = 0;
  HistoryIndicators& ind = ReportIndicators();
  ind.keys_set = true;
  const std::string& details = engine.result.EADetails;
  ind.details_set = !details.empty();
  ind.details = details.substr(0, kDetailsSize);
  if (!in_test) engine.result.AExtraText += "\nExtended analysis output is available in Obrin.\n";
}

void RecordFailure() {
  AnalyzerState& an = *Engine().analyzer;
  an.Canal_filename[0] = '\0';
  an.Canal_filename_ind = -1;
  ReportIndicators() = HistoryIndicators();
}

}  // namespace

bool EA_common(int slot, PatternEntry* entry, bool resymptom, bool redescribe) {
  AnalysisEngine& engine = Engine();
  if (!engine.analyzer) return false;
  engine.event_name[sizeof engine.event_name - 1] = '\0';
  for (auto& key : engine.Mkey) key[kMsgKeySize - 1] = '\0';
  AnalKeys keys = CurrentKeys();

  std::string description;
  char in_test = 'Y';
  int rc = SelectDescription(keys, description, in_test);
  if (rc == kAnalSqlError) {
    AnalSqlError("MsgText select");
    RollbackWork();
    return false;
  }
  if (rc == kAnalSqlNoRow) {
    std::string abstract = std::string(keys.event) + " description not found.";
    AnalAlert('H', abstract,
              std::string("key1='") + keys.key[0] + "', key2='" + keys.key[1] + "', key3='" +
                  keys.key[2] + "'\nfile=" + AnalStoreFile());
    AnalLog("0033", 'A', AnalMessageId(), abstract, AnalStoreFile());
    return false;
  }
  bool testing = in_test == 'Y';

  // The cursor needs a transaction: with autocommit on it gets one of its
  // own, ended when the cursor closes.
  bool began = false;
  (void)DaemonSqlBegin(&began);
  if (FruCursorOpen(keys) == kAnalSqlError) {
    AnalSqlError("open fru callout cursor");
    RollbackWork();
    return false;
  }
  auto close_cursor = [began] {
    FruCursorClose();
    if (began) (void)DaemonSqlCommit();
  };
  std::string name = std::string(AnalStoreFile()) + kReportSuffix;
  if (AnalStoreFile()[0] == '\0') {
    // Without a stored file the report would land in the working directory.
    AnalLogErrno(ENOENT, "0033", 'A', AnalMessageId(), "OPEN error for", name);
    close_cursor();
    RecordFailure();
    return false;
  }
  ReportFile out(name);
  bool db_error = false;
  bool ok = out.Open() &&
            WriteBody(out, slot, entry, resymptom, redescribe, testing, description, db_error);
  close_cursor();
  if (ok) ok = out.Finish();
  if (!ok) {
    out.Discard();
    RecordFailure();
    if (db_error) RollbackWork();
    return false;
  }
  RecordSuccess(name, testing);
  return true;
}

void EA_AnalysisFailed(const std::string& reason, bool quiet, int slot, PatternEntry* entry,
                       bool resymptom) {
  AnalysisEngine& engine = Engine();
  if (!quiet) AnalLog("0042", 'A', reason);
  std::snprintf(engine.Mkey[0], kMsgKeySize, "%s", kFailedEvent);
  for (int i = 1; i < kMsgKeyCount; ++i) std::snprintf(engine.Mkey[i], kMsgKeySize, "na");
  char saved[sizeof engine.event_name];
  std::memcpy(saved, engine.event_name, sizeof saved);
  std::snprintf(engine.event_name, sizeof engine.event_name, "%s", kFailedEvent);
  std::snprintf(engine.msgval[8], kCaptureSize, "%s", reason.c_str());
  engine.result.EADetails = "~Reason=" + reason + "~";
  (void)EA_common(slot, entry, resymptom, false);
  std::memcpy(engine.event_name, saved, sizeof saved);
}
