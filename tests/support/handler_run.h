#pragma once
// Runs a folder of handler fixtures (tests/corpus/handlers/GROUP: NAME.event
// files with their attached command output, EXPECTED, NAME.analysis
// reports) through the running qdAnalyze, on or off the service processor,
// and reads back what each analysis left: the history row and the report.

#include <string>
#include <vector>

#include "analyzer_run.h"
#include "expected_file.h"

class HandlerRun : public AnalyzerRun {
 protected:
  // `group` names the fixture folder under tests/corpus/handlers; the
  // fixtures' file sequences are `seq_prefix` and their number in name
  // order ("h1", "h2", ...), as their expected reports name them.
  explicit HandlerRun(const std::string& group, const std::string& seq_prefix = "h")
      : group_(group), seq_prefix_(seq_prefix) {}

  // The folder, ending in '/'.
  std::string FixtureDir() const;
  // The folder's EXPECTED; a file that cannot be read or parsed fails the
  // test and gives no sections.
  ExpectedSections LoadExpected() const;

  // The dictionary with RUNNINGONSP Y or N.
  void Configure(bool on_sp);
  // Catalogues and requests every fixture in name order, one at a time
  // (later fixtures read the history rows of earlier ones), waits until
  // each was deleted, stops the daemon.
  void AnalyzeAll(const ExpectedSections& expected);

  // The file sequence of fixture `name`.
  std::string Seq(const std::string& name);

  // The fixture's history row as the EXPECTED keys `keys` name its
  // columns (urgency, keys, details, component, keyword, detail), joined
  // by '|'; "none" without a row.
  std::string History(const std::string& name,
                      const std::vector<std::string>& keys = kHistoryKeys);
  // The same line from the fixture's EXPECTED section ("none" for keys or
  // details given as "none" reads ""; "history = none" gives "none").
  static std::string Want(ExpectedSection want,
                          const std::vector<std::string>& keys = kHistoryKeys);
  static const std::vector<std::string> kHistoryKeys;

  // The fixture's report with its run time as RUNDATE; "" when none.
  std::string Report(const std::string& name) const { return EventReport(name); }
  // The expected report file's text (normalized alike); "" when the
  // folder has none.
  std::string ExpectedReport(const std::string& name) const;

 private:
  std::string group_;
  std::string seq_prefix_;
  std::map<std::string, std::string> seqs_;
};
