#include "txn_print.h"

#include <cstdio>
#include <cstring>

#include "ftp_request.h"
#include "qd_txn.h"
#include "txn_layout.h"

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

std::string Field(const char* record, const TxnField& f) {
  const char* at = record + f.offset;
  switch (f.kind) {
    case TxnFieldKind::kText: return Text(at, f.width);
    case TxnFieldKind::kCode: return Code(*at);
    case TxnFieldKind::kNumber: return Number(static_cast<unsigned char>(*at));
    case TxnFieldKind::kFlags: return Hex2(static_cast<unsigned char>(*at));
    case TxnFieldKind::kStamp: {
      Time_Stamp ts;
      memcpy(&ts, at, sizeof ts);
      return Stamp(ts);
    }
  }
  return "";
}

}  // namespace

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
  const char* record = reinterpret_cast<const char*>(&txn);
  lines.push_back("fmt: " + Number(txn.hdr.fmt));
  for (const TxnField& f : TxnFields(txn.hdr.fmt)) {
    lines.push_back(std::string(f.name) + ": " + Field(record, f));
  }
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
