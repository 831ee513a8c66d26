#pragma once
// The transaction record: the fixed-layout request that one daemon sends
// another as the data of a work message. A 381-byte header common to all
// formats, followed by the body of format 1..7 or 255 (the stop request).
//
// Rules of the record:
//  - every text field char[N] holds a NUL-terminated text of at most N-1
//    characters; senders clear the whole record to zero bytes first, so the
//    bytes behind each text are zero;
//  - every one-byte code holds one printable character, zero meaning "not
//    given";
//  - numbers that travel as text (sequence numbers, sizes, counters) are
//    decimal digits in a text field;
//  - fields follow each other without gaps; every member is a single byte
//    or an array of single bytes, so the layout has no padding and no byte
//    order, and a record may be copied in and out of message data as it
//    stands. The offsets below are from the start of the record.
//
// Types only: the logger that validates and stores records is a module of
// its own.

#include <cstddef>
#include <cstdint>

#include "time_stamp.h"

// Identifies a machine by maker, product and serial (a product or an SP).
//
//   offset  field   width
//        0  vendor     40
//       40  prod       40
//       80  id         80
struct MachineIdentifier {
  char vendor[40];
  char prod[40];
  char id[80];
};

static_assert(sizeof(MachineIdentifier) == 160, "MachineIdentifier is 160 bytes");
static_assert(offsetof(MachineIdentifier, vendor) == 0, "MachineIdentifier.vendor");
static_assert(offsetof(MachineIdentifier, prod) == 40, "MachineIdentifier.prod");
static_assert(offsetof(MachineIdentifier, id) == 80, "MachineIdentifier.id");

// Attribute bits with a meaning; all other bits travel unchanged.
constexpr uint8_t kTxnAttr1Maintenance = 0x80;  // TxnAttr1: SP was in maintenance mode
constexpr uint8_t kTxnAttr3Alert = 0x01;        // TxnAttr3: the notification is an alert
constexpr uint8_t kTxnAttr3Forwarded = 0x02;    // TxnAttr3: forwarded from another SP

// Format numbers carried in the first byte.
enum QdTxnFormat : uint8_t {
  QD_TXN_FMT_FILE = 1,          // a file has arrived
  QD_TXN_FMT_FDB_REQUEST = 2,   // process a file of the file database ("FAR")
  QD_TXN_FMT_NOTIFY = 3,        // notification of a problem ("GNR")
  QD_TXN_FMT_FILE_MULTI = 4,    // file notice with checksums and parts
  QD_TXN_FMT_NOTIFY_MODEL = 5,  // format 3 with the model
  QD_TXN_FMT_NOTIFY_UNIQUE = 6, // format 5 with the repeat key ("PNR")
  QD_TXN_FMT_NOTIFY_SR = 7,     // format 6 with service request and entity
  QD_TXN_FMT_STOP = 255,        // stop the receiving daemon
};

// Common header of every format.
//
//   offset  field            width
//        0  fmt                  1  format number (unsigned)
//        1  encription           1  encryption code of the file concerned
//        2  compression          1  compression code
//        3  char_set             1  character set code
//        4  hw_architecture      1  architecture code of the sender
//        5  TxnId                4  three-letter transaction kind
//        9  TxnAttr1             1  attribute bits (unsigned)
//       10  TxnAttr2             1
//       11  TxnAttr3             1
//       12  TxnAttr4             1
//       13  TxnTime             24  when the request was made
//       37  AssocId             24  correlates a chain of transactions
//       61  prod               160  the product the request concerns
//      221  sp                 160  the SP that sent it
//      381  (end)
struct qd_Transaction_Header {
  uint8_t fmt;
  char encription;
  char compression;
  char char_set;
  char hw_architecture;
  char TxnId[4];
  uint8_t TxnAttr1;
  uint8_t TxnAttr2;
  uint8_t TxnAttr3;
  uint8_t TxnAttr4;
  Time_Stamp TxnTime;
  char AssocId[24];
  MachineIdentifier prod;
  MachineIdentifier sp;
};

