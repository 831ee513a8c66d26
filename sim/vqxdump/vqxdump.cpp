// Stand-in of the dump fetcher "vqxdump" and of the array-wide collection
// "Probex" (one source, built under both names):
//
//   vqxdump -IIPADDR core|panic NODE|all ID
//   Probex CLUSTERNAME
//
// Every call is recorded in $QD_ROOT/var/log/qd/sim/<name>.calls. The
// control file $QD_ROOT/etc/qd/sim/<name>.conf steers it:
//   exit = N[,N...]   exit status of the 1st, 2nd, ... call (the last
//                     repeats); default 0 ("no dumps")
//   delay = S         seconds to sleep first
//   dir = PATH        system path of a folder below QD_ROOT ...
//   files = A B ...   ... where these (empty) files are made, as fetched
//                     dumps arrive on the SP
// Names that could leave the folder are refused (exit 2). No shell is used.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "qd_path.h"
#include "standin.h"

#ifndef QD_STANDIN_NAME
#define QD_STANDIN_NAME "vqxdump"
#endif

int main(int argc, char** argv) {
  const char* name = QD_STANDIN_NAME;
  StandinRecord(name, std::vector<std::string>(argv, argv + argc));
  const int call = StandinCalls(name);
  StandinDelay(name);
  const std::string dir = StandinConf(name, "dir");
  std::istringstream files(StandinConf(name, "files"));
  std::string file;
  while (!dir.empty() && files >> file) {
    if (file.find('/') != std::string::npos || file == "." || file == ".." || dir.find("..") != std::string::npos) {
      std::fprintf(stderr, "%s: refused file name %s\n", name, file.c_str());
      return 2;
    }
    const std::string path = QdPath(dir);
    (void)QdMakeDirs(path, 0777);
    int fd = open((path + "/" + file).c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd >= 0) close(fd);
  }
  const std::string code = StandinNth(StandinConf(name, "exit"), call);
  return code.empty() ? 0 : std::atoi(code.c_str());
}
