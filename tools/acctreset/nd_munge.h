#pragma once
// The scrambling routine of the default password tables. A scrambled text is
// the hexadecimal form of the bytes shifted by a key, written backwards, so
// that neither a hash nor a user name can be read from the program image.
// It hides the tables from a casual look; it is no cipher.

#include <cstddef>

// Keys lie in 0..kMungeKeyMax; inputs are at most kMungeInputMax characters.
constexpr int kMungeKeyMax = 128;
constexpr std::size_t kMungeInputMax = 511;

// The static result buffer every successful call returns. Room for the
// longest encoding (2 * kMungeInputMax characters and the NUL).
constexpr std::size_t kMungeBufferSize = 1024;
extern char ndmBuff[kMungeBufferSize];

// decode 0 (encode): each byte of `text` becomes the two upper-case
// hexadecimal digits of (key + byte) modulo 256, and the whole result is
// reversed. decode 1: the reverse; the text, reversed, must be pairs of
// hexadecimal digits, and each pair less the key (modulo 256) gives a byte,
// which must not be 0.
// Returns ndmBuff holding the NUL-terminated result (overwritten by the next
// call), or nullptr after printing one of these to standard error:
//   "nDmunge: invalid key value (%d)\n"        key outside 0..kMungeKeyMax
//   "nDmunge: input src length exceeds %d\n"   `text` of 512 or more characters
//   "nDmunge: calloc: %s\n"                    no memory for the work buffer
//   "nDmunge: buffer overflow\n"               result longer than ndmBuff
//   "nDmunge: malformed input\n"               decode: odd length, a character
//                                              other than a hex digit, or a
//                                              byte that decodes to 0
// ndmBuff is left empty on failure.
char* nDmunge(const char* text, int decode, int key);
