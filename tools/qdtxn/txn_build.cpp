#include "txn_build.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "assoc_id.h"
#include "err_text.h"
#include "hw_arch.h"
#include "time_stamp.h"

namespace {

enum class Kind { kText, kCode, kByte, kStamp };

struct Field {
  const char* name;
  size_t offset;
  size_t width;
  Kind kind;
};

#define QD_HDR(member, kind) \
  { #member, offsetof(qd_Transaction_Header, member), sizeof(qd_Transaction_Header::member), kind }
#define QD_ID(part, member)                                                           \
  { #part "." #member, offsetof(qd_Transaction_Header, part) + offsetof(MachineIdentifier, member), \
    sizeof(MachineIdentifier::member), Kind::kText }
#define QD_BODY(type, member, kind) { #member, offsetof(type, member), sizeof(type::member), kind }

const Field kHeader[] = {
    QD_HDR(encription, Kind::kCode), QD_HDR(compression, Kind::kCode),
    QD_HDR(char_set, Kind::kCode),   QD_HDR(hw_architecture, Kind::kCode),
    QD_HDR(TxnId, Kind::kText),      QD_HDR(TxnAttr1, Kind::kByte),
    QD_HDR(TxnAttr2, Kind::kByte),   QD_HDR(TxnAttr3, Kind::kByte),
    QD_HDR(TxnAttr4, Kind::kByte),   QD_HDR(TxnTime, Kind::kStamp),
    QD_HDR(AssocId, Kind::kText),    QD_ID(prod, vendor), QD_ID(prod, prod), QD_ID(prod, id),
    QD_ID(sp, vendor),               QD_ID(sp, prod),     QD_ID(sp, id),
};

using F1 = qd_Transaction_Format_1;
using F2 = qd_Transaction_Format_2;
using F4 = qd_Transaction_Format_4;
using F7 = qd_Transaction_Format_7;
using F255 = qd_Transaction_Format_255;

const Field kFormat1[] = {
    QD_BODY(F1, FileType, Kind::kText),      QD_BODY(F1, FileTime, Kind::kStamp),
    QD_BODY(F1, FileSeq, Kind::kText),       QD_BODY(F1, FileSize_full, Kind::kText),
    QD_BODY(F1, FileSize_comp, Kind::kText), QD_BODY(F1, FileName, Kind::kText),
    QD_BODY(F1, comments, Kind::kText),
};
const Field kFormat2[] = {
    QD_BODY(F2, FDB_Objid, Kind::kText), QD_BODY(F2, FileType, Kind::kText),
    QD_BODY(F2, FileTime, Kind::kStamp), QD_BODY(F2, FileSeq, Kind::kText),
    QD_BODY(F2, FileName, Kind::kText),  QD_BODY(F2, comments, Kind::kText),
};
const Field kFormat4[] = {
    QD_BODY(F4, FileType, Kind::kText),      QD_BODY(F4, FileTime, Kind::kStamp),
    QD_BODY(F4, FileSeq, Kind::kText),       QD_BODY(F4, FileSize_full, Kind::kText),
    QD_BODY(F4, FileSize_comp, Kind::kText), QD_BODY(F4, FileName, Kind::kText),
    QD_BODY(F4, FileHash, Kind::kText),      QD_BODY(F4, MultiSeq, Kind::kText),
    QD_BODY(F4, MultiTotal, Kind::kText),    QD_BODY(F4, MultiHash, Kind::kText),
    QD_BODY(F4, comments, Kind::kText),
};
// Formats 3, 5, 6 and 7 share their leading fields at the same offsets.
const Field kNotify[] = {
    QD_BODY(F7, urgency, Kind::kCode),          QD_BODY(F7, notclass, Kind::kByte),
    QD_BODY(F7, event, Kind::kText),            QD_BODY(F7, source, Kind::kText),
    QD_BODY(F7, EventTimeFirst, Kind::kStamp),  QD_BODY(F7, EventTimeLast, Kind::kStamp),
    QD_BODY(F7, EventLocation, Kind::kCode),    QD_BODY(F7, abstract, Kind::kText),
    QD_BODY(F7, counter, Kind::kText),          QD_BODY(F7, text, Kind::kText),
    QD_BODY(F7, model, Kind::kText),            QD_BODY(F7, NotifyUnique, Kind::kText),
    QD_BODY(F7, SRnumber, Kind::kText),         QD_BODY(F7, EntityId, Kind::kText),
};
const Field kFormat255[] = {QD_BODY(F255, comments, Kind::kText)};

template <size_t N>
const Field* Find(const Field (&table)[N], const std::string& name, size_t limit) {
  for (const Field& f : table) {
    if (name == f.name && f.offset + f.width <= limit) return &f;
  }
  return nullptr;
}

const Field* FindField(int fmt, const std::string& name) {
  if (const Field* f = Find(kHeader, name, sizeof(qd_Transaction_Header))) return f;
  size_t size = TxnFormatSize(fmt);
  switch (fmt) {
    case 1: return Find(kFormat1, name, size);
    case 2: return Find(kFormat2, name, size);
    case 4: return Find(kFormat4, name, size);
    case 3: case 5: case 6: case 7: return Find(kNotify, name, size);
    case 255: return Find(kFormat255, name, size);
    default: return nullptr;
  }
}

bool SetStamp(char* at, const std::string& value) {
  Time_Stamp stamp;
  if (value == "now") return TStampOut(time(nullptr), *reinterpret_cast<Time_Stamp*>(at), true) == 0;
  std::string text = "a" + value + (value.size() == 19 ? ".00" : "");
  if (text.size() != sizeof stamp - 1) return false;
  std::memcpy(&stamp, text.c_str(), sizeof stamp);
  time_t seconds;
  if (TStampIn(stamp, seconds, true) != 0) return false;
  std::memcpy(at, &stamp, sizeof stamp);
  return true;
}

bool Apply(char* at, const Field& f, const std::string& value) {
  switch (f.kind) {
    case Kind::kText:
      if (value.size() >= f.width) return false;
      std::memset(at, 0, f.width);
      std::memcpy(at, value.data(), value.size());
      return true;
    case Kind::kCode:
      if (value.size() > 1) return false;
      *at = value.empty() ? '\0' : value[0];
      return true;
    case Kind::kByte: {
      char* end = nullptr;
      long number = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || number < 0 || number > 255) return false;
      *reinterpret_cast<uint8_t*>(at) = static_cast<uint8_t>(number);
      return true;
    }
    case Kind::kStamp:
      return SetStamp(at, value);
  }
  return false;
}

void Defaults(int fmt, QDTxn& txn) {
  qd_Transaction_Header& hdr = txn.hdr;
  hdr.fmt = static_cast<uint8_t>(fmt);
  hdr.encription = '0';
  hdr.compression = '0';
  hdr.char_set = 'A';
  char err[kErrTextSize];
  hdr.hw_architecture = GetHWArch(err);
  const char* kind = fmt == 2 ? "FAR" : fmt == 3 ? "GNR" : fmt == 6 ? "PNR" : "";
  std::strcpy(hdr.TxnId, kind);
  (void)TStampOut(time(nullptr), hdr.TxnTime, true);
  (void)qdNewAssocId(hdr.AssocId, sizeof hdr.AssocId);
}

}  // namespace