static_assert(sizeof(qd_Transaction_Header) == 381, "header is 381 bytes");
static_assert(offsetof(qd_Transaction_Header, fmt) == 0, "hdr.fmt");
static_assert(offsetof(qd_Transaction_Header, encription) == 1, "hdr.encription");
static_assert(offsetof(qd_Transaction_Header, compression) == 2, "hdr.compression");
static_assert(offsetof(qd_Transaction_Header, char_set) == 3, "hdr.char_set");
static_assert(offsetof(qd_Transaction_Header, hw_architecture) == 4, "hdr.hw_architecture");
static_assert(offsetof(qd_Transaction_Header, TxnId) == 5, "hdr.TxnId");
static_assert(offsetof(qd_Transaction_Header, TxnAttr1) == 9, "hdr.TxnAttr1");
static_assert(offsetof(qd_Transaction_Header, TxnAttr2) == 10, "hdr.TxnAttr2");
static_assert(offsetof(qd_Transaction_Header, TxnAttr3) == 11, "hdr.TxnAttr3");
static_assert(offsetof(qd_Transaction_Header, TxnAttr4) == 12, "hdr.TxnAttr4");
static_assert(offsetof(qd_Transaction_Header, TxnTime) == 13, "hdr.TxnTime");
static_assert(offsetof(qd_Transaction_Header, AssocId) == 37, "hdr.AssocId");
static_assert(offsetof(qd_Transaction_Header, prod) == 61, "hdr.prod");
static_assert(offsetof(qd_Transaction_Header, sp) == 221, "hdr.sp");

// Format 1: a file has arrived.
//
//   offset  field           width  rule
//        0  hdr               381
//      381  FileType           10  mandatory
//      391  FileTime           24  must be valid
//      415  FileSeq            10  mandatory
//      425  FileSize_full      10  mandatory, size uncompressed
//      435  FileSize_comp      10  mandatory, size as stored
//      445  FileName          257  mandatory
//      702  comments         1024  optional, leading blanks kept
//     1726  (end)
struct qd_Transaction_Format_1 {
  qd_Transaction_Header hdr;
  char FileType[10];
  Time_Stamp FileTime;
  char FileSeq[10];
  char FileSize_full[10];
  char FileSize_comp[10];
  char FileName[257];
  char comments[1024];
};

static_assert(sizeof(qd_Transaction_Format_1) == 1726, "format 1 is 1726 bytes");
static_assert(offsetof(qd_Transaction_Format_1, FileType) == 381, "f1.FileType");
static_assert(offsetof(qd_Transaction_Format_1, FileTime) == 391, "f1.FileTime");
static_assert(offsetof(qd_Transaction_Format_1, FileSeq) == 415, "f1.FileSeq");
static_assert(offsetof(qd_Transaction_Format_1, FileSize_full) == 425, "f1.FileSize_full");
static_assert(offsetof(qd_Transaction_Format_1, FileSize_comp) == 435, "f1.FileSize_comp");
static_assert(offsetof(qd_Transaction_Format_1, FileName) == 445, "f1.FileName");
static_assert(offsetof(qd_Transaction_Format_1, comments) == 702, "f1.comments");

// Format 2: process a file of the file database, named either by its
// object id or by type, time, sequence and name (all optional one by one).
//
//   offset  field           width
//        0  hdr               381
//      381  FDB_Objid          40  object id in the file catalogue
//      421  FileType           10
//      431  FileTime           24  an invalid stamp counts as absent
//      455  FileSeq            10
//      465  FileName          257
//      722  comments         1024
//     1746  (end)
struct qd_Transaction_Format_2 {
  qd_Transaction_Header hdr;
  char FDB_Objid[40];
  char FileType[10];
  Time_Stamp FileTime;
  char FileSeq[10];
  char FileName[257];
  char comments[1024];
};

static_assert(sizeof(qd_Transaction_Format_2) == 1746, "format 2 is 1746 bytes");
static_assert(offsetof(qd_Transaction_Format_2, FDB_Objid) == 381, "f2.FDB_Objid");
static_assert(offsetof(qd_Transaction_Format_2, FileType) == 421, "f2.FileType");
static_assert(offsetof(qd_Transaction_Format_2, FileTime) == 431, "f2.FileTime");
static_assert(offsetof(qd_Transaction_Format_2, FileSeq) == 455, "f2.FileSeq");
static_assert(offsetof(qd_Transaction_Format_2, FileName) == 465, "f2.FileName");
static_assert(offsetof(qd_Transaction_Format_2, comments) == 722, "f2.comments");

