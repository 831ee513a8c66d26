#include "nd_munge.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char ndmBuff[kMungeBufferSize];

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void Reverse(char* text, std::size_t len) {
  for (std::size_t i = 0, j = len; i + 1 < j; ++i, --j) {
    char c = text[i];
    text[i] = text[j - 1];
    text[j - 1] = c;
  }
}

char* Encode(const char* text, std::size_t len, int key, char* work) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < len; ++i) {
    // The sum wraps so every byte keeps exactly two digits and decodes back.
    unsigned v = (static_cast<unsigned char>(text[i]) + static_cast<unsigned>(key)) & 0xFFu;
    work[2 * i] = kDigits[v >> 4];
    work[2 * i + 1] = kDigits[v & 0xFu];
  }
  std::size_t outlen = 2 * len;
  if (outlen + 1 > sizeof ndmBuff) {
    std::fprintf(stderr, "nDmunge: buffer overflow\n");
    return nullptr;
  }
  Reverse(work, outlen);
  std::memcpy(ndmBuff, work, outlen);
  ndmBuff[outlen] = '\0';
  return ndmBuff;
}

char* Decode(const char* text, std::size_t len, int key, char* work) {
  std::memcpy(work, text, len);
  Reverse(work, len);
  if (len % 2 != 0) {
    std::fprintf(stderr, "nDmunge: malformed input\n");
    return nullptr;
  }
  std::size_t outlen = len / 2;
  for (std::size_t i = 0; i < outlen; ++i) {
    int hi = HexValue(work[2 * i]);
    int lo = HexValue(work[2 * i + 1]);
    unsigned v = (static_cast<unsigned>(hi * 16 + lo) - static_cast<unsigned>(key)) & 0xFFu;
    if (hi < 0 || lo < 0 || v == 0) {
      ndmBuff[0] = '\0';
      std::fprintf(stderr, "nDmunge: malformed input\n");
      return nullptr;
    }
    ndmBuff[i] = static_cast<char>(v);
  }
  ndmBuff[outlen] = '\0';
  return ndmBuff;
}

}  // namespace

char* nDmunge(const char* text, int decode, int key) {
  ndmBuff[0] = '\0';
  if (key < 0 || key > kMungeKeyMax) {
    std::fprintf(stderr, "nDmunge: invalid key value (%d)\n", key);
    return nullptr;
  }
  std::size_t len = std::strlen(text);
  if (len > kMungeInputMax) {
    std::fprintf(stderr, "nDmunge: input src length exceeds %d\n", static_cast<int>(kMungeInputMax));
    return nullptr;
  }
  char* work = static_cast<char*>(std::calloc(2 * len + 1, 1));
  if (work == nullptr) {
    std::fprintf(stderr, "nDmunge: calloc: %s\n", std::strerror(errno));
    return nullptr;
  }
  char* result = decode ? Decode(text, len, key, work) : Encode(text, len, key, work);
  std::free(work);
  return result;
}
