#pragma once
// What acctreset does to the lines of the shadow file and of the web
// server's password file, as pure text transformations. Only the accounts
// named in the rules are touched, and of their lines only the password
// (shadow: the second field; web: the line). Every other byte, including
// lines of any length, blank lines and a last line without a line feed, is
// copied unchanged.

#include <string>
#include <vector>

#include "default_tables.h"

// What to do with an account's shadow line.
enum ShadowAction {
  SHADOW_LOCK = 0,     // password field "!!"
  SHADOW_DEFAULT = 1,  // the table's current default, unless locally set
  SHADOW_FORCE = 2,    // the table's current default, always
};

struct ShadowRule {
  const char* account;
  ShadowAction action;
  const PWS* table;  // unscrambled; unused for SHADOW_LOCK
};

struct WebRule {
  const char* account;
  const PWS* table;  // unscrambled web table
};

// What a rewrite did: the system-log notices to issue once the new file is
// in place, and how many lines were changed by a SHADOW_FORCE rule.
struct RewriteOutcome {
  std::vector<std::string> notices;
  int forced = 0;
};

// True when `hash` is a locally chosen shadow password: it does not begin
// with "!" and is none of the hashes of `table`. An empty field (an account
// that needs no password at all) is never taken as locally chosen.
bool ShadowHashIsLocal(const std::string& hash, const PWS* table);

// True when the web password line `line` (without its line feed) is locally
// chosen: the character after its first colon is not "!" and the line is
// none of the lines of `table`. An empty password is never locally chosen.
bool WebLineIsLocal(const std::string& line, const PWS* table);

// Copies the shadow file text `in` to `out`, applying `rules` to the lines
// whose first field names a rule's account. SHADOW_DEFAULT adds the notice
// "Set default password for <account>" or "Retained locally set password
// for <account>" for each such line. A line with fewer than two fields is
// copied unchanged.
void RewriteShadowText(const std::string& in, const std::vector<ShadowRule>& rules,
                       std::string& out, RewriteOutcome& outcome);

// Copies the web password file text `in` to `out`; a line beginning
// "<account>:" of a rule is replaced by the table's current default line
// unless it is locally set, with the notice "Set default http password for
// <account>" or "Retained locally set http password for <account>".
void RewriteWebText(const std::string& in, const std::vector<WebRule>& rules, std::string& out,
                    RewriteOutcome& outcome);
