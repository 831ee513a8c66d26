#pragma once
// The file-attribute row of a file type: per code, '*' when a difference
// in that code needs no conversion for files of the type. Read from
// qd_fdb_attr on the process's current default database connection.

#include <cstddef>

struct FdbAttr {
  char encription;
  char compression;
  char char_set;
  char hw_architecture;
};

// Results of FdbQueryAttr.
constexpr int kFdbAttrFound = 0;
constexpr int kFdbAttrNone = 1;      // no row for the type
constexpr int kFdbAttrDbError = -1;  // the statement failed

// Reads the row of `fileType` into *attr. kFdbAttrFound: filled.
// kFdbAttrNone: no such row; *attr holds blanks (nothing waived).
// kFdbAttrDbError: *attr holds blanks, `dbmessage` (msglen bytes) the
// database's message cut by the system's convention (QdCutSqlMessage).
// Logs nothing. Autocommit is off: the statement joins (or opens) the
// caller's transaction, and a failed one leaves it for the caller to roll
// back.
[[nodiscard]] int FdbQueryAttr(long fileType, FdbAttr* attr, char* dbmessage, size_t msglen);
