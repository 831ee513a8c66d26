// EA_common and EA_AnalysisFailed: the report layout byte for byte, its
// all-or-nothing writing, and what a report leaves for the history row.

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "anal_history.h"
#include "analysis_report.h"
#include "qd_path.h"
#include "analysis_db_fixture.h"

namespace {

const char kTemplate[] = "PD|%V1. TP_ALRT disk_failed Disk %V0. has failed(disk_event)";
const char kDescription[] = "Disk %V0. in %V1{Upper}. has failed.\nReplace it.";
const char kProcedure[] = "/sp/prod/code/mproc/MPROC_RESEAT.txt";

std::string Expected(const std::string& name) {
  const char* src = std::getenv("QD_SOURCE_DIR");
  std::ifstream in(std::string(src ? src : ".") + "/tests/analyzer_report/expected/" + name,
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Names in the directory of the report, so a test can see that no
// temporary file stays behind.
std::vector<std::string> EventDir(const TempRoot& root) {
  std::vector<std::string> names;
  std::string dir = root.under("/sp/prod/data/files/1400123/event");
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ReportTest : public AnalysisDbTest {
 protected:
  void SetUp() override {
    AnalysisDbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    EventData& ev = Engine().evtdata;
    ev.found = true;
    ev.templ[1] = kTemplate;
    ev.templ_present[1] = true;
    entry_.rule = 1;
    std::strcpy(Engine().capture[0], "12");
    std::strcpy(Engine().capture[1], "cage2:mag3");
    Engine().result.ASymptom = "Disk failed(disk_event)";
    Keys("DISK", "FAILED");
    // The tests bring their own rows, also for the installed "AnalysisFailed".
    Sql("delete from qd_anal_msgtext where eventname = 'AnalysisFailed';"
        "delete from qd_fru_callout where eventname = 'AnalysisFailed'");
    Sql("insert into qd_fru values "
        "('5697-1234', 'Disk drive 300GB', null, null, '5697-1234 (or 5697-1235)'),"
        "('5697-2000', 'Drive magazine', null, 'gm_replace_mag', null),"
        "('5697-3000', 'Cage midplane', null, null, null),"
        "('MPROC-RESEAT', 'Reseat procedure', '" + std::string(kProcedure) + "', null, null)");
  }

  void Description(const char* in_test, const char* key2 = "*") {
    Sql(std::string("insert into qd_anal_msgtext values (100, '") + kEvent + "', 'DISK', '" + key2 +
        "', '*', 'the message', '" + kDescription + "', " + in_test + ")");
  }
  void Callout(const char* key2, int priority, int order, int probability, const char* fru,
               const char* notes) {
    Sql(std::string("insert into qd_fru_callout values (100, '") + kEvent + "', 'DISK', '" + key2 +
        "', '*', '*', '*', '*', " + std::to_string(priority) + ", " + std::to_string(order) + ", " +
        std::to_string(probability) + ", '" + fru + "', " + notes + ")");
  }
  void Procedure() {
    root_->write(kProcedure, "Step 1: quiesce the cage.\nStep 2: reseat the magazine.\n");
  }
  std::string Report() const { return root_->read(kReportName); }
  bool ReportExists() const {
    struct stat sb;
    return stat(root_->under(kReportName).c_str(), &sb) == 0;
  }

  PatternEntry entry_;
};

// ---- layout ------------------------------------------------------------

TEST_F(ReportTest, InTestReportWithTwoPriorityGroups) {
  Description("null");
  // Inserted out of order: the report follows priority, then order.
  Callout("*", 2, 1, 20, "5697-3000", "null");
  Callout("FAILED", 1, 2, 80, "5697-2000", "null");
  Callout("*", 1, 1, 80, "5697-1234", "'Check the magazine LED first'");
  Callout("OTHER", 1, 0, 80, "5697-3000", "null");  // keys that do not match
  Engine().result.EADetails = "~Comp=PD12~";

  ASSERT_TRUE(EA_common(0, &entry_, false, false));
  EXPECT_EQ(Report(), Expected("in_test_two_groups.analysis"));
  EXPECT_EQ(EventDir(*root_), (std::vector<std::string>{"evt_0042", "evt_0042.analysis"}));
  EXPECT_EQ(Engine().result.ASymptom, "PD|cage2:mag3 TP_ALRT disk_failed Disk 12 has failed(disk_event)");
  EXPECT_EQ(Engine().result.ADescription, "Disk 12 in CAGE2:MAG3 has failed.\nReplace it.");
  // In test: no pointer to the extended output.
  EXPECT_EQ(Engine().result.AExtraText, "");
  EXPECT_STREQ(analyzer_.Canal_filename, kReportName);
  EXPECT_EQ(analyzer_.Canal_filename_ind, 0);
  EXPECT_TRUE(ReportIndicators().keys_set);
  EXPECT_TRUE(ReportIndicators().details_set);
  EXPECT_EQ(ReportIndicators().details, "~Comp=PD12~");
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(ReportTest, ReleasedReportWithOneGroupAndAProcedureFile) {
  Description("'N'");
  Procedure();
  Callout("*", 1, 1, 100, "MPROC-RESEAT", "'Follow the procedure below'");
  Callout("*", 1, 2, 100, "5697-2000", "null");
  // A report of an earlier analysis of the same file is replaced.
  root_->write(kReportName, "old report\n");

  ASSERT_TRUE(EA_common(0, &entry_, false, false));
  EXPECT_EQ(Report(), Expected("released_procedure.analysis"));
  EXPECT_EQ(Engine().result.AExtraText, "\nExtended analysis output is available in Obrin.\n");
  EXPECT_FALSE(ReportIndicators().details_set);  // EADetails was empty
  EXPECT_TRUE(ReportIndicators().keys_set);
}

TEST_F(ReportTest, MissingCalloutIsWrittenIntoTheReportAndNotified) {
  Description("'N'");
  Callout("*", 1, 1, 100, "5697-2000", "null");
  Keys("DISK", "UNKNOWN");
  Sql("update qd_fru_callout set key2 = 'FAILED'");

  ASSERT_TRUE(EA_common(0, &entry_, false, false));
  EXPECT_EQ(Report(), Expected("released_no_callout.analysis"));
  const std::string text =
      "File_type=100, event=evt_report_test, mkey1=DISK, mkey2=UNKNOWN, mkey3=na, mkey4=na, "
      "mkey5=na, mkey6=na\nFile=" + std::string(kStoreFile);
  ASSERT_EQ(Alerts().size(), 1u);
  EXPECT_EQ(Alerts()[0], "H FRU select error for evt_report_test / " + text);
  std::string log = Log();
  EXPECT_NE(log.find("QDA0033 A Message 0000002A: select FRU error " + std::string(kStoreFile)),
            std::string::npos);
  EXPECT_NE(log.find("QDA9999 2 File_type=100, event=evt_report_test"), std::string::npos);
  EXPECT_TRUE(ReportIndicators().keys_set);
}

TEST_F(ReportTest, LongProcedureLinesAreCopiedInPieces) {
  Description("'N'");
  Callout("*", 1, 1, 100, "MPROC-RESEAT", "null");
  std::string longline(2500, 'x');
  root_->write(kProcedure, longline + "\nshort\nno newline at the end");

  ASSERT_TRUE(EA_common(0, &entry_, false, false));
  std::string report = Report();
  std::string section = report.substr(report.find("\tMaintenance Procedure:\n") + 24);
  EXPECT_EQ(section, "\t\t" + std::string(1021, 'x') + "\t\t" + std::string(1021, 'x') + "\t\t" +
                         std::string(458, 'x') + "\n\t\tshort\n\t\tno newline at the end");
}

TEST_F(ReportTest, SymptomAndDescriptionExpandedTwiceOnRequest) {
  // The first expansion yields template text, the second resolves it.
  Sql(std::string("insert into qd_anal_msgtext values (100, '") + kEvent +
      "', '*', '*', '*', null, 'Seen %%V0{Trim}.: %V2.', 'N')");
  Callout("*", 1, 1, 100, "5697-2000", "null");
  std::strcpy(Engine().capture[2], "%V1{Upper}.");
  Engine().evtdata.templ[1] = "%%V1. %V2.";
  ASSERT_TRUE(EA_common(0, &entry_, true, true));
  EXPECT_EQ(Engine().result.ASymptom, "cage2:mag3 CAGE2:MAG3");
  EXPECT_EQ(Engine().result.ADescription, "Seen 12: CAGE2:MAG3");

  ASSERT_TRUE(EA_common(0, &entry_, false, false));
  EXPECT_EQ(Engine().result.ASymptom, "%V1. %V1{Upper}.");
  EXPECT_EQ(Engine().result.ADescription, "Seen %V0{Trim}.: %V1{Upper}.");

  // No template behind the rule (null, or no template number): kept.
  for (int rule : {3, 12}) {
    entry_.rule = rule;
    ASSERT_TRUE(EA_common(0, &entry_, false, false));
    EXPECT_EQ(Engine().result.ASymptom, "%V1. %V1{Upper}.");
  }
}

// ---- failures ----------------------------------------------------------

TEST_F(ReportTest, MissingDescriptionMakesNoFile) {
  Callout("*", 1, 1, 100, "5697-2000", "null");
  EXPECT_FALSE(EA_common(0, &entry_, false, false));
  EXPECT_FALSE(ReportExists());
  ASSERT_EQ(Alerts().size(), 1u);
  EXPECT_EQ(Alerts()[0], "H evt_report_test description not found. / key1='DISK', key2='FAILED', "
                         "key3='na'\nfile=" + std::string(kStoreFile));
  EXPECT_NE(Log().find("QDA0033 A Message 0000002A: evt_report_test description not found. " +
                       std::string(kStoreFile)),
            std::string::npos);
  EXPECT_EQ(analyzer_.Canal_filename_ind, -1);
  EXPECT_FALSE(ReportIndicators().keys_set);
}

TEST_F(ReportTest, ProcedureFileThatCannotBeOpenedRemovesTheWholeReport) {
  Description("'N'");
  Callout("*", 1, 1, 100, "5697-2000", "null");
  Callout("*", 2, 1, 50, "MPROC-RESEAT", "null");  // no procedure file written
  root_->write(kReportName, "old report\n");
  Engine().result.EADetails = "~x~";

  EXPECT_FALSE(EA_common(0, &entry_, false, false));
  EXPECT_EQ(EventDir(*root_), std::vector<std::string>{"evt_0042"});
  EXPECT_NE(Log().find("QDA0033 A Message 0000002A: OPEN error for " + std::string(kProcedure) +
                       ": No such file or directory"),
            std::string::npos);
  EXPECT_EQ(analyzer_.Canal_filename_ind, -1);
  EXPECT_FALSE(ReportIndicators().keys_set);
  EXPECT_FALSE(ReportIndicators().details_set);
  EXPECT_EQ(Engine().result.AExtraText, "");
}

// Writes fail once the report passes `limit` bytes (the process's file size
// limit, with SIGXFSZ ignored so the write itself reports EFBIG).
bool WriteWithFileLimit(rlim_t limit, PatternEntry* entry) {
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  void (*old)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = limit;
  setrlimit(RLIMIT_FSIZE, &small);
  bool ok = EA_common(0, entry, false, false);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old);
  return ok;
}

TEST_F(ReportTest, WriteOrCloseFailureLeavesNoHalfReport) {
  Description("'N'");
  Callout("*", 1, 1, 100, "MPROC-RESEAT", "null");
  // A procedure longer than the stream's buffer: a write fails on the way.
  // (The limit leaves the fresh platform log room for the messages.)
  root_->write(kProcedure, std::string(20000, 'p') + "\n");
  EXPECT_FALSE(WriteWithFileLimit(8192, &entry_));
  EXPECT_EQ(EventDir(*root_), std::vector<std::string>{"evt_0042"});
  EXPECT_EQ(analyzer_.Canal_filename_ind, -1);
  EXPECT_NE(Log().find("FPUTS error for " + std::string(kReportName)), std::string::npos);

  // A short report stays in the buffer: the failure shows at the close
  // (whose message cannot reach the log under this limit).
  Procedure();
  EXPECT_FALSE(WriteWithFileLimit(300, &entry_));
  EXPECT_EQ(EventDir(*root_), std::vector<std::string>{"evt_0042"});

  EXPECT_TRUE(EA_common(0, &entry_, false, false));  // and with room it works
}

TEST_F(ReportTest, AmbiguousDescriptionIsADatabaseErrorThatSparesLaterStatements) {
  Description("'N'", "*");
  Description("'N'", "FAILED");  // both match keys DISK/FAILED
  Callout("*", 1, 1, 100, "5697-2000", "null");
  EXPECT_FALSE(EA_common(0, &entry_, false, false));
  EXPECT_FALSE(ReportExists());
  EXPECT_FALSE(st_.reconnect) << "the statement failed, the connection lives on";
  EXPECT_NE(Log().find("QDZ0100 2 Database error"), std::string::npos);
  EXPECT_NE(Log().find("MsgText select"), std::string::npos);
  // The history row of the same analysis still goes in.
  EXPECT_EQ(WriteHistory(&entry_, nullptr, "Major", "comp_hw_disk"), kHistoryWritten);
  EXPECT_EQ(Query("select count(*) from qd_anal_history"), std::vector<std::string>{"1"});
}

// ---- analysis failed ---------------------------------------------------

TEST_F(ReportTest, AnalysisFailedReportComesFromItsOwnRows) {
  Sql("insert into qd_anal_msgtext values (100, 'AnalysisFailed', 'AnalysisFailed', '*', '*', "
      "null, 'Analysis could not finish: %M8.', 'N')");
  Sql("insert into qd_fru_callout values (100, 'AnalysisFailed', '*', 'na', '*', '*', '*', '*', "
      "1, 1, 100, '5697-3000', null)");
  std::strcpy(Engine().msgval[8], "<no value>");

  EA_AnalysisFailed("showcage output not available", false, 0, &entry_, false);
  std::string report = Report();
  EXPECT_NE(report.find("========== Symptom ==============================\n"
                        "PD|cage2:mag3 TP_ALRT disk_failed Disk 12 has failed(disk_event)\n"),
            std::string::npos);
  EXPECT_NE(report.find("Analysis could not finish: showcage output not available\n"),
            std::string::npos);
  EXPECT_NE(report.find("\tPart name: Cage midplane\n"), std::string::npos);
  EXPECT_STREQ(Engine().event_name, kEvent);
  EXPECT_STREQ(Engine().Mkey[0], "AnalysisFailed");
  for (int i = 1; i < kMsgKeyCount; ++i) EXPECT_STREQ(Engine().Mkey[i], "na");
  EXPECT_EQ(Engine().result.EADetails, "~Reason=showcage output not available~");
  EXPECT_EQ(ReportIndicators().details, "~Reason=showcage output not available~");
  EXPECT_NE(Log().find("QDA0042 A Extended analysis failed: showcage output not available"),
            std::string::npos);
}

TEST_F(ReportTest, QuietAnalysisFailedLogsNothingAndRestoresTheNameOnFailure) {
  EA_AnalysisFailed("disk listing missing", true, 0, &entry_, false);
  EXPECT_FALSE(ReportExists());  // no "AnalysisFailed" rows at all
  EXPECT_STREQ(Engine().event_name, kEvent);
  EXPECT_EQ(Log().find("QDA0042"), std::string::npos);
  EXPECT_TRUE(Alerted("H AnalysisFailed description not found."));
}

}  // namespace
