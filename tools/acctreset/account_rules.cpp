#include "account_rules.h"

#include <cstring>

namespace {

// Calls `each(line, eol)` for every line of `text`; `eol` is "\n" or, for a
// last line without one, "".
template <typename F>
void ForEachLine(const std::string& text, F each) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) {
      each(text.substr(pos), "");
      return;
    }
    each(text.substr(pos, nl - pos), "\n");
    pos = nl + 1;
  }
}

const ShadowRule* FindShadowRule(const std::vector<ShadowRule>& rules, const std::string& name) {
  for (const ShadowRule& rule : rules) {
    if (name == rule.account) return &rule;
  }
  return nullptr;
}

const WebRule* FindWebRule(const std::vector<WebRule>& rules, const std::string& line) {
  for (const WebRule& rule : rules) {
    std::size_t n = std::strlen(rule.account);
    if (line.size() > n && line.compare(0, n, rule.account) == 0 && line[n] == ':') return &rule;
  }
  return nullptr;
}

// The new password field for `hash` under `rule`; adds its notice.
std::string NewShadowHash(const ShadowRule& rule, const std::string& hash,
                          RewriteOutcome& outcome) {
  switch (rule.action) {
    case SHADOW_LOCK:
      return "!!";
    case SHADOW_FORCE:
      ++outcome.forced;
      return rule.table[0].buf;
    case SHADOW_DEFAULT:
      break;
  }
  if (ShadowHashIsLocal(hash, rule.table)) {
    outcome.notices.push_back(std::string("Retained locally set password for ") + rule.account);
    return hash;
  }
  outcome.notices.push_back(std::string("Set default password for ") + rule.account);
  return rule.table[0].buf;
}

// A table line is kept with its line feed; the comparison leaves it out.
std::string WebTableLine(const PWS& entry) {
  std::string line = entry.buf;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

}  // namespace

bool ShadowHashIsLocal(const std::string& hash, const PWS* table) {
  if (hash.empty() || hash[0] == '!') return false;
  for (const PWS* entry = table; entry->scrambled != nullptr; ++entry) {
    if (hash == entry->buf) return false;
  }
  return true;
}

bool WebLineIsLocal(const std::string& line, const PWS* table) {
  std::size_t colon = line.find(':');
  if (colon == std::string::npos || colon + 1 >= line.size() || line[colon + 1] == '!') return false;
  for (const PWS* entry = table; entry->scrambled != nullptr; ++entry) {
    if (line == WebTableLine(*entry)) return false;
  }
  return true;
}

void RewriteShadowText(const std::string& in, const std::vector<ShadowRule>& rules,
                       std::string& out, RewriteOutcome& outcome) {
  out.clear();
  out.reserve(in.size() + 256);
  ForEachLine(in, [&](const std::string& line, const char* eol) {
    std::size_t first = line.find(':');
    const ShadowRule* rule =
        first == std::string::npos ? nullptr : FindShadowRule(rules, line.substr(0, first));
    if (rule == nullptr) {
      out += line;
      out += eol;
      return;
    }
    std::size_t second = line.find(':', first + 1);
    std::size_t hashEnd = second == std::string::npos ? line.size() : second;
    std::string hash = line.substr(first + 1, hashEnd - first - 1);
    out.append(line, 0, first + 1);
    out += NewShadowHash(*rule, hash, outcome);
    out.append(line, hashEnd, std::string::npos);
    out += eol;
  });
}

void RewriteWebText(const std::string& in, const std::vector<WebRule>& rules, std::string& out,
                    RewriteOutcome& outcome) {
  out.clear();
  out.reserve(in.size() + 256);
  ForEachLine(in, [&](const std::string& line, const char* eol) {
    const WebRule* rule = FindWebRule(rules, line);
    if (rule == nullptr) {
      out += line;
    } else if (WebLineIsLocal(line, rule->table)) {
      outcome.notices.push_back(std::string("Retained locally set http password for ") +
                                rule->account);
      out += line;
    } else {
      outcome.notices.push_back(std::string("Set default http password for ") + rule->account);
      out += WebTableLine(rule->table[0]);
    }
    out += eol;
  });
}
