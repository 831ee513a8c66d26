#pragma once
// acctreset: puts the SP's service accounts back on their default passwords,
// except where an account holds a locally chosen one, or (-r, --do-root)
// sets the default root password.
//
// Files (each below QD_ROOT): the shadow file "/etc/shadow", the web
// server's password file "/etc/httpd/conf/.htpasswd", the SP marker
// "/sp/prdall", the password-file lock "/etc/.pwd.lock" and the system-log
// socket "/dev/log". Messages go to standard error, results to the system
// log (auth_log.h).

#include "auth_log.h"
#include "default_tables.h"

enum AcctResetExit {
  ACCTRESET_OK = 0,
  ACCTRESET_ERROR = 1,      // any error, argument errors included
  ACCTRESET_NOT_ON_SP = 12,  // not run by root, or not on an SP
};

// The program's state, owned by AcctResetMain.
struct AcctResetState {
  bool doRoot = false;
  DefaultTables tables;
  AuthLog log;
};

// Reads the options ("-r", "--do-root"). Returns ACCTRESET_OK, or
// ACCTRESET_ERROR after printing what is wrong ("Unknown option '-%c'.",
// "Required operand missing for option '-%c'.", "Unhandled option '-%c'.",
// and for what is no option at all "Unknown option '%s'." or "Unexpected
// operand '%s'.") and "Aborting due to argument errors.".
[[nodiscard]] int ParseAcctOptions(AcctResetState& state, int argc, char** argv);

// The service accounts: "qdapp" locked, "spdood", "spvar", "zarvekcust" on
// their current default unless locally set, in the shadow file (rewritten
// under the password-file lock) and then, with "setupusr", in the web
// password file. Each notice is logged once its file is in place. A failure
// with the shadow file stops before the web password file is touched; on
// any failure the file concerned is left exactly as it was. Returns
// ACCTRESET_OK or ACCTRESET_ERROR (the reason printed).
[[nodiscard]] int ResetServiceAccounts(AcctResetState& state);

// Root's shadow password set to the current default; logs "root password
// set" (notice) or "Failed to set password for root" (error). Returns
// ACCTRESET_OK or ACCTRESET_ERROR (the reason printed).
[[nodiscard]] int SetRootPassword(AcctResetState& state);

// The whole program: the root and SP check ("This code must be run by root
// on an SP." and ACCTRESET_NOT_ON_SP), the options, then one of the above.
// Returns the exit status.
[[nodiscard]] int AcctResetMain(int argc, char** argv);
