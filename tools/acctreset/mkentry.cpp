// acctreset-mkentry: makes one scrambled default-table entry for acctreset.
//
//   acctreset-mkentry shadow|web ACCOUNT < password
//
// Reads the password from the first line of standard input, hashes it with
// SHA-512 crypt and a fresh random salt, and prints the scrambled entry to
// paste into default_tables.cpp. Nothing is written anywhere else.

#include <crypt.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "default_tables.h"
#include "nd_munge.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "shadow") != 0 && std::strcmp(argv[1], "web") != 0)) {
    std::fprintf(stderr, "usage: acctreset-mkentry shadow|web ACCOUNT < password\n");
    return 1;
  }
  std::string password;
  if (!std::getline(std::cin, password) || password.empty()) {
    std::fprintf(stderr, "acctreset-mkentry: no password on standard input\n");
    return 1;
  }
  const char* salt = crypt_gensalt("$6$", 0, nullptr, 0);
  if (salt == nullptr) {
    std::perror("acctreset-mkentry: crypt_gensalt");
    return 1;
  }
  struct crypt_data data;
  std::memset(&data, 0, sizeof data);
  const char* hash = crypt_r(password.c_str(), salt, &data);
  if (hash == nullptr || hash[0] == '*') {
    std::perror("acctreset-mkentry: crypt_r");
    return 1;
  }
  std::string entry = std::string(argv[2]) + ":" + hash;
  const char* scrambled = nDmunge(entry.c_str(), 0, kAcctMungeKey);
  if (scrambled == nullptr) return 1;
  std::printf("%s\n", scrambled);
  return 0;
}
