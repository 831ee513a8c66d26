#include "txn_layout.h"

#include "qd_txn.h"

namespace {

using Kind = TxnFieldKind;

#define QD_HDR(member, kind) \
  { #member, offsetof(qd_Transaction_Header, member), sizeof(qd_Transaction_Header::member), kind }
#define QD_ID(part, member)                                                           \
  { #part "." #member, offsetof(qd_Transaction_Header, part) + offsetof(MachineIdentifier, member), \
    sizeof(MachineIdentifier::member), Kind::kText }
#define QD_BODY(type, member, kind) { #member, offsetof(type, member), sizeof(type::member), kind }

const TxnField kHeader[] = {
    QD_HDR(encription, Kind::kCode), QD_HDR(compression, Kind::kCode),
    QD_HDR(char_set, Kind::kCode),   QD_HDR(hw_architecture, Kind::kCode),
    QD_HDR(TxnId, Kind::kText),      QD_HDR(TxnAttr1, Kind::kFlags),
    QD_HDR(TxnAttr2, Kind::kFlags),  QD_HDR(TxnAttr3, Kind::kFlags),
    QD_HDR(TxnAttr4, Kind::kFlags),  QD_HDR(TxnTime, Kind::kStamp),
    QD_HDR(AssocId, Kind::kText),    QD_ID(prod, vendor), QD_ID(prod, prod), QD_ID(prod, id),
    QD_ID(sp, vendor),               QD_ID(sp, prod),     QD_ID(sp, id),
};

using F1 = qd_Transaction_Format_1;
using F2 = qd_Transaction_Format_2;
using F4 = qd_Transaction_Format_4;
using F7 = qd_Transaction_Format_7;
using F255 = qd_Transaction_Format_255;

const TxnField kFormat1[] = {
    QD_BODY(F1, FileType, Kind::kText),      QD_BODY(F1, FileTime, Kind::kStamp),
    QD_BODY(F1, FileSeq, Kind::kText),       QD_BODY(F1, FileSize_full, Kind::kText),
    QD_BODY(F1, FileSize_comp, Kind::kText), QD_BODY(F1, FileName, Kind::kText),
    QD_BODY(F1, comments, Kind::kText),
};
const TxnField kFormat2[] = {
    QD_BODY(F2, FDB_Objid, Kind::kText), QD_BODY(F2, FileType, Kind::kText),
    QD_BODY(F2, FileTime, Kind::kStamp), QD_BODY(F2, FileSeq, Kind::kText),
    QD_BODY(F2, FileName, Kind::kText),  QD_BODY(F2, comments, Kind::kText),
};
const TxnField kFormat4[] = {
    QD_BODY(F4, FileType, Kind::kText),      QD_BODY(F4, FileTime, Kind::kStamp),
    QD_BODY(F4, FileSeq, Kind::kText),       QD_BODY(F4, FileSize_full, Kind::kText),
    QD_BODY(F4, FileSize_comp, Kind::kText), QD_BODY(F4, FileName, Kind::kText),
    QD_BODY(F4, FileHash, Kind::kText),      QD_BODY(F4, MultiSeq, Kind::kText),
    QD_BODY(F4, MultiTotal, Kind::kText),    QD_BODY(F4, MultiHash, Kind::kText),
    QD_BODY(F4, comments, Kind::kText),
};
// Formats 3, 5, 6 and 7 share their leading fields at the same offsets
// (qd_txn.h asserts them); each format holds those that end within it.
const TxnField kNotify[] = {
    QD_BODY(F7, urgency, Kind::kCode),          QD_BODY(F7, notclass, Kind::kNumber),
    QD_BODY(F7, event, Kind::kText),            QD_BODY(F7, source, Kind::kText),
    QD_BODY(F7, EventTimeFirst, Kind::kStamp),  QD_BODY(F7, EventTimeLast, Kind::kStamp),
    QD_BODY(F7, EventLocation, Kind::kCode),    QD_BODY(F7, abstract, Kind::kText),
    QD_BODY(F7, counter, Kind::kText),          QD_BODY(F7, text, Kind::kText),
    QD_BODY(F7, model, Kind::kText),            QD_BODY(F7, NotifyUnique, Kind::kText),
    QD_BODY(F7, SRnumber, Kind::kText),         QD_BODY(F7, EntityId, Kind::kText),
};
const TxnField kFormat255[] = {QD_BODY(F255, comments, Kind::kText)};

#undef QD_HDR
#undef QD_ID
#undef QD_BODY

template <size_t N>
void Append(std::vector<TxnField>& fields, const TxnField (&table)[N], size_t size) {
  for (const TxnField& f : table) {
    if (f.offset + f.width <= size) fields.push_back(f);
  }
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

std::vector<TxnField> TxnFields(int fmt) {
  std::vector<TxnField> fields;
  size_t size = TxnFormatSize(fmt);
  if (size == 0) return fields;
  Append(fields, kHeader, size);
  switch (fmt) {
    case 1: Append(fields, kFormat1, size); break;
    case 2: Append(fields, kFormat2, size); break;
    case 4: Append(fields, kFormat4, size); break;
    case 255: Append(fields, kFormat255, size); break;
    default: Append(fields, kNotify, size); break;
  }
  return fields;
}

const TxnField* FindTxnField(int fmt, const std::string& name) {
  size_t size = TxnFormatSize(fmt);
  auto find = [&](const auto& table) -> const TxnField* {
    for (const TxnField& f : table) {
      if (name == f.name && f.offset + f.width <= size) return &f;
    }
    return nullptr;
  };
  if (size == 0) return nullptr;
  if (const TxnField* f = find(kHeader)) return f;
  switch (fmt) {
    case 1: return find(kFormat1);
    case 2: return find(kFormat2);
    case 4: return find(kFormat4);
    case 255: return find(kFormat255);
    default: return find(kNotify);
  }
}
