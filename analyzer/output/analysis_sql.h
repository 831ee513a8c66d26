#pragma once
// The statements of message texts, the analysis report and the history
// row, on the process's default embedded-SQL connection. Each function runs
// one statement and leaves its outcome in sqlca: on an error the caller
// logs it (AnalSqlError) before anything else touches the database.

#include <string>

enum AnalSqlResult : int {
  kAnalSqlRow = 0,     // a row was read (or the statement succeeded)
  kAnalSqlNoRow = 1,   // no row, or the wanted text is null
  kAnalSqlError = -1,  // the statement failed (more than one row included)
};

// Keys of a message text, description or callout lookup: file type, event
// name and Mkey1..Mkey6 (only the first three for texts). A key column
// holding "*" matches any value.
struct AnalKeys {
  int file_type = 0;
  const char* event = "";
  const char* key[6] = {"", "", "", "", "", ""};
};

// The msgtext of the matching qd_anal_msgtext row (up to 4000 characters).
[[nodiscard]] int SelectMsgText(const AnalKeys& keys, std::string& text);

// The description of the matching qd_anal_msgtext row (up to 4000
// characters) and its in_test flag ('Y' when null).
[[nodiscard]] int SelectDescription(const AnalKeys& keys, std::string& description,
                                    char& in_test);

// One FRU callout joined with its part, as the report lists it.
struct FruCalloutRow {
  long priority = 0;
  long probability = 0;
  std::string part_number;
  std::string part_name;
  std::string notes;           // meaningful when has_notes
  std::string mproc_filename;  // meaningful when has_mproc
  std::string gm_script;       // meaningful when has_script
  std::string part_num_text;   // meaningful when has_part_text
  bool has_notes = false;
  bool has_mproc = false;
  bool has_script = false;
  bool has_part_text = false;
};

// Opens the callout cursor "fc" for `keys` (ordered by priority, then
// order_in_priority). kAnalSqlRow or kAnalSqlError.
[[nodiscard]] int FruCursorOpen(const AnalKeys& keys);
// The next row: kAnalSqlRow, kAnalSqlNoRow at the end, kAnalSqlError.
[[nodiscard]] int FruCursorFetch(FruCalloutRow& row);
// Closes the cursor; an error (the cursor not open) is ignored.
void FruCursorClose();

// One qd_anal_history row. Texts are already cut to their column widths;
// a false *_set leaves that column null. Dates are "yyyy/mm/dd hh24:mi:ss".
struct HistoryRow {
  std::string vendor, product, prod_id;
  std::string file_date;
  bool file_date_set = false;
  int file_type = 0;
  std::string file_seq;
  int template_used = 0;
  std::string anal_date;
  std::string event_type;
  std::string event_date;
  bool event_date_set = false;
  std::string component, component_loc, symptom_keyword, symptom_detail;
  char urgency = 'H';
  std::string severity;
  std::string key[6];
  bool keys_set = false;
  std::string details;
  bool details_set = false;
};

// Inserts the row (not committed). kAnalSqlRow or kAnalSqlError.
[[nodiscard]] int InsertHistory(const HistoryRow& row);

// "commit work" when a transaction is open (DaemonSqlCommit). kAnalSqlRow or
// kAnalSqlError.
[[nodiscard]] int CommitWork();

// Rolls the current transaction back after a failed statement, so that the
// later statements of the same analysis (the history row, the catalogue)
// do not run in an aborted transaction. Its own error is ignored.
void RollbackWork();
