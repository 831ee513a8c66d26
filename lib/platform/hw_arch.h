#pragma once
// The hardware architecture code of this machine: the one character that
// transaction records and stored files carry to say what byte order and
// word size their binary data has.
//
//   code  machine (uname -m)
//   'X'   x86_64, amd64
//   'I'   i386, i486, i586, i686 (32-bit x86)
//   'A'   aarch64, arm64
//   'R'   arm* (32-bit ARM)
//   'P'   ppc64le
//   'Q'   ppc64 (big-endian)
//   'Z'   s390x
//   'V'   riscv64
//
// Codes are compared as characters only; no conversion between them exists.

// Returns this machine's code; 0 with the error text (kErrTextSize bytes,
// err_text.h) filled when the machine cannot be asked or is not in the
// table. Logs nothing.
char GetHWArch(char* errortext);

// The code of the machine name `machine` (as uname -m shows it), 0 when it
// is not in the table.
char HWArchCode(const char* machine);
