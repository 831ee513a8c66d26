#include "txn_print.h"

#include <cstdio>
#include <cstring>

#include "ftp_request.h"
#include "qd_txn.h"

namespace {

std::string Escape(const char* p, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

// A text field of `width` bytes.
std::string Text(const char* field, size_t width) {
  const void* nul = memchr(field, '\0', width);
  if (!nul) return Escape(field, width) + " (unterminated)";
  return Escape(field, static_cast<size_t>(static_cast<const char*>(nul) - field));
}

std::string Code(char c) { return c == 0 ? "(none)" : Escape(&c, 1); }

std::string Number(unsigned value) { return std::to_string(value); }

std::string Hex2(unsigned char value) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string Stamp(const Time_Stamp& ts) {
  const char* raw = reinterpret_cast<const char*>(&ts);
  bool valid = ts.fmt == 'a' && ts.dlm1 == '/' && ts.dlm2 == '/' && ts.dlm3 == ' ' &&
               ts.dlm4 == ':' && ts.dlm5 == ':' && ts.dlm6 == '.' && ts.dlm7 == '\0';
  if (valid) return std::string(raw + 1, 22);
  bool empty = true;
  for (size_t i = 0; i < sizeof ts; ++i) empty = empty && raw[i] == 0;
  return empty ? "(empty)" : "(invalid) " + Escape(raw, sizeof ts);
}

#define TEXT(rec, f) lines.push_back(std::string(#f ": ") + Text(rec.f, sizeof rec.f))

void Machine(std::vector<std::string>& lines, const char* label, const MachineIdentifier& m) {
  lines.push_back(std::string(label) + ".vendor: " + Text(m.vendor, sizeof m.vendor));
  lines.push_back(std::string(label) + ".prod: " + Text(m.prod, sizeof m.prod));
  lines.push_back(std::string(label) + ".id: " + Text(m.id, sizeof m.id));
}

void Header(std::vector<std::string>& lines, const qd_Transaction_Header& h) {
  lines.push_back("fmt: " + Number(h.fmt));
  lines.push_back("encription: " + Code(h.encription));
  lines.push_back("compression: " + Code(h.compression));
  lines.push_back("char_set: " + Code(h.char_set));
  lines.push_back("hw_architecture: " + Code(h.hw_architecture));
  TEXT(h, TxnId);
  lines.push_back("TxnAttr1: " + Hex2(h.TxnAttr1));
  lines.push_back("TxnAttr2: " + Hex2(h.TxnAttr2));
  lines.push_back("TxnAttr3: " + Hex2(h.TxnAttr3));
  lines.push_back("TxnAttr4: " + Hex2(h.TxnAttr4));
  lines.push_back("TxnTime: " + Stamp(h.TxnTime));
  TEXT(h, AssocId);
  Machine(lines, "prod", h.prod);
  Machine(lines, "sp", h.sp);
}

// Fields shared by formats 1 and 4 up to FileName.
template <typename R>
void FileNotice(std::vector<std::string>& lines, const R& r) {
  TEXT(r, FileType);
  lines.push_back("FileTime: " + Stamp(r.FileTime));
  TEXT(r, FileSeq);
  TEXT(r, FileSize_full);
  TEXT(r, FileSize_comp);
  TEXT(r, FileName);
}

// Fields shared by formats 3, 5, 6 and 7.
template <typename R>
void Notice(std::vector<std::string>& lines, const R& r) {
  lines.push_back("urgency: " + Code(r.urgency));
  lines.push_back("notclass: " + Number(r.notclass));
  TEXT(r, event);
  TEXT(r, source);
  lines.push_back("EventTimeFirst: " + Stamp(r.EventTimeFirst));
  lines.push_back("EventTimeLast: " + Stamp(r.EventTimeLast));
  lines.push_back("EventLocation: " + Code(r.EventLocation));
  TEXT(r, abstract);
  TEXT(r, counter);
  TEXT(r, text);
}

void Body(std::vector<std::string>& lines, const QDTxn& t) {
  switch (t.fmt) {
    case 1:
      FileNotice(lines, t.f1);
      TEXT(t.f1, comments);
      break;
    case 2:
      TEXT(t.f2, FDB_Objid);
      TEXT(t.f2, FileType);
      lines.push_back("FileTime: " + Stamp(t.f2.FileTime));
      TEXT(t.f2, FileSeq);
      TEXT(t.f2, FileName);
      TEXT(t.f2, comments);
      break;
    case 3:
      Notice(lines, t.f3);
      break;
    case 4:
      FileNotice(lines, t.f4);
      TEXT(t.f4, FileHash);
      TEXT(t.f4, MultiSeq);
      TEXT(t.f4, MultiTotal);
      TEXT(t.f4, MultiHash);
      TEXT(t.f4, comments);
      break;
    case 5:
      Notice(lines, t.f5);
      TEXT(t.f5, model);
      break;
    case 6:
      Notice(lines, t.f6);
      TEXT(t.f6, model);
      TEXT(t.f6, NotifyUnique);
      break;
    case 7:
      Notice(lines, t.f7);
      TEXT(t.f7, model);
      TEXT(t.f7, NotifyUnique);
      TEXT(t.f7, SRnumber);
      TEXT(t.f7, EntityId);
      break;
    case 255:
      TEXT(t.stop, comments);
      break;
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

bool IsTxnRecord(const std::string& data) {
  if (data.empty() || data.size() > sizeof(QDTxn)) return false;
  size_t need = TxnFormatSize(static_cast<unsigned char>(data[0]));
  return need != 0 && data.size() >= need;
}

std::vector<std::string> DescribeTxn(const std::string& data) {
  std::vector<std::string> lines;
  if (!IsTxnRecord(data)) return lines;
  // A whole union, zero beyond the data, so every field read stays inside.
  QDTxn txn;
  memset(&txn, 0, sizeof txn);
  memcpy(&txn, data.data(), data.size());
  Header(lines, txn.hdr);
  Body(lines, txn);
  return lines;
}

std::vector<std::string> DescribeFtpRequest(const std::string& data) {
  std::vector<std::string> lines;
  if (data.size() != sizeof(FTPrequest)) return lines;
  FTPrequest r;
  memcpy(&r, data.data(), sizeof r);
  lines.push_back("Type: " + Code(r.Type));
  lines.push_back("Urgency: " + Code(r.Urgency));
  lines.push_back("ExtraRequests: " + Hex2(r.ExtraRequests));
  lines.push_back("Format: " + Number(r.Format));
  lines.push_back("TRCNotify: " + std::to_string(r.TRCNotify));
  lines.push_back("TRCRequestID: " + std::to_string(r.TRCRequestID));
  lines.push_back("TimeStamp: " + std::to_string(r.TimeStamp));
  lines.push_back("compressType: " + Number(r.compressType));
  lines.push_back("encrypted: " + Number(r.encrypted));
  lines.push_back("nGrpFileCount: " + std::to_string(r.nGrpFileCount));
  lines.push_back("nGrpFilesSize: " + std::to_string(r.nGrpFilesSize));
  lines.push_back("nReserved: " + std::to_string(r.nReserved));
  TEXT(r, ProdSerNo);
  TEXT(r, FileType);
  TEXT(r, FileSeq);
  TEXT(r, FileName);
  TEXT(r, FileDesc);
  TEXT(r, DestDir);
  TEXT(r, SvrFileName);
  return lines;
}
