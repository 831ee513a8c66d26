#pragma once
// The notifier's statements on the default connection (embedded SQL,
// notify_sql.pgc): product attributes with the next notify number, the
// installed product and its site, sites by number and id, parking of a
// grouped notification, the repeat-suppression counts, the notify history
// row, the record of what a work message already did, and the final
// status of the logged record.
//
// Each returns the statement's SQL code: 0 done, 100 (kNotifySqlNotFound)
// no row, negative failed; the code and the database's message stay in
// sqlca for the caller to log (sql_error.h). Nothing here logs.

#include <cstddef>

constexpr int kNotifySqlNotFound = 100;
constexpr int kNotifyClasses = 6;

// One row of qd_prod_attr, the columns the notifier reads.
struct ProdAttr {
  char grouping[kNotifyClasses];  // notification_grouping0..5
  char repeat[kNotifyClasses];    // repeat_suppression0..5
  long rs_limit[kNotifyClasses];
  long rs_window[kNotifyClasses];  // minutes
  char reset_urgency_low;
  long rul_window;                 // hours
  char install_cntl;
  char install_site_number[81];    // "" when null
  char cust_alert_only;
};

// A site; the texts are "" when null (the caller applies the defaults).
struct SiteRow {
  long site_id = -1;
  bool site_id_null = true;
  char site_number[256] = {0};
  char site_name[256] = {0};
  char site_nickname[20] = {0};
  char status[21] = {0};
  char timezone_name[81] = {0};
};

// An installed product with its site.
struct InstalledProduct {
  long product_id = -1;
  char status[21] = {0};
  char model[81] = {0};
  char production[2] = {0};
  char os_rel[81] = {0};
  SiteRow site;
};

// Product attributes of `vendor`/`product` and nextval('qd_notify_number').
[[nodiscard]] int NotifySqlProdAttr(const char* vendor, const char* product, ProdAttr* attr,
                                    long* notify_number);

// The installed product `vendor`/`product`/`prod_id` joined with its site.
[[nodiscard]] int NotifySqlInstalledProduct(const char* vendor, const char* product,
                                            const char* prod_id, InstalledProduct* out);

// A site by number, or by id.
[[nodiscard]] int NotifySqlSiteByNumber(const char* number, SiteRow* out);
[[nodiscard]] int NotifySqlSiteById(long id, SiteRow* out);

// What a parked notification carries into qd_grouped_not.
struct GroupedRow {
  const char* vendor;
  const char* product;
  long notclass;
  const char* prod_id;
  const char* ap_vendor;
  const char* ap_product;
  const char* ap_prod_id;
  const char* sp_vendor;
  const char* sp_product;
  const char* sp_prod_id;
  char forwarded_rap;
  const char* first;  // "YYYY/MM/DD HH:MM:SS"
  const char* last;
  long counter;
  const char* abstract;
};

// Inserts the parked row (status 'W', timestamp now). Not committed.
[[nodiscard]] int NotifySqlParkGrouped(const GroupedRow& row);

// History rows of the machine and key with notified 'Y' in the last
// `window` minutes, into `*count`.
[[nodiscard]] int NotifySqlRepeatCount(const char* vendor, const char* product,
                                       const char* prod_id, const char* key, long window,
                                       long* count);

// History rows of the machine and key with notified 'N' since its latest
// notified 'Y' row (all of them when there is none), into `*count`.
[[nodiscard]] int NotifySqlSuppressedCount(const char* vendor, const char* product,
                                           const char* prod_id, const char* key, long* count);

// One qd_notify_history row, notify_date now. Not committed.
[[nodiscard]] int NotifySqlInsertHistory(const char* vendor, const char* product,
                                         const char* prod_id, const char* key, long notclass,
                                         const char* notify_id, const char* abstract,
                                         char notified);

// What one work message already did, so a retry does not do it twice
// (qd_notify_msg). `message` identifies the work message (id and posting
// time), `stage` is 'G' (parked for grouping) or 'H' (history row
// written, with the notified flag and whether it began a suppression run).
// NotifySqlMarkStage inserts the mark, not committed; NotifySqlFindStage
// reads it (kNotifySqlNotFound when the stage was not done).
[[nodiscard]] int NotifySqlMarkStage(const char* message, char stage, char notified,
                                     char first_suppressed);
[[nodiscard]] int NotifySqlFindStage(const char* message, char stage, char* notified,
                                     char* first_suppressed);

// "update qd_txn_log set status = $1, notify_id = $2 where objid = $3".
[[nodiscard]] int NotifySqlUpdateStatus(const char* status, const char* notify_id,
                                        const char* objid);

// Commit or roll back the default connection.
[[nodiscard]] int NotifySqlCommit();
int NotifySqlRollback();
