#pragma once
// Mail delivery: a mail built from a template for one recipient, handed to
// the system mailer.
//
// The mail is a temporary file below QdPath("/tmp"), created exclusively
// with mode 0600, named "<program>.<notify id>.<user id>.XXXXXX" with every
// character of the two ids that is not a letter, digit or one of ".@+-_"
// replaced by '_' (so no id can form a path). It holds the header lines
//
//   From: <sender>
//   To: <address>
//   To: <additional recipients>          (when configured)
//   Subject: Zarvek-<serial><model id>:<abstract>   (kind "page": no ":<abstract>")
//
// (the subject line cut to kSubjectMax characters), a blank line, and the
// expanded template folded to 80 columns (mail_fold.h). Control characters
// in a header value (CR, LF and the others) are blanked, so no value can
// start a header line of its own; an address holding one is impossible.
//
// The template is the first that exists of (directory, kind, modifier,
// organisation type, language):
//   <dir>/<kind><mod><org><lang>.tmplt, <dir>/<kind><mod><org>.tmplt,
//   <dir>/<kind><mod>CMN<lang>.tmplt, <dir>/<kind><mod>.tmplt
// (a candidate whose organisation type or language holds '/' is skipped).
//
// The mailer (settings.mailer through QdPath) runs as "sendmail -t -oi"
// from an argument vector, its standard input the mail, its standard
// output and error a second temporary file "<mail>.out"; it must end
// within settings.mailer_timeout seconds (QD_TIME_SCALE applies) or it is
// killed. Both files are removed on every path.

#include "notifier_state.h"

constexpr size_t kSubjectMax = 78;

// Sends the mail of `kind` ("mail" or "page") for the recipient in `nd`
// (USERID, ORGTYPE, LANGUAGE) to `address`, with the template modifier of
// st.scope. Returns kDeliverySent; kDeliveryImpossible for a placeholder
// address ("<no ...") or one holding control characters (logged 0033 '2'
// "mail failed - <address>" or "mail failed - address holds control
// characters"); kDeliveryFailed otherwise. Logs:
//   QDZ0080 '2' "opening temp mail file" / "writing temp mail file" (path);
//   0042 'A' (user id, "File '<dir>/<kind>', mod=.., org=.., lang=..") and a
//     back-door alert "Unable to find template" (urgency 'H') when no
//     template exists;
//   0040 '2' (status, command) when the mailer cannot start or ends with a
//     non-zero status; 0044 '2' (seconds, command) when it was killed for
//     running too long; 0041 '2' ("sendmail", first line of its output, up
//     to 511 characters) when it printed anything;
//   0033 '1' "mail succeeded to <address>" or '2' "mail failed to <address>".
[[nodiscard]] int SendMail(NotifierState& st, const NotifyData& nd, const char* address,
                           const char* kind);

// `value` with every control character (below 0x20, and 0x7f) blanked.
std::string MailHeaderValue(const std::string& value);

// `id` with every character outside [A-Za-z0-9.@+_-] replaced by '_', cut to
// 64 characters ("" reads "none").
std::string MailFileWord(const std::string& id);

// The subject line (without line feeds) for `kind`, cut to kSubjectMax.
std::string MailSubject(const NotifyData& nd, const char* kind);

// The template to use: the path (system form, not resolved) of the first
// existing candidate, or "" when none exists.
std::string MailTemplatePath(const std::string& dir, const char* kind, const char* modifier,
                             const char* orgtype, const char* language);
