#pragma once
// The file transfer request: asks the SP's file transfer process "SPFT" to
// carry one file. It travels as the data of work message "TOQ", sent by the
// event collector and by the notify client library.
//
//   offset  field           width  content
//        0  Type                1  'S' diagnostic file, 'P' otherwise
//        1  Urgency             1  'N'
//        2  ExtraRequests       1  request bits
//        3  Format              1  record format, 1
//        4  TRCNotify           4
//        8  TRCRequestID        4
//       12  TimeStamp           4  time of the file, seconds since 1970
//       16  compressType        1
//       17  encrypted           1
//       18  cReserved1          2
//       20  nGrpFileCount       4
//       24  nGrpFilesSize       4
//       28  nReserved           4
//       32  ProdSerNo          80  system identifier of the array
//      112  FileType           10  "spdiag", "event", "NOTIFY", ...
//      122  FileSeq            10  file sequence
//      132  FileName          257  full path of the file
//      389  FileDesc          257
//      646  DestDir           128
//      774  SvrFileName       257
//     1031  cPad                1
//     1032  (end)
//
// Texts are NUL-terminated within their widths; senders zero the whole
// record first. The 4-byte numbers are in the sender's byte order (sender
// and transfer process share the SP). Every 4-byte field sits at a multiple
// of 4, so the natural layout has no padding; copy message data into a
// record with memcpy rather than casting the data buffer.

#include <cstddef>
#include <cstdint>

// ExtraRequests bit that the notify client library sets.
constexpr uint8_t kFtpExtraNotify = 0x02;

struct FTPrequest {
  char Type;
  char Urgency;
  uint8_t ExtraRequests;
  uint8_t Format;
  int32_t TRCNotify;
  int32_t TRCRequestID;
  int32_t TimeStamp;
  uint8_t compressType;
  uint8_t encrypted;
  char cReserved1[2];
  int32_t nGrpFileCount;
  int32_t nGrpFilesSize;
  int32_t nReserved;
  char ProdSerNo[80];
  char FileType[10];
  char FileSeq[10];
  char FileName[257];
  char FileDesc[257];
  char DestDir[128];
  char SvrFileName[257];
  char cPad;
};

static_assert(sizeof(FTPrequest) == 1032, "FTPrequest is 1032 bytes");
static_assert(offsetof(FTPrequest, Type) == 0, "FTPrequest.Type");
static_assert(offsetof(FTPrequest, Urgency) == 1, "FTPrequest.Urgency");
static_assert(offsetof(FTPrequest, ExtraRequests) == 2, "FTPrequest.ExtraRequests");
static_assert(offsetof(FTPrequest, Format) == 3, "FTPrequest.Format");
static_assert(offsetof(FTPrequest, TRCNotify) == 4, "FTPrequest.TRCNotify");
static_assert(offsetof(FTPrequest, TRCRequestID) == 8, "FTPrequest.TRCRequestID");
static_assert(offsetof(FTPrequest, TimeStamp) == 12, "FTPrequest.TimeStamp");
static_assert(offsetof(FTPrequest, compressType) == 16, "FTPrequest.compressType");
static_assert(offsetof(FTPrequest, encrypted) == 17, "FTPrequest.encrypted");
static_assert(offsetof(FTPrequest, cReserved1) == 18, "FTPrequest.cReserved1");
static_assert(offsetof(FTPrequest, nGrpFileCount) == 20, "FTPrequest.nGrpFileCount");
static_assert(offsetof(FTPrequest, nGrpFilesSize) == 24, "FTPrequest.nGrpFilesSize");
static_assert(offsetof(FTPrequest, nReserved) == 28, "FTPrequest.nReserved");
static_assert(offsetof(FTPrequest, ProdSerNo) == 32, "FTPrequest.ProdSerNo");
static_assert(offsetof(FTPrequest, FileType) == 112, "FTPrequest.FileType");
static_assert(offsetof(FTPrequest, FileSeq) == 122, "FTPrequest.FileSeq");
static_assert(offsetof(FTPrequest, FileName) == 132, "FTPrequest.FileName");
static_assert(offsetof(FTPrequest, FileDesc) == 389, "FTPrequest.FileDesc");
static_assert(offsetof(FTPrequest, DestDir) == 646, "FTPrequest.DestDir");
static_assert(offsetof(FTPrequest, SvrFileName) == 774, "FTPrequest.SvrFileName");
static_assert(offsetof(FTPrequest, cPad) == 1031, "FTPrequest.cPad");
