#include "fdb_bz2.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "child_process.h"
#include "fdb_file.h"
#include "qd_path.h"

namespace {

std::string TempName(const char* format) {
  char name[256];
  snprintf(name, sizeof name, format, kBz2TempOwner, static_cast<int>(getpid()));
  return name;
}

bool KnownOption(const char* option) {
  return option && (strcmp(option, kBz2Decompress) == 0 || strcmp(option, kBz2Compress) == 0);
}

// The text for a wait status other than exit code 0, or "" for success.
std::string StatusText(int status, const std::string& cmd) {
  char text[128];
  if (WIFEXITED(status)) {
    if (WEXITSTATUS(status) == 0) return "";
    snprintf(text, sizeof text, "Command failed, rc=%d. Cmd='", WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    snprintf(text, sizeof text, "Command abnormal termination, signal=%d. Cmd='", WTERMSIG(status));
  } else {
    snprintf(text, sizeof text, "Command terminated with unknown status=0x%.8X. Cmd='",
             static_cast<unsigned>(status));
  }
  return text + cmd + "'";
}

void ClearOutput(char** outbuffer, long* outsize) {
  *outbuffer = nullptr;
  *outsize = 0;
}

}  // namespace

std::string Bz2TempIn() { return TempName(kBz2InFormat); }
std::string Bz2TempOut() { return TempName(kBz2OutFormat); }

int BZ2(const char* option, const char* infile, const char* outfile, std::string& errortext) {
  if (!KnownOption(option)) {
    errortext = std::string("Unknown bzip2 option '") + (option ? option : "") + "'";
    return -1;
  }
  // An empty name would leave the command reading the caller's own input.
  if (!infile || !*infile) {
    errortext = "Open error (read) for ''";
    return -1;
  }
  if (!outfile || !*outfile) {
    errortext = "Open error (write) for ''";
    return -1;
  }
  // The launcher truncates the output before bzip2 reads a byte: with one
  // file for both, the stored data would be gone.
  if (FdbSameFile(infile, outfile)) {
    errortext = std::string("Input and output are the same file '") + outfile + "'";
    return -1;
  }
  ChildSpec child;
  child.argv = {"bzip2", std::string("-") + option};
  child.stdinPath = QdPath(infile);
  child.stdoutPath = QdPath(outfile);
  const std::string cmd = QdCommandText(child);

  int status = 0;
  char err[512] = {0};
  if (QdRunChild(child, -1, &status, err, sizeof err) != CHILD_OK) {
    errortext = std::string("'system' call failed:") + err;
    FdbRemoveFile(outfile);
    return -1;
  }
  std::string failure = StatusText(status, cmd);
  if (!failure.empty()) {
    errortext = failure;
    FdbRemoveFile(outfile);
    return -1;
  }
  errortext = "Command completed. Cmd='" + cmd + "'";
  return 1;
}

int BZ2(const char* option, const char* infile, char** outbuffer, long* outsize, std::string& errortext) {
  ClearOutput(outbuffer, outsize);
  const std::string temp = Bz2TempOut();
  int fd = FdbCreateTempFile(temp.c_str(), errortext);
  if (fd < 0) return -1;
  close(fd);
  if (BZ2(option, infile, temp.c_str(), errortext) != 1) {
    FdbRemoveFile(temp.c_str());
    return -1;
  }
  std::string readtext;
  int rc = FdbReadWholeFile(temp.c_str(), outbuffer, outsize, readtext);
  FdbRemoveFile(temp.c_str());
  if (rc != 0) {
    errortext = readtext;
    return -1;
  }
  return 1;
}

int BZ2(const char* option, const char* inbuffer, long insize, char** outbuffer, long* outsize,
        std::string& errortext) {
  ClearOutput(outbuffer, outsize);
  const std::string temp = Bz2TempIn();
  if (FdbWriteTempFile(temp.c_str(), inbuffer, insize, errortext) != 0) return -1;
  int rc = BZ2(option, temp.c_str(), outbuffer, outsize, errortext);
  FdbRemoveFile(temp.c_str());
  return rc;
}