// Format 3: notification of a problem.
//
//   offset  field            width  rule
//        0  hdr                381
//      381  urgency              1  mandatory urgency letter
//      382  notclass             1  class number (unsigned)
//      383  event              257  mandatory
//      640  source             257  mandatory
//      897  EventTimeFirst      24  must be valid
//      921  EventTimeLast       24  must be valid
//      945  EventLocation        1  mandatory location code
//      946  abstract            81  mandatory one-line summary
//     1027  counter             10  mandatory occurrence count
//     1037  text              4001  mandatory, leading blanks kept
//     5038  (end)
struct qd_Transaction_Format_3 {
  qd_Transaction_Header hdr;
  char urgency;
  uint8_t notclass;
  char event[257];
  char source[257];
  Time_Stamp EventTimeFirst;
  Time_Stamp EventTimeLast;
  char EventLocation;
  char abstract[81];
  char counter[10];
  char text[4001];
};

static_assert(sizeof(qd_Transaction_Format_3) == 5038, "format 3 is 5038 bytes");
static_assert(offsetof(qd_Transaction_Format_3, urgency) == 381, "f3.urgency");
static_assert(offsetof(qd_Transaction_Format_3, notclass) == 382, "f3.notclass");
static_assert(offsetof(qd_Transaction_Format_3, event) == 383, "f3.event");
static_assert(offsetof(qd_Transaction_Format_3, source) == 640, "f3.source");
static_assert(offsetof(qd_Transaction_Format_3, EventTimeFirst) == 897, "f3.EventTimeFirst");
static_assert(offsetof(qd_Transaction_Format_3, EventTimeLast) == 921, "f3.EventTimeLast");
static_assert(offsetof(qd_Transaction_Format_3, EventLocation) == 945, "f3.EventLocation");
static_assert(offsetof(qd_Transaction_Format_3, abstract) == 946, "f3.abstract");
static_assert(offsetof(qd_Transaction_Format_3, counter) == 1027, "f3.counter");
static_assert(offsetof(qd_Transaction_Format_3, text) == 1037, "f3.text");

// The notification fields shared by formats 3, 5, 6 and 7 (offsets as in
// format 3), so the later formats repeat the same names at the same places.
#define QD_TXN_NOTIFY_FIELDS      \
  qd_Transaction_Header hdr;      \
  char urgency;                   \
  uint8_t notclass;               \
  char event[257];                \
  char source[257];               \
  Time_Stamp EventTimeFirst;      \
  Time_Stamp EventTimeLast;       \
  char EventLocation;             \
  char abstract[81];              \
  char counter[10];               \
  char text[4001]

// Format 5: format 3 and the model.
//
//   offset  field   width  rule
//        0  (format 3 fields)  5038
//     5038  model      80  mandatory
//     5118  (end)
struct qd_Transaction_Format_5 {
  QD_TXN_NOTIFY_FIELDS;
  char model[80];
};

static_assert(sizeof(qd_Transaction_Format_5) == 5118, "format 5 is 5118 bytes");
static_assert(offsetof(qd_Transaction_Format_5, text) == 1037, "f5.text");
static_assert(offsetof(qd_Transaction_Format_5, model) == 5038, "f5.model");

// Format 6: format 5 and the key that identifies the problem for repeat
// suppression.
//
//   offset  field          width  rule
//        0  (format 5 fields)      5118
//     5118  NotifyUnique     257  mandatory
//     5375  (end)
struct qd_Transaction_Format_6 {
  QD_TXN_NOTIFY_FIELDS;
  char model[80];
  char NotifyUnique[257];
};

static_assert(sizeof(qd_Transaction_Format_6) == 5375, "format 6 is 5375 bytes");
static_assert(offsetof(qd_Transaction_Format_6, model) == 5038, "f6.model");
static_assert(offsetof(qd_Transaction_Format_6, NotifyUnique) == 5118, "f6.NotifyUnique");

// Format 7: format 6 and the service request number and entity id.
//
//   offset  field          width  rule
//        0  (format 6 fields)      5375
//     5375  SRnumber          15  optional
//     5390  EntityId          15  optional
//     5405  (end)
struct qd_Transaction_Format_7 {
  QD_TXN_NOTIFY_FIELDS;
  char model[80];
  char NotifyUnique[257];
  char SRnumber[15];
  char EntityId[15];
};

