#pragma once
// Fixture of the program-level tests of qdNotify: the daemon started in the
// foreground (-d) on the ProgramRun fixture, the dictionary holding the
// notifier's own settings, notification requests sent to "QDNOT" as "NIQ",
// outcomes read from the platform log, the tables, the mailer stand-in's
// spool and the exit status. The controller's stand-in (commctl) can be
// started beside it.

#include <functional>
#include <string>
#include <vector>

#include "program_run.h"
#include "qd_txn.h"

constexpr double kNotifierPatience = kDaemonPatience;

class NotifierRun : public ProgramRun {
 protected:
  // ProgramRun's set-up, the alert zone (UTC) and the notifier's dictionary.
  void SetUp() override;
  // Stops the daemon and the controller's stand-in.
  void TearDown() override;

  // The dictionary: ProgramRun's, with the templates and history below
  // /usr/local/qd/data, alert zone UTC, and `extra` lines of [Global]
  // ("KEY = VALUE").
  void WriteConf(bool on_sp, const std::vector<std::string>& extra = {});

  // Lays out the root with scripts/mkroot (templates, stand-ins), keeping
  // the dictionary WriteConf wrote.
  void MakeRoot();
  // Puts a mailer in front of the stand-in that fails (status 1, nothing
  // kept) every mail whose "To:" line holds `failing`.
  void MailerFailingFor(const std::string& failing);
  // The mails the stand-in kept, oldest first, each whole.
  std::vector<std::string> Mails() const;
  // The mails kept for `address`.
  std::vector<std::string> MailsTo(const std::string& address) const;

  // A user and one notification rule of it for the array's product group.
  // `means` names the means set for every urgency and shift ("3" mail to
  // email1, "34" to email1 and email2, "" none); `symptom` "" for none.
  void AddUser(int rid, const std::string& user, const std::string& email1,
               const std::string& company = "", const std::string& email2 = "");
  void AddRule(int rid, const std::string& means, const std::string& symptom = "",
               const std::string& extra_columns = "", const std::string& extra_values = "");

  // Starts qdNotify -d with `args` and waits for its connection.
  void StartReady(std::vector<std::string> args = {});
  // Starts the controller's stand-in and waits until it serves.
  void StartController();

  // A notification request of format `fmt` ("PNR", high, class 0, for
  // Zarvek Velmar 1234567, key "disk 7 failed"), with `settings` applied
  // after the defaults (qdtxn's NAME=VALUE form), `size` bytes of it (the
  // format's size when negative), `patch` applied to the record last.
  // Returns the message id as the log shows it.
  std::string Send(const std::vector<std::string>& settings, int fmt = 6, long size = -1,
                   const std::function<void(QDTxn&)>& patch = nullptr);

  // Rows of a query ('|' between fields), and a statement's error text.
  std::vector<std::string> Rows(const std::string& sql) const { return db_.query(sql); }
  std::string Exec(const std::string& sql) const { return db_.exec(sql); }

  DaemonRun controller_;
};
