#include "txn_header.h"

#include <cstring>

void TxnHeaderStart(qd_Transaction_Header& hdr, uint8_t fmt, const char* kind, char hw_arch) {
  hdr.fmt = fmt;
  hdr.encription = '0';
  hdr.compression = '0';
  hdr.char_set = 'A';
  hdr.hw_architecture = hw_arch;
  std::strncpy(hdr.TxnId, kind, sizeof hdr.TxnId - 1);
  hdr.TxnId[sizeof hdr.TxnId - 1] = '\0';
}
