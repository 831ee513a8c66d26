#include "notify_users.h"

#include "daemon_log.h"
#include "notifier_config.h"

int NotifyUsers(DaemonState& st, NotifyMessage& m) {
  DaemonLogOwn(st, "0034", 'A', Notifier(st).notify_id, m.urgency_word);
  return kStepDone;
}

int ForwardLocalAlert(DaemonState&, NotifyMessage&, int result) { return result; }