#undef QD_TXN_NOTIFY_FIELDS

static_assert(sizeof(qd_Transaction_Format_7) == 5405, "format 7 is 5405 bytes");
static_assert(offsetof(qd_Transaction_Format_7, model) == 5038, "f7.model");
static_assert(offsetof(qd_Transaction_Format_7, NotifyUnique) == 5118, "f7.NotifyUnique");
static_assert(offsetof(qd_Transaction_Format_7, SRnumber) == 5375, "f7.SRnumber");
static_assert(offsetof(qd_Transaction_Format_7, EntityId) == 5390, "f7.EntityId");

// Format 4: format 1's file notice with checksums and multipart fields.
//
//   offset  field           width  rule
//        0  hdr               381
//      381  FileType           10  mandatory
//      391  FileTime           24  must be valid
//      415  FileSeq            10  mandatory
//      425  FileSize_full      10  mandatory
//      435  FileSize_comp      10  mandatory
//      445  FileName          257  mandatory
//      702  FileHash           34  optional, MD5 of the file (32 hex digits)
//      736  MultiSeq           10  optional, part number
//      746  MultiTotal         10  optional, number of parts
//      756  MultiHash          34  optional, MD5 of the whole
//      790  comments         1024  optional, leading blanks kept
//     1814  (end)
struct qd_Transaction_Format_4 {
  qd_Transaction_Header hdr;
  char FileType[10];
  Time_Stamp FileTime;
  char FileSeq[10];
  char FileSize_full[10];
  char FileSize_comp[10];
  char FileName[257];
  char FileHash[34];
  char MultiSeq[10];
  char MultiTotal[10];
  char MultiHash[34];
  char comments[1024];
};

static_assert(sizeof(qd_Transaction_Format_4) == 1814, "format 4 is 1814 bytes");
static_assert(offsetof(qd_Transaction_Format_4, FileType) == 381, "f4.FileType");
static_assert(offsetof(qd_Transaction_Format_4, FileTime) == 391, "f4.FileTime");
static_assert(offsetof(qd_Transaction_Format_4, FileSeq) == 415, "f4.FileSeq");
static_assert(offsetof(qd_Transaction_Format_4, FileSize_full) == 425, "f4.FileSize_full");
static_assert(offsetof(qd_Transaction_Format_4, FileSize_comp) == 435, "f4.FileSize_comp");
static_assert(offsetof(qd_Transaction_Format_4, FileName) == 445, "f4.FileName");
static_assert(offsetof(qd_Transaction_Format_4, FileHash) == 702, "f4.FileHash");
static_assert(offsetof(qd_Transaction_Format_4, MultiSeq) == 736, "f4.MultiSeq");
static_assert(offsetof(qd_Transaction_Format_4, MultiTotal) == 746, "f4.MultiTotal");
static_assert(offsetof(qd_Transaction_Format_4, MultiHash) == 756, "f4.MultiHash");
static_assert(offsetof(qd_Transaction_Format_4, comments) == 790, "f4.comments");

// Format 255: stop request; the receiving daemon stops after this message.
//
//   offset  field      width
//        0  hdr          381
//      381  comments    1024  optional, leading blanks kept
//     1405  (end)
struct qd_Transaction_Format_255 {
  qd_Transaction_Header hdr;
  char comments[1024];
};

static_assert(sizeof(qd_Transaction_Format_255) == 1405, "format 255 is 1405 bytes");
static_assert(offsetof(qd_Transaction_Format_255, comments) == 381, "stop.comments");

// Any record; its first byte is always the format number, and its size is
// that of the largest format (7).
union QDTxn {
  uint8_t fmt;
  qd_Transaction_Header hdr;
  qd_Transaction_Format_1 f1;
  qd_Transaction_Format_2 f2;
  qd_Transaction_Format_3 f3;
  qd_Transaction_Format_4 f4;
  qd_Transaction_Format_5 f5;
  qd_Transaction_Format_6 f6;
  qd_Transaction_Format_7 f7;
  qd_Transaction_Format_255 stop;
};

static_assert(sizeof(QDTxn) == 5405, "QDTxn is 5405 bytes");
static_assert(alignof(QDTxn) == 1, "QDTxn is byte-packed");
