// spcmd stand-in: prints the recorded output of an array command, as the
// collection commands attach it to an event file.
//
//   spcmd WORD...
//
// The output is the file "<WORD_WORD_...>.txt" (the arguments joined by
// "_") in the folder named by the environment variable QD_SIM_OUTPUTS, or
// in the source tree's sim/outputs when that is unset or empty; e.g.
// "spcmd showpd 12" prints showpd_12.txt. It is copied to standard output
// byte for byte.
//
// Exit codes:
//   0  the output was printed;
//   1  no recorded output for that command, no argument, or an argument
//      that could leave the folder ("/" in it, or one that is "." or
//      ".."): one line on standard error naming the command, nothing on
//      standard output. Also when reading the file or writing the output
//      fails part way: one line on standard error, and what was printed
//      before the failure stays printed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef QD_SIM_OUTPUTS_DEFAULT
#define QD_SIM_OUTPUTS_DEFAULT "sim/outputs"
#endif

namespace {

// True when no argument can name a file outside the outputs folder.
bool SafeWords(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strchr(argv[i], '/') || std::strcmp(argv[i], ".") == 0 || std::strcmp(argv[i], "..") == 0) {
      return false;
    }
  }
  return true;
}

std::string CommandName(int argc, char** argv, const char* separator) {
  std::string name;
  for (int i = 1; i < argc; ++i) name += (i > 1 ? separator : "") + std::string(argv[i]);
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "spcmd: no command given\n");
    return 1;
  }
  std::string command = CommandName(argc, argv, " ");
  if (!SafeWords(argc, argv)) {
    std::fprintf(stderr, "spcmd: unknown command '%s'\n", command.c_str());
    return 1;
  }
  const char* dir = std::getenv("QD_SIM_OUTPUTS");
  if (!dir || !*dir) dir = QD_SIM_OUTPUTS_DEFAULT;
  std::string path = std::string(dir) + "/" + CommandName(argc, argv, "_") + ".txt";
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "spcmd: unknown command '%s'\n", command.c_str());
    return 1;
  }
  char buf[4096];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
    if (std::fwrite(buf, 1, n, stdout) != n) ok = false;
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fflush(stdout) != 0) ok = false;
  if (!ok) {
    std::fprintf(stderr, "spcmd: cannot print the output of '%s'\n", command.c_str());
    return 1;
  }
  return 0;
}
