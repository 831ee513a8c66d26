#pragma once
// The summary notifications of one serial: its parked rows, grouped by the
// database into one group per notification (identification, abstract and
// forwarded mark), become one text line per group and the lines are cut
// into summaries that fit the notification text of a "GNR" request.
//
// Pure functions: no database, no service, no logging.

#include <cstddef>
#include <string>
#include <vector>

// Longest summary text (the record's text field holds one more byte).
constexpr size_t kSummaryTextMax = 4000;
// Text form of the event times the database hands over:
// "yyyy/mm/dd hh24:mi:ss" and a NUL.
constexpr size_t kGroupTimeSize = 20;

// One group of parked rows, as the group cursor returns it. Plain char
// arrays, so the embedded-SQL module can fill it directly.
struct ParkedGroup {
  char ap_vendor[41];
  char ap_product[41];
  char ap_prod_id[81];
  bool ap_vendor_null;   // the column was NULL (the text is then "")
  bool ap_product_null;
  bool ap_prod_id_null;
  char sp_vendor[41];
  char sp_product[41];
  char sp_prod_id[81];
  char abstract[81];
  char forwarded[2];     // upper(coalesce(forwarded_rap, 'N')): "Y" when forwarded
  long count;            // sum of the rows' counters
  char first[kGroupTimeSize];  // earliest first event time
  char last[kGroupTimeSize];   // latest last event time
};

// One summary: its text, the range of event times of the groups it holds,
// and those groups, groups[begin] to groups[end - 1].
struct GroupSummary {
  std::string text;
  std::string first;
  std::string last;
  size_t begin = 0;
  size_t end = 0;
};

// The line of one group: the summed count right-aligned in five places, a
// blank, the abstract and a line feed ("%5ld %s\n"). A forwarded group is
// marked with '*' in the first place; when the count fills that place
// (10000 or more) the mark goes in front of it, so no digit is lost.
std::string SummaryLine(const ParkedGroup& group);

// Cuts the lines of `groups` (oldest first) into summaries of at most
// kSummaryTextMax characters, in order. A line that would make a summary
// longer starts the next one. Each summary's range runs from the earliest
// first time to the latest last time of its own groups (compared as text,
// which orders this time form). No groups give no summary.
std::vector<GroupSummary> BuildSummaries(const std::vector<ParkedGroup>& groups);