size_t TxnFormatSize(int fmt) {
  switch (fmt) {
    case 1: return sizeof(qd_Transaction_Format_1);
    case 2: return sizeof(qd_Transaction_Format_2);
    case 3: return sizeof(qd_Transaction_Format_3);
    case 4: return sizeof(qd_Transaction_Format_4);
    case 5: return sizeof(qd_Transaction_Format_5);
    case 6: return sizeof(qd_Transaction_Format_6);
    case 7: return sizeof(qd_Transaction_Format_7);
    case 255: return sizeof(qd_Transaction_Format_255);
    default: return 0;
  }
}

int TxnBuild(int fmt, const std::vector<std::string>& settings, QDTxn& txn, std::string& error) {
  std::memset(&txn, 0, sizeof txn);
  if (TxnFormatSize(fmt) == 0) {
    error = "unknown format " + std::to_string(fmt);
    return -1;
  }
  Defaults(fmt, txn);
  for (const std::string& setting : settings) {
    size_t eq = setting.find('=');
    const Field* f = eq == std::string::npos ? nullptr : FindField(fmt, setting.substr(0, eq));
    if (!f) {
      error = "no field '" + setting.substr(0, eq) + "' in format " + std::to_string(fmt);
      return -1;
    }
    if (!Apply(reinterpret_cast<char*>(&txn) + f->offset, *f, setting.substr(eq + 1))) {
      error = "value does not fit field " + std::string(f->name) + ": '" +
              setting.substr(eq + 1) + "'";
      return -1;
    }
  }
  return 0;
}
