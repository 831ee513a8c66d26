#include "mail_root.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

#include "child_process.h"
#include "txn_test_records.h"

namespace {

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (struct dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

using txntest::Stamp;

}  // namespace

MailRoot::MailRoot() {
  const char* src = std::getenv("QD_SOURCE_DIR");
  ChildSpec cmd;
  cmd.argv = {"bash", std::string(src ? src : ".") + "/scripts/mkroot", path()};
  cmd.stdoutPath = "/dev/null";
  int status = 0;
  char err[256] = {0};
  if (QdRunChild(cmd, 60, &status, err, sizeof err) != CHILD_OK || status != 0) {
    error_ = "scripts/mkroot failed: " + std::string(err);
  } else if (access(under("/usr/sbin/sendmail").c_str(), X_OK) != 0) {
    error_ = "no mailer stand-in in the root (is QD_BUILD_DIR set?)";
  }
  log_ = std::make_unique<CLogMessage>("QDNOT");
  state_.log = log_.get();
  state_.settings.template_dir = "/usr/local/qd/data/Prod/templates";
  state_.settings.sender = "RealtimeAlertProcess-sp0042@example.com";
}

std::vector<std::string> MailRoot::mails() const {
  std::vector<std::string> out;
  for (const std::string& name : Entries(under("/var/spool/sim-mail"))) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".mail") == 0) {
      out.push_back(read("/var/spool/sim-mail/" + name));
    }
  }
  return out;
}

std::vector<std::string> MailRoot::tmpEntries() const { return Entries(under("/tmp")); }

void FillSample(NotifyData& nd) {
  NotifyClear(nd);
  NotifySet(nd.NOTTYPE, "PNR");
  NotifySet(nd.NOTID, "P1042");
  NotifySet(nd.RAPLOC, "Varn SP0042");
  NotifySet(nd.HUBLOC, "SP");
  nd.NotifyTime = Stamp("2026/03/07 14:06:10.00");
  nd.UserTime = Stamp("2026/03/07 08:06:10.00");
  NotifySet(nd.HUBTZ, "CET");
  NotifySet(nd.NOTCOMMENTS, "Notification urgency reset to Low due to SP Maintenance Mode.");
  NotifySet(nd.NOTUNIQUE, "disk-failed-7");
  NotifySet(nd.VENDOR, "Zarvek");
  NotifySet(nd.PRODUCT, "Velmar");
  NotifySet(nd.SERIAL, "1234567");
  NotifySet(nd.MODEL, "V400");
  NotifySet(nd.MODELID, "-V");
  NotifySet(nd.SITE, "S-100");
  NotifySet(nd.SITETZ, "PST");
  NotifySet(nd.SITENAME, "North Data Hall");
  NotifySet(nd.SITENICKNAME, "north");
  NotifySet(nd.USERID, "jdoe");
  NotifySet(nd.SHIFT, "prime");
  NotifySet(nd.CATEGORY, "engineer");
  NotifySet(nd.ORGTYPE, "CUS");
  NotifySet(nd.LANGUAGE, "AMERICAN");
  NotifySet(nd.USERTZ, "CST");
  NotifySet(nd.EVENTLOCATION, "Site");
  NotifySet(nd.EVENTTZ, "PST");
  nd.EventTimeFirst = Stamp("2026/03/07 05:01:02.03");
  nd.EventTimeLast = Stamp("2026/03/07 05:04:05.06");
  NotifySetEventTimeShort(nd);
  NotifySet(nd.COUNTER, "3");
  NotifySet(nd.URGENCY, "high");
  NotifySet(nd.SHORTURGENCY, "H");
  NotifySet(nd.NOTCLASS, "2");
  NotifySet(nd.EVENT, "Disk 7 failed");
  NotifySet(nd.SOURCE, "cage 1 slot 7");
  NotifySet(nd.ABSTRACT, "Physical disk 7 failed");
  NotifySet(nd.TEXT, "Disk 7 <magazine 1> failed & was spared.\nXML FORMAT: <disk id=\"7\"/>");
  NotifySetCustText(nd);
  NotifySet(nd.SRnumber, "3");
  NotifySet(nd.EntityId, "77");
}
