#include "acctreset.h"

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "account_rules.h"
#include "password_file.h"
#include "qd_path.h"

namespace {

const char* const kPermFile = "/etc/shadow";
const char* const kPermHT = "/etc/httpd/conf/.htpasswd";
const char* const kSpMarker = "/sp/prdall";

// Each text names the file as operators know it from the tool's messages.
struct FileTexts {
  const char* lockFailed;  // null: the file is rewritten without the lock
  const char* openFailed;
  const char* tempCreateFailed;
  const char* tempWriteFailed;
  const char* renameFailed;
  const char* syncFailed;
};

const FileTexts kShadowTexts = {
    "Failed to lock perm file\n",       "Failed to open perm file: %s\n",
    "Failed to open temp file: %s\n",   "Failed to write temp file: %s\n",
    "Failed write for perm file: %s\n", "Failed to close perm file: %s\n",
};

const FileTexts kWebTexts = {
    nullptr,
    "Failed to open permHT file: %s\n",
    "Failed to open tempHT file: %s\n",
    "Failed write for tempHT file: %s\n",
    "Failed write for permHT file: %s\n",
    "Failed to close permHT file: %s\n",
};

void PrintErr(const char* format, int errnum) {
  std::fprintf(stderr, format, std::strerror(errnum));
}

const char* ReplaceFailureText(const FileTexts& texts, int step) {
  switch (step) {
    case PWFILE_CREATE_TEMP: return texts.tempCreateFailed;
    case PWFILE_WRITE_TEMP: return texts.tempWriteFailed;
    case PWFILE_RENAME: return texts.renameFailed;
    default: return texts.syncFailed;
  }
}

// Reads `path`, lets `rewrite` make the new text and puts it in place, under
// the password-file lock when the texts name one. Returns 0 or 1 (printed).
template <typename Rewrite>
int RewriteFile(const std::string& path, const FileTexts& texts, Rewrite rewrite) {
  PasswordLock lock;
  int errnum = 0;
  // The lock is held from the read to the rename, so no other password tool
  // can change the file in between and have its change undone.
  if (texts.lockFailed != nullptr && lock.Acquire(PasswordLockPath(), errnum) != 0) {
    std::fputs(texts.lockFailed, stderr);
    return ACCTRESET_ERROR;
  }
  std::string text;
  struct stat st;
  if (ReadPasswordFile(path, text, st, errnum) != 0) {
    PrintErr(texts.openFailed, errnum);
    return ACCTRESET_ERROR;
  }
  std::string out;
  rewrite(text, out);
  PasswordFileResult result = ReplacePasswordFile(path, out, st);
  if (result.step != PWFILE_OK) {
    PrintErr(ReplaceFailureText(texts, result.step), result.errnum);
    return ACCTRESET_ERROR;
  }
  return ACCTRESET_OK;
}

void LogNotices(AcctResetState& state, const std::vector<std::string>& notices) {
  for (const std::string& notice : notices) AuthLogSend(state.log, AUTHLOG_NOTICE, notice);
}

bool IsOption(int c) { return c == 'r'; }

}  // namespace

int ParseAcctOptions(AcctResetState& state, int argc, char** argv) {
  static const struct option kLong[] = {
      {"do-root", no_argument, nullptr, 'r'},
      {nullptr, 0, nullptr, 0},
  };
  bool bad = false;
  opterr = 0;
  optind = 1;
  int c;
  while ((c = getopt_long(argc, argv, ":r", kLong, nullptr)) != -1) {
    switch (c) {
      case 'r':
        state.doRoot = true;
        break;
      case '?':
        // A long option, or a known one given an argument, has no single
        // letter to show: name it as typed.
        if (optopt != 0 && !IsOption(optopt)) {
          std::fprintf(stderr, "Unknown option '-%c'.\n", optopt);
        } else {
          std::fprintf(stderr, "Unknown option '%s'.\n", argv[optind - 1]);
        }
        bad = true;
        break;
      case ':':
        std::fprintf(stderr, "Required operand missing for option '-%c'.\n", optopt);
        bad = true;
        break;
      default:
        std::fprintf(stderr, "Unhandled option '-%c'.\n", c);
        bad = true;
        break;
    }
  }
  // The tool takes no operands; one given by mistake (say "root") must not
  // run the service-account reset instead.
  for (int i = optind; i < argc; ++i) {
    std::fprintf(stderr, "Unexpected operand '%s'.\n", argv[i]);
    bad = true;
  }
  if (bad) {
    std::fputs("Aborting due to argument errors.\n", stderr);
    return ACCTRESET_ERROR;
  }
  return ACCTRESET_OK;
}

