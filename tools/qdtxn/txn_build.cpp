#include "txn_build.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "assoc_id.h"
#include "err_text.h"
#include "hw_arch.h"
#include "time_stamp.h"
#include "txn_header.h"
#include "txn_layout.h"

namespace {

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

bool Apply(char* at, const TxnField& f, const std::string& value) {
  switch (f.kind) {
    case TxnFieldKind::kText:
      if (value.size() >= f.width) return false;
      std::memset(at, 0, f.width);
      std::memcpy(at, value.data(), value.size());
      return true;
    case TxnFieldKind::kCode:
      if (value.size() > 1) return false;
      *at = value.empty() ? '\0' : value[0];
      return true;
    case TxnFieldKind::kNumber:
    case TxnFieldKind::kFlags: {
      char* end = nullptr;
      long number = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || number < 0 || number > 255) return false;
      *reinterpret_cast<uint8_t*>(at) = static_cast<uint8_t>(number);
      return true;
    }
    case TxnFieldKind::kStamp:
      return SetStamp(at, value);
  }
  return false;
}

void Defaults(int fmt, QDTxn& txn) {
  qd_Transaction_Header& hdr = txn.hdr;
  char err[kErrTextSize];
  const char* kind = fmt == 2 ? "FAR" : fmt == 3 ? "GNR" : fmt == 6 ? "PNR" : "";
  TxnHeaderStart(hdr, static_cast<uint8_t>(fmt), kind, GetHWArch(err));
  (void)TStampOut(time(nullptr), hdr.TxnTime, true);
  (void)qdNewAssocId(hdr.AssocId, sizeof hdr.AssocId);
}

}  // namespace

int TxnBuild(int fmt, const std::vector<std::string>& settings, QDTxn& txn, std::string& error) {
  std::memset(&txn, 0, sizeof txn);
  if (TxnFormatSize(fmt) == 0) {
    error = "unknown format " + std::to_string(fmt);
    return -1;
  }
  Defaults(fmt, txn);
  for (const std::string& setting : settings) {
    size_t eq = setting.find('=');
    const TxnField* f =
        eq == std::string::npos ? nullptr : FindTxnField(fmt, setting.substr(0, eq));
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
