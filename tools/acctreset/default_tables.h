#pragma once
// The default password tables. Each table belongs to one account; its
// entries are scrambled (nd_munge.h, key kAcctMungeKey) and compiled in.
// The first entry is the account's current default, later ones are earlier
// defaults, and an entry with a null pointer ends the table.
//
// A shadow entry unscrambles to "account:hash[:more fields]"; its buffer
// keeps the hash. A web entry unscrambles to the password-file line
// "account:hash"; its buffer keeps that line followed by a line feed.
//
// Every hash is a SHA-512 crypt hash made for this system by
// acctreset-mkentry; the passwords behind them are listed for operators in
// the README.

#include <cstddef>

// The key every table entry is scrambled with.
constexpr int kAcctMungeKey = 43;

// Entries per table, the ending null entry included.
constexpr int kPwsSlots = 4;
constexpr std::size_t kPwsBufferSize = 1024;

struct PWS {
  const char* scrambled;       // null ends the table
  char buf[kPwsBufferSize];    // the hash (shadow) or "line\n" (web)
};

// The tables, loaded by InitDefaultTables and unscrambled on demand. Owned
// by the program's state; nothing here is global.
struct DefaultTables {
  PWS Uroot[kPwsSlots];
  PWS Uspdood[kPwsSlots];
  PWS Uspvar[kPwsSlots];
  PWS Uzarvekcust[kPwsSlots];
  PWS Uspdood_ht[kPwsSlots];
  PWS Uspvar_ht[kPwsSlots];
  PWS Uzarvekcust_ht[kPwsSlots];
  PWS Usetupusr_ht[kPwsSlots];
};

// Points every table at its compiled-in scrambled entries and clears the
// buffers.
void InitDefaultTables(DefaultTables& tables);

// Unscrambles every entry of `table`, a shadow table of `account`: each must
// decode to a text whose first field is `account` and whose second field is
// a non-empty hash of printable characters without blanks. Returns 0, or -1
// after printing what is wrong to standard error (the buffers of the entries
// before the bad one stay filled, the bad one is emptied).
[[nodiscard]] int UnscrambleShadowTable(PWS* table, const char* account);

// The same for a web table: each entry must decode to "account:hash", the
// hash as above; the buffer keeps the line followed by a line feed.
[[nodiscard]] int UnscrambleWebTable(PWS* table, const char* account);

// Unscrambles the tables of the service accounts (all but Uroot). Returns 0,
// or -1 at the first bad entry (printed).
[[nodiscard]] int UnscrambleServiceTables(DefaultTables& tables);
