#pragma once
// Runs a folder of handler fixtures (tests/corpus/handlers/GROUP: NAME.event
// files with their attached command output, EXPECTED, NAME.analysis
// reports) through the running qdAnalyze, on or off the service processor,
// and reads back what each analysis left: the history row and the report.

#include <map>
#include <string>

#include "analyzer_run.h"

// One "[name]" section of EXPECTED: key -> value.
using FixtureSection = std::map<std::string, std::string>;

class HandlerRun : public AnalyzerRun {
 protected:
  // `group` names the fixture folder under tests/corpus/handlers.
  explicit HandlerRun(const std::string& group) : group_(group) {}

  std::string FixtureDir() const;
  // EXPECTED: "[name]" sections of "key = value" lines, "#" comments.
  std::map<std::string, FixtureSection> LoadExpected() const;

  // The dictionary with RUNNINGONSP Y or N.
  void Configure(bool on_sp);
  // Catalogues and requests every fixture in name order (sequence "h1",
  // "h2", ... in that order), waits until each was deleted, stops the
  // daemon.
  void AnalyzeAll(const std::map<std::string, FixtureSection>& expected);

  // "urgency|key1,...,key6|details|component|keyword" of the fixture's
  // history row ("" for null keys and details); "none" without a row.
  std::string History(const std::string& name);
  // The fixture's report with its run time as RUNDATE; "" when none.
  std::string Report(const std::string& name);
  // The expected report file's text; "" when the folder has none.
  std::string ExpectedReport(const std::string& name) const;
  // The history line EXPECTED asks for off the service processor.
  static std::string Want(FixtureSection want);

 private:
  std::string Seq(const std::string& name);
  std::string group_;
  std::map<std::string, std::string> seqs_;
};
