#include "daemon_db.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "daemon_log.h"
#include "daemon_sql.h"
#include "qd_path.h"
#include "sql_error.h"

namespace {

// The zone name in a path below a zone database ("/usr/share/zoneinfo/
// Europe/Paris" gives "Europe/Paris"); a text without such a path as it is.
std::string ZoneName(const std::string& text) {
  const std::string marker = "zoneinfo/";
  size_t at = text.find(marker);
  return at == std::string::npos ? text : text.substr(at + marker.size());
}

// The zone name a /etc/localtime link points at, or "".
std::string LinkedZone() {
  char target[512];
  ssize_t n = readlink(QdPath("/etc/localtime").c_str(), target, sizeof target - 1);
  if (n <= 0) return "";
  target[n] = '\0';
  std::string text(target);
  return text.find("zoneinfo/") == std::string::npos ? "" : ZoneName(text);
}

// Only a zone of the zone database goes to the server: a rule text the
// server does not know would make every connection fail.
bool KnownZone(const std::string& zone) {
  if (zone.empty() || zone[0] == '/' || zone.find("..") != std::string::npos) return false;
  struct stat info;
  return stat(QdPath("/usr/share/zoneinfo/" + zone).c_str(), &info) == 0 &&
         S_ISREG(info.st_mode);
}

}  // namespace

std::string DaemonSessionZone() {
  const char* pgtz = std::getenv("PGTZ");
  if (pgtz && *pgtz) return pgtz;
  std::string zone;
  const char* tz = std::getenv("TZ");
  if (tz && *tz) {
    zone = ZoneName(tz[0] == ':' ? tz + 1 : tz);
  } else {
    zone = LinkedZone();
  }
  if (!KnownZone(zone)) return "";
  setenv("PGTZ", zone.c_str(), 1);
  return zone;
}

int get_connected(DaemonState& st, const char* target, const char* id, const char* password) {
  (void)password;  // carried for the record only: the session uses libpq's defaults
  DaemonSessionZone();
  st.connected = false;
  if (st.config && st.config->before_connect) st.config->before_connect(st);
  std::vector<const char*> names;
  if (st.config) names = st.config->connections;
  names.push_back(nullptr);
  for (const char* name : names) {
    QdSqlClear();
    if (DaemonSqlConnect(target, name) < 0) {
      std::string action = name ? std::string("Connect as ") + name : std::string("Connect");
      DaemonSqlError(st, action.c_str());
      // Half a connection set is no connection: the next attempt starts clean.
      DaemonSqlDisconnectAll();
      st.reconnect = false;
      return 0;
    }
  }
  if (st.config && st.config->autocommit && DaemonSqlAutocommit() < 0) {
    DaemonSqlError(st, "Set autocommit");
    DaemonSqlDisconnectAll();
    st.reconnect = false;
    return 0;
  }
  st.connected = true;
  DaemonLog(st, "QDZ0102", 'A', target ? target : "", id ? id : "");
  return 1;
}

void DaemonDisconnect(DaemonState& st) {
  DaemonSqlDisconnectAll();
  st.connected = false;
}

const char* TxnStatusText(int result) {
  switch (result) {
    case kStepDone: return "Done";
    case kStepRetry: return "Retry";
    case kStepRefuse: return "Reject";
    default: return "unknown";
  }
}

void DaemonUpdateTxnStatus(DaemonState& st, int result) {
  if (st.reconnect) DaemonSqlRollback();
  QdSqlClear();
  if (DaemonSqlUpdateStatus(TxnStatusText(result), st.txn_objid) < 0) {
    DaemonSqlError(st, "Update txn status");
    return;
  }
  if (DaemonSqlCommit() < 0) DaemonSqlError(st, "Commit txn update");
}
