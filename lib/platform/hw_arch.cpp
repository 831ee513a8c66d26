#include "hw_arch.h"

#include <cerrno>
#include <cstring>
#include <sys/utsname.h>

#include "err_text.h"

namespace {

struct ArchEntry {
  const char* machine;
  bool prefix;  // the name only starts with `machine`
  char code;
};

const ArchEntry kArchTable[] = {
    {"x86_64", false, 'X'},  {"amd64", false, 'X'}, {"i386", false, 'I'},  {"i486", false, 'I'},
    {"i586", false, 'I'},    {"i686", false, 'I'},  {"aarch64", false, 'A'}, {"arm64", false, 'A'},
    {"arm", true, 'R'},      {"ppc64le", false, 'P'}, {"ppc64", false, 'Q'}, {"s390x", false, 'Z'},
    {"riscv64", false, 'V'},
};

}  // namespace

char HWArchCode(const char* machine) {
  if (!machine) return 0;
  for (const ArchEntry& e : kArchTable) {
    bool match = e.prefix ? std::strncmp(machine, e.machine, std::strlen(e.machine)) == 0
                          : std::strcmp(machine, e.machine) == 0;
    if (match) return e.code;
  }
  return 0;
}

char GetHWArch(char* errortext) {
  struct utsname names;
  if (uname(&names) != 0) {
    SetErrText(errortext, "could not read the machine name: %s", std::strerror(errno));
    return 0;
  }
  char code = HWArchCode(names.machine);
  if (code == 0) SetErrText(errortext, "unknown hardware architecture '%s'", names.machine);
  return code;
}
