#include "summary.h"

#include <cstdio>

std::string SummaryLine(const ParkedGroup& group) {
  char count[32];
  std::snprintf(count, sizeof count, "%5ld", group.count);
  std::string line = std::string(count) + " " + group.abstract + "\n";
  if (group.forwarded[0] == 'Y') {
    if (line[0] == ' ') {
      line[0] = '*';
    } else {
      line.insert(line.begin(), '*');
    }
  }
  return line;
}

std::vector<GroupSummary> BuildSummaries(const std::vector<ParkedGroup>& groups) {
  std::vector<GroupSummary> out;
  for (size_t i = 0; i < groups.size(); ++i) {
    const ParkedGroup& g = groups[i];
    std::string line = SummaryLine(g);
    if (out.empty() || out.back().text.size() + line.size() > kSummaryTextMax) {
      GroupSummary next;
      next.first = g.first;
      next.last = g.last;
      next.begin = i;
      out.push_back(next);
    }
    GroupSummary& s = out.back();
    if (s.first.compare(g.first) > 0) s.first = g.first;
    if (s.last.compare(g.last) < 0) s.last = g.last;
    s.text += line;
    s.end = i + 1;
  }
  return out;
}
