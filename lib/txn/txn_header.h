#pragma once
// The opening fields every sender writes into a transaction header: the
// format, plain encoding (no encryption, no compression, ASCII), the
// sender's architecture and the three-letter kind. Identities, times and the
// body stay the caller's.

#include <cstdint>

#include "qd_txn.h"

// Sets fmt, encription '0', compression '0', char_set 'A', hw_architecture
// and TxnId (at most three characters of `kind`, NUL-terminated) of `hdr`;
// leaves every other field as it was.
void TxnHeaderStart(qd_Transaction_Header& hdr, uint8_t fmt, const char* kind, char hw_arch);
