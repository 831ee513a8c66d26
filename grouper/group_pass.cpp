#include "group_pass.h"

#include <sys/time.h>

#include <cstdio>
#include <string>
#include <vector>

#include "daemon_log.h"
#include "gnr_request.h"
#include "summary.h"

namespace {

constexpr double kMinutesPerDay = 1440.0;

std::string ClassText(const char* format, long n, const char* vendor, const char* product,
                      long notclass) {
  char text[256];
  std::snprintf(text, sizeof text, format, n, vendor, product, notclass);
  return text;
}

// A failed statement of the pass: logged; the reconnect raised when it lost
// the connection, else its transaction rolled back.
int Failed(DaemonState& st, const char* action) {
  DaemonSqlError(st, action);
  return 1;
}

// Reads the groups of the taken serial. 0, or 1 after logging.
int ReadGroups(DaemonState& st, const SerialKey& key, std::vector<ParkedGroup>& groups) {
  if (GrpSqlOpenGroups(key) < 0) return Failed(st, "open nc");
  ParkedGroup group;
  int rc;
  while ((rc = GrpSqlFetchGroup(group)) == 0) groups.push_back(group);
  if (rc < 0) {
    Failed(st, "nc fetch");
    (void)GrpSqlCloseGroups();
    return 1;
  }
  if (GrpSqlCloseGroups() < 0) return Failed(st, "close nc");
  return 0;
}

// Sends the summaries in order until one can go nowhere. Returns the
// number that went out.
size_t SendSummaries(DaemonState& st, const SerialKey& key,
                     const std::vector<ParkedGroup>& groups,
                     const std::vector<GroupSummary>& summaries) {
  for (size_t i = 0; i < summaries.size(); ++i) {
    const GroupSummary& s = summaries[i];
    GnrSource src;
    src.group = &groups[s.end - 1];
    src.notclass = static_cast<int>(key.notclass);
    src.module_name = st.module_name.c_str();
    src.hw_arch = st.hw_arch;
    gettimeofday(&src.now, nullptr);
    qd_Transaction_Format_3 rec;
    BuildGnrRecord(s, src, rec);
    if (do_notify(st, rec, key.vendor, key.product, key.prod_id) != kGnrSent) return i;
  }
  return summaries.size();
}

// One due serial, its own transaction on conn1. Adds the deleted rows to
// `total`. Returns 0, or 1 (the transaction then rolled back, unless only
// a summary could go nowhere: its rows are then committed back as waiting).
int ProcessSerial(DaemonState& st, const SerialKey& key, long& total) {
  std::vector<ParkedGroup> groups;
  if (GrpSqlTakeSerial(key) < 0) {
    Failed(st, "pc lock");
    (void)GrpSqlRollback(kGrpConn1);
    return 1;
  }
  if (ReadGroups(st, key, groups) != 0) {
    (void)GrpSqlRollback(kGrpConn1);
    return 1;
  }
  std::vector<GroupSummary> summaries = BuildSummaries(groups);
  size_t sent = SendSummaries(st, key, groups, summaries);
  int result = 0;
  if (sent < summaries.size()) {
    result = 1;
    for (size_t i = summaries[sent].begin; i < groups.size(); ++i) {
      if (GrpSqlReturnGroup(key, groups[i]) < 0) {
        Failed(st, "return unsent lines");
        (void)GrpSqlRollback(kGrpConn1);
        return 1;
      }
    }
  }
  long deleted = 0;
  if (GrpSqlDeleteTaken(key, deleted) < 0) {
    Failed(st, "delete processed lines");
    (void)GrpSqlRollback(kGrpConn1);
    return 1;
  }
  if (GrpSqlCommit(kGrpConn1) < 0) {
    Failed(st, "commit serial");
    (void)GrpSqlRollback(kGrpConn1);
    return 1;
  }
  total += deleted;
  return result;
}

}  // namespace

double MinutesToDays(long minutes) { return static_cast<double>(minutes) / kMinutesPerDay; }

int ProcessClass(DaemonState& st, const char* vendor, const char* product, long notclass,
                 long delay, long max_delay) {
  if (!st.daemon) {
    char text[256];
    std::snprintf(text, sizeof text, "Processing for %s %s class %ld", vendor, product, notclass);
    DaemonLog(st, "QDZ9999", '0', std::string(text));
  }
  SerialKey key{vendor, product, notclass, ""};
  long parked = 0;
  if (GrpSqlCountParked(key, parked) < 0) return Failed(st, "select ng count");
  // The count's transaction is not left open over the sleep.
  (void)GrpSqlRollback(kGrpConn1);
  if (parked == 0) return 0;

  if (GrpSqlOpenDue(key, MinutesToDays(delay), MinutesToDays(max_delay)) < 0) {
    return Failed(st, "open pc");
  }
  long total = 0;
  int result = 0;
  char prod_id[81] = {0};
  int rc = 0;
  while ((rc = GrpSqlFetchDue(prod_id)) == 0) {
    key.prod_id = prod_id;
    result = ProcessSerial(st, key, total);
    if (result != 0) break;
  }
  if (rc < 0) result = Failed(st, "pc cursor fetch");
  (void)GrpSqlCloseDue();
  if (GrpSqlCommit(kGrpConn3) < 0) result = Failed(st, "commit processed lines");
  if (total > 0) {
    DaemonLog(st, "QDZ9999", '0',
              ClassText("%ld notifications grouped for %s %s class %ld", total, vendor, product,
                        notclass));
  }
  return result;
}

int LookForWork(DaemonState& st) {
  if (GrpSqlOpenSettings() < 0) return Failed(st, "pac cursor open");
  ProdGrouping row;
  int result = 0;
  int rc = 0;
  while (result == 0 && (rc = GrpSqlFetchSettings(row)) == 0) {
    for (long k = 0; k < kGrouperClasses && result == 0; ++k) {
      const ClassGrouping& c = row.cls[k];
      if (c.grouping != 'Y') continue;
      result = ProcessClass(st, row.vendor, row.product, k, c.delay, c.max_delay);
    }
  }
  if (result == 0 && rc < 0) result = Failed(st, "pac cursor fetch");
  if (GrpSqlCloseSettings() < 0) {
    DaemonSqlError(st, "close cursor pac");
  } else if (GrpSqlCommit(kGrpConn2) < 0) {
    DaemonSqlError(st, "commit after close pac");
  }
  return result;
}