int ResetServiceAccounts(AcctResetState& state) {
  DefaultTables& t = state.tables;
  if (UnscrambleServiceTables(t) != 0) return ACCTRESET_ERROR;

  const std::vector<ShadowRule> shadowRules = {
      {"qdapp", SHADOW_LOCK, nullptr},
      {"spdood", SHADOW_DEFAULT, t.Uspdood},
      {"spvar", SHADOW_DEFAULT, t.Uspvar},
      {"zarvekcust", SHADOW_DEFAULT, t.Uzarvekcust},
  };
  RewriteOutcome shadow;
  int rc = RewriteFile(QdPath(kPermFile), kShadowTexts, [&](const std::string& in, std::string& out) {
    RewriteShadowText(in, shadowRules, out, shadow);
  });
  if (rc != ACCTRESET_OK) return rc;
  LogNotices(state, shadow.notices);

  const std::vector<WebRule> webRules = {
      {"spdood", t.Uspdood_ht},
      {"spvar", t.Uspvar_ht},
      {"zarvekcust", t.Uzarvekcust_ht},
      {"setupusr", t.Usetupusr_ht},
  };
  RewriteOutcome web;
  rc = RewriteFile(QdPath(kPermHT), kWebTexts, [&](const std::string& in, std::string& out) {
    RewriteWebText(in, webRules, out, web);
  });
  if (rc != ACCTRESET_OK) return rc;
  LogNotices(state, web.notices);
  return ACCTRESET_OK;
}

int SetRootPassword(AcctResetState& state) {
  int rc = UnscrambleShadowTable(state.tables.Uroot, "root") == 0 ? ACCTRESET_OK : ACCTRESET_ERROR;
  RewriteOutcome outcome;
  if (rc == ACCTRESET_OK) {
    const std::vector<ShadowRule> rules = {{"root", SHADOW_FORCE, state.tables.Uroot}};
    rc = RewriteFile(QdPath(kPermFile), kShadowTexts, [&](const std::string& in, std::string& out) {
      RewriteShadowText(in, rules, out, outcome);
    });
  }
  if (rc == ACCTRESET_OK && outcome.forced == 0) {
    std::fputs("No entry for root in perm file\n", stderr);
    rc = ACCTRESET_ERROR;
  }
  if (rc == ACCTRESET_OK) {
    AuthLogSend(state.log, AUTHLOG_NOTICE, "root password set");
  } else {
    AuthLogSend(state.log, AUTHLOG_ERR, "Failed to set password for root");
  }
  return rc;
}

int AcctResetMain(int argc, char** argv) {
  if (getuid() != 0 || access(QdPath(kSpMarker).c_str(), F_OK) != 0) {
    std::fputs("This code must be run by root on an SP.\n", stderr);
    return ACCTRESET_NOT_ON_SP;
  }
  // Nothing this tool creates is for anyone else's eyes.
  umask(077);
  AcctResetState state;
  InitDefaultTables(state.tables);
  AuthLogOpen(state.log);
  int rc = ParseAcctOptions(state, argc, argv);
  if (rc == ACCTRESET_OK) rc = state.doRoot ? SetRootPassword(state) : ResetServiceAccounts(state);
  AuthLogClose(state.log);
  return rc;
}
