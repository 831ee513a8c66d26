#pragma once
// Test helpers of the notifier's blocks: a root laid out by scripts/mkroot
// (with the mailer's stand-in and the shipped templates), set as QD_ROOT
// for the life of the object, and a notification record filled with a
// distinct value in every field.

#include <memory>
#include <string>
#include <vector>

#include "log_message.h"
#include "notifier_state.h"
#include "temp_root.h"

class MailRoot {
 public:
  MailRoot();

  // "" when the root was made; else why not.
  const std::string& error() const { return error_; }
  const std::string& path() const { return root_.path(); }
  std::string under(const std::string& rel) const { return root_.under(rel); }
  void write(const std::string& rel, const std::string& text) const { root_.write(rel, text); }
  std::string read(const std::string& rel) const { return root_.read(rel); }
  // The mails the stand-in kept, oldest first.
  std::vector<std::string> mails() const;
  // Names in the root's /tmp.
  std::vector<std::string> tmpEntries() const;
  // The platform log so far.
  std::string log() const { return read("/var/log/qd/qd.log"); }
  // A state whose settings point at the shipped templates, with a logger.
  NotifierState& state() { return state_; }

 private:
  TempRoot root_;
  std::string error_;
  std::unique_ptr<CLogMessage> log_;
  NotifierState state_;
};

// Every field of `nd` set to a value of its own.
void FillSample(NotifyData& nd);
