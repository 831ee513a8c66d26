#pragma once
// Process-wide state of the analyzer beside the framework's DaemonState:
// the values of the file being analyzed, set by process_message and read by
// every analysis, and the compiled event-handler patterns.

#include <regex.h>

#include <memory>
#include <vector>

#include "daemon.h"

// The file of the current analysis. Texts are NUL-terminated.
struct CurrentFile {
  char Cobjid[40];            // object id in qd_fdb_cat; "" when named by identification
  char Cvendor[41];
  char Cproduct[41];
  char Cprod_id[81];          // serial of the machine the file comes from
  char Cfile_date[20];        // "yyyy/mm/dd hh24:mi:ss"
  int Cfile_type;             // 100 event, 101 configuration
  char Cfile_seq[11];
  char Cprod_filename[257];   // the name the product knows the file by
  char Cstore_filename[257];  // the name in the file database
  char Cencription[2];
  char Ccompression[2];
  char Cchar_set[2];
  char Chw_architecture[2];
};

// One compiled event-handler pattern; `compiled` false leaves the slot
// empty (the pattern did not compile).
struct HandlerPattern {
  regex_t regex;
  bool compiled = false;
};

struct AnalyzerState {
  CurrentFile file{};
  char Orun_date[20] = {0};        // local time of the analysis, "yyyy/mm/dd hh:mm:ss"
  char Canal_filename[266] = {0};  // analysis report name
  short Canal_filename_ind = -1;   // its null indicator (-1 null)
  bool Suppress_notify = false;
  int notclass = 0;                // notification class of the analysis
  std::vector<std::unique_ptr<HandlerPattern>> patterns;
};

// The analyzer state that main hung on `st.app`.
inline AnalyzerState& Analyzer(DaemonState& st) { return *static_cast<AnalyzerState*>(st.app); }
