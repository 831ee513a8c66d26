#pragma once
// Fixture of the program-level tests of qdAnalyze: the daemon started in
// the foreground (-d) on the ProgramRun fixture, requests sent to "QDAN" as
// "AIQ", files catalogued in qd_fdb_cat, outcomes read from the platform
// log, the transaction log, the history table, the reports and the exit
// status.

#include <map>
#include <string>
#include <vector>

#include "program_run.h"

constexpr double kAnalyzerPatience = kDaemonPatience;

// Fields every request carries: the SP that sent it, and the product.
extern const std::vector<std::string> kRequestSp;
extern const std::vector<std::string> kRequestProd;

// Where the event files of the Velmar array 1400123 are stored (below the
// test's root); its requests name that product.
extern const char kEventDir[];
extern const std::vector<std::string> kEventProd;

// A qd_anal_history row, column -> text: event_type, component,
// component_loc, symptom_keyword, symptom_detail, urgency, severity,
// template_used, event_date ("yyyy/mm/dd hh24:mi:ss"), keys (ea_key1..6
// joined by ',', nulls left out) and details (ea_details); null as "".
using HistoryFields = std::map<std::string, std::string>;

class AnalyzerRun : public ProgramRun {
 protected:
  // Starts qdAnalyze -d with `args`.
  void Start(std::vector<std::string> args);
  // Starts and waits until the daemon is connected and registered.
  void StartReady(const std::vector<std::string>& args);

  // Sends a record of format `fmt` built from `settings` to QDAN as AIQ
  // (ProgramRun::SendRecord). Returns the message id as the log shows it.
  std::string Send(const std::vector<std::string>& settings, int fmt = 2, long size = -1);

  // Adds a catalogue row of Zarvek Velmar 1234567 dated 2024-05-01
  // 12:34:56 with file type `type`, sequence `seq` and stored name `store`;
  // returns its object id.
  std::string Catalogue(int type, const std::string& store = "/sp/prod/data/files/1234567/cfg9",
                        const std::string& seq = "9");
  // Adds the catalogue row of event file `name` of kEventDir (Zarvek VELMAR
  // 1400123, dated 2005-04-15 10:00:00, sequence `seq`); returns its
  // object id ("" after a failure, which the test is told of).
  std::string CatalogueEvent(const std::string& name, const std::string& seq);
  // Sends the request for the catalogued file `objid` of the Velmar array
  // 1400123 with `extra` settings. Returns the message id.
  std::string RequestEvent(const std::string& objid, const std::vector<std::string>& extra = {});

  // The status column of qd_txn_log rows matching `where`, oldest first.
  std::vector<std::string> Statuses(const std::string& where) const;

  // The history row of file sequence `seq`; empty when there is not
  // exactly one.
  HistoryFields HistoryRow(const std::string& seq) const;

  // The report of event file `name` of kEventDir, its run time written as
  // RUNDATE (NormalizedReport); "" when there is none.
  std::string EventReport(const std::string& name) const;
};

// `report` with the text of its analysis time, which differs per run,
// written as "RUNDATE" (as the expected report files hold it).
std::string NormalizedReport(const std::string& report);
