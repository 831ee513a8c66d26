#include "service_user.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "gdda.h"

namespace {

int Report(char* errortext, int size, int result, const std::string& text) {
  if (errortext && size > 0) {
    std::snprintf(errortext, static_cast<size_t>(size), "%s", text.c_str());
  }
  return result;
}

std::string CallFailed(const char* call, const std::string& user) {
  return std::string(call) + " for service user '" + user + "' failed: " + std::strerror(errno);
}

// Reads SERVICE_USER. Returns 0 with the name (empty when the key is
// absent), or 1 with the reason.
int ServiceUserName(std::string& name, std::string& err) {
  CGDDA dictionary;
  if (dictionary.CreateError) {
    err = std::string("cannot read the service user: ") + dictionary.szErrorMsg;
    return 1;
  }
  name.clear();
  if (dictionary.GetValue("SERVICE_USER", name, GDDA_GLOBAL, false)) return 0;
  if (std::strstr(dictionary.szErrorMsg, " value not found")) return 0;
  err = std::string("cannot read the service user: ") + dictionary.szErrorMsg;
  return 1;
}

}  // namespace

int QDSetUser(char* errortext, int size) {
  Report(errortext, size, 0, "");
  if (geteuid() != 0) return 0;
  std::string name, err;
  if (ServiceUserName(name, err) != 0) return Report(errortext, size, 1, err);
  if (name.empty()) return 0;

  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  int rc = getpwnam_r(name.c_str(), &entry, buf.data(), buf.size(), &found);
  if (!found) {
    std::string why = rc ? std::strerror(rc) : "no such user";
    return Report(errortext, size, 1, "unknown service user '" + name + "': " + why);
  }
  uid_t uid = entry.pw_uid;
  gid_t gid = entry.pw_gid;
  if (getuid() == uid && geteuid() == uid) return 0;

  const char* failed = nullptr;
  if (initgroups(name.c_str(), gid) != 0) {
    failed = "initgroups";
  } else if (setgid(gid) != 0) {
    failed = "setgid";
  } else if (setuid(uid) != 0) {
    failed = "setuid";
  }
  if (failed) return Report(errortext, size, -1, CallFailed(failed, name));
  // A switch that left a way back to root is no switch.
  if (uid != 0 && (setuid(0) == 0 || geteuid() == 0)) {
    return Report(errortext, size, -1, "root still reachable after switching to '" + name + "'");
  }
  return 0;
}
