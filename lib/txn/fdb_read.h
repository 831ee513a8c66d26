#pragma once
// The stored-file reader of libQDora_gpl. Files in the file database are
// kept as they arrived: possibly compressed, possibly encrypted, in the
// character set and byte order of the sender. FDBRead hands a stored file
// to a reader in the form the reader asks for: it compares the file's four
// codes with the wanted ones, consults the file-attribute row of the file
// type for differences that need no conversion ('*'), and either passes the
// data through or converts it. The one conversion it can make is bzip2
// decompression and compression (fdb_bz2.h); every other difference that
// matters is refused with a text saying which.
//
// Every form returns one of FdbResult and always sets `errortext` to an
// explanation. Nothing is logged: the caller logs the text. File names are
// system paths, resolved through QdPath() when opened. One call at a time
// per process (the temporary file names carry only the process id).

#include <cstddef>
#include <cstdint>
#include <string>

#include "fdb_attr.h"

// File type plus the stored (I) and wanted (O) codes of a file.
//
//   offset  field              width
//        0  FileType               4  file type number (qd_fdb_attr.file_type)
//        4  Iencription            1  stored encryption code
//        5  Icompression           1  stored compression code
//        6  Ichar_set              1  stored character set code
//        7  Ihw_architecture       1  stored architecture code
//        8  Oencription            1  wanted encryption code
//        9  Ocompression           1  wanted compression code
//       10  Ochar_set              1  wanted character set code
//       11  Ohw_architecture       1  wanted architecture code
//       12  (end)
struct FDBFileParm {
  int32_t FileType;
  char Iencription;
  char Icompression;
  char Ichar_set;
  char Ihw_architecture;
  char Oencription;
  char Ocompression;
  char Ochar_set;
  char Ohw_architecture;
};

static_assert(sizeof(FDBFileParm) == 12, "FDBFileParm is 12 bytes");
static_assert(offsetof(FDBFileParm, Iencription) == 4, "FDBFileParm.Iencription");
static_assert(offsetof(FDBFileParm, Oencription) == 8, "FDBFileParm.Oencription");
static_assert(offsetof(FDBFileParm, Ohw_architecture) == 11, "FDBFileParm.Ohw_architecture");

enum FdbResult {
  FDB_AS_STORED = 0,  // no conversion needed: the data is passed through
  FDB_CONVERTED = 1,  // converted (NeedConversion: a conversion is needed)
  FDB_FAILED = -1,    // refused or failed; errortext says why
};

// Code tables: code character and name.
struct FdbCodeName {
  char code;
  const char* name;
};

// Encryption codes: '0' NONE, '1' GNUPG, '2' ZARVEK.
extern const FdbCodeName EncryptTypes[3];
// Compression codes: '0' NONE, '1' GZIP, '2' BZ2, '3' TAR, '4' TGZ, '5' TBZ2.
extern const FdbCodeName CompressTypes[6];

constexpr char kFdbCodeNone = '0';  // no encryption, no compression
constexpr char kFdbCompressBz2 = '2';
// Character set of the system's own senders; architecture codes come from
// GetHWArch (hw_arch.h). Both are compared as characters only.
constexpr char kFdbCharSetSystem = 'A';
// An attribute column holding this waives differences in that code.
constexpr char kFdbAttrAny = '*';

// The name of `code` in the encryption or compression table; a code the
// table lacks gives "UNKNOWN(c)".
std::string FdbEncryptName(char code);
std::string FdbCompressName(char code);

// Whether `parm` asks for a conversion.
//  - all four code pairs equal: FDB_AS_STORED, "No conversion necessary"
//    (the database is not asked);
//  - else the attribute row of FileType is read; a database error gives
//    FDB_FAILED with "DB error reading file attribute DB for file_type %ld.
//    Msg=%s" (the database's message cut to 149 characters);
//  - some pair differs and its attribute is not '*' (a type without a row
//    waives nothing): FDB_CONVERTED, "File needs conversion";
//  - else FDB_AS_STORED, "File attr indicates conversion unnecessary".
[[nodiscard]] int NeedConversion(const FDBFileParm& parm, std::string& errortext);

// Buffer to buffer. FDB_AS_STORED: *outbuffer is `inbuffer` itself and
// *outsize `insize` (nothing allocated). FDB_CONVERTED: *outbuffer is a new
// malloc'd buffer of *outsize + 1 bytes ending in a NUL; the caller frees
// it, and still owns `inbuffer`. FDB_FAILED: *outbuffer null, *outsize 0.
// The conversion runs through the temporary files of fdb_bz2.h, which are
// gone when this returns.
[[nodiscard]] int FDBRead(const FDBFileParm& parm, char* inbuffer, long insize, char** outbuffer,
                          long* outsize, std::string& errortext);

// File to buffer. FDB_AS_STORED and FDB_CONVERTED: *outbuffer is a new
// malloc'd buffer of *outsize + 1 bytes ending in a NUL (an empty file
// gives size 0 and a buffer holding the NUL alone); the caller frees it.
// FDB_FAILED: *outbuffer null, *outsize 0; reading texts as
// FdbReadWholeFile (fdb_file.h).
[[nodiscard]] int FDBRead(const FDBFileParm& parm, const char* infile, char** outbuffer, long* outsize,
                          std::string& errortext);

// File to file. FDB_AS_STORED: `infile` copied to `outfile` (texts as
// FdbCopyFile). FDB_CONVERTED: `outfile` holds the converted data.
// FDB_FAILED: `outfile` is not left half written (a refusal does not touch
// it; a failed copy or command removes it).
[[nodiscard]] int FDBRead(const FDBFileParm& parm, const char* infile, const char* outfile,
                          std::string& errortext);

// Refusals, checked before any data is converted, in this order (each
// difference counts only when its attribute is not '*'):
//   compression other than BZ2 -> NONE or NONE -> BZ2: "Unable to make
//     requested compression change from <stored> to <wanted>" (names);
//   encryption: "Unable to make requested encription change from <stored>
//     to <wanted>" (names);
//   character set: "Unable to make requested character set change";
//   architecture: "Unable to make requested hardware architecture change".
// A failed bzip2 gives FDB_FAILED with its text (fdb_bz2.h).

// Where the attribute row comes from: FdbQueryAttr (the database) unless a
// test has put another reader in its place. Returns the reader that was in
// force; nullptr restores the database.
using FdbAttrReader = int (*)(long fileType, FdbAttr* attr, char* dbmessage, size_t msglen);
FdbAttrReader FdbSetAttrReader(FdbAttrReader reader);
