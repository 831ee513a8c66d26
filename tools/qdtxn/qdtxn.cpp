// qdtxn: writes a transaction record built from NAME=VALUE settings.
//
//   qdtxn [-o FILE] [-s SIZE] FMT [NAME=VALUE...]
//
// The record of format FMT goes to FILE (standard output without -o),
// exactly the format's size, or SIZE bytes with -s (cut, or padded with
// zero bytes). Field names and defaults: txn_build.h. Exit 0, or 2 with a
// reason on standard error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "txn_build.h"
#include "txn_layout.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: qdtxn [-o FILE] [-s SIZE] FMT [NAME=VALUE...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* outfile = nullptr;
  long size = -1;
  int option;
  while ((option = getopt(argc, argv, "+o:s:")) != -1) {
    if (option == 'o') {
      outfile = optarg;
    } else if (option == 's') {
      char* end = nullptr;
      size = std::strtol(optarg, &end, 10);
      if (*end != '\0' || size < 0 || size > static_cast<long>(sizeof(QDTxn)) * 2) return Usage();
    } else {
      return Usage();
    }
  }
  if (optind >= argc) return Usage();
  int fmt = std::atoi(argv[optind]);
  std::vector<std::string> settings(argv + optind + 1, argv + argc);
  QDTxn txn;
  std::string error;
  if (TxnBuild(fmt, settings, txn, error) != 0) {
    std::fprintf(stderr, "qdtxn: %s\n", error.c_str());
    return 2;
  }
  std::vector<char> data(size >= 0 ? static_cast<size_t>(size) : TxnFormatSize(fmt), '\0');
  std::memcpy(data.data(), &txn, std::min(data.size(), sizeof txn));
  FILE* out = outfile ? std::fopen(outfile, "wb") : stdout;
  if (!out) {
    std::perror(outfile);
    return 2;
  }
  bool ok = std::fwrite(data.data(), 1, data.size(), out) == data.size();
  if (outfile) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "qdtxn: write failed\n");
    return 2;
  }
  return 0;
}
