#pragma once
// The fixture of this folder's tests: qdAnalyze (AnalyzerRun) with the
// event files of the corpus below the test's root, each analysis requested
// by catalogue object id.
#include <map>
#include <string>
#include <vector>

#include "analyzer_run.h"
#include "event_corpus.h"

class EventRequestRun : public AnalyzerRun {
 protected:
  // AnalyzerRun's, and the corpus read into corpus_.
  void SetUp() override;

  // Writes the corpus file `name` below the root.
  void Install(const std::string& name);
  // The corpus event `name` (failing the test when there is none).
  const CorpusEvent& Corpus(const std::string& name) const;

  // Catalogues event file `name` as sequence `seq` of file type `type` and
  // requests its analysis. Returns the request's message id.
  std::string Request(const std::string& name, const std::string& seq, int type = 100);

  // The only row of `sql` as a number; -1 unless there is exactly one.
  long Number(const std::string& sql) const;
  // Rows of `sql`, one line each.
  std::string Rows(const std::string& sql) const;
  // Per sequence: history rows, and notification requests waiting for QDNOT
  // (by the " file, seq N, dated" of their source).
  std::map<std::string, long> HistoryRows() const;
  std::map<std::string, long> NotifyRequests() const;

  std::vector<CorpusEvent> corpus_;
};
