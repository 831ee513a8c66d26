#include "txn_check.h"

#include <cstdio>
#include <cstring>

#include "txn_fields.h"

namespace {

int Result(const TxnCheck& check) { return check.failed ? -1 : 0; }

// The product identification: optional, but a product named by only some
// of its three texts cannot be told apart from another one.
void CheckProductWhole(TxnCheck& check, const TxnHeaderText& out) {
  int given = (out.vendor[0] != '\0') + (out.product[0] != '\0') + (out.prod_id[0] != '\0');
  if (given != 0 && given != 3) {
    TxnIssue(check.log, "QDZ0048", 'A', "prod.vendor,prod.prod,prod.id");
    check.failed = true;
  }
}

// The file notice shared by formats 1 and 4; `labels` names the fields in
// the order FileType, FileSeq, FileSize_full, FileSize_comp, FileName.
template <class Format>
void CheckFileNotice(TxnCheck& check, const Format& f, const char* const labels[5],
                     TxnFileText& out) {
  Manditory(check, labels[0], f.FileType, out.FileType);
  TimeValid(check, "FileTime", f.FileTime, out.FileTime);
  Manditory(check, labels[1], f.FileSeq, out.FileSeq);
  Manditory(check, labels[2], f.FileSize_full, out.FileSize_full);
  Manditory(check, labels[3], f.FileSize_comp, out.FileSize_comp);
  Manditory(check, labels[4], f.FileName, out.FileName);
  OptionalR(f.comments, out.comments);
}

}  // namespace

int TxnCheckHeader(const qd_Transaction_Header& h, TxnHeaderText& out, CLogMessage* log) {
  TxnCheck check(log);
  std::snprintf(out.fmt, sizeof out.fmt, "%d", h.fmt);
  Manditory(check, "TxnId", h.TxnId, out.TxnId);
  TimeValid(check, "TxnTime", h.TxnTime, out.TxnTime);
  Manditory(check, "encription", h.encription, out.encription);
  Manditory(check, "compression", h.compression, out.compression);
  Manditory(check, "char_set", h.char_set, out.char_set);
  Manditory(check, "hw_architecture", h.hw_architecture, out.hw_architecture);
  Manditory(check, "AssocId", h.AssocId, out.AssocId);
  std::snprintf(out.txnattr, sizeof out.txnattr, "%.2X%.2X%.2X%.2X", h.TxnAttr1, h.TxnAttr2,
                h.TxnAttr3, h.TxnAttr4);
  Optional(h.prod.vendor, out.vendor);
  Optional(h.prod.prod, out.product);
  Optional(h.prod.id, out.prod_id);
  Manditory(check, "sp.vendor", h.sp.vendor, out.sp_vendor);
  Manditory(check, "sp.prod", h.sp.prod, out.sp_product);
  Manditory(check, "sp.id", h.sp.id, out.sp_prod_id);
  CheckProductWhole(check, out);
  return Result(check);
}

int TxnCheckFormat1(const qd_Transaction_Format_1& f1, TxnFileText& out, CLogMessage* log) {
  static const char* const kLabels[5] = {"f1.FileType", "f1.FileSeq", "f1.FileSize_full",
                                         "f1.FileSize_comp", "f1.FileName"};
  TxnCheck check(log);
  CheckFileNotice(check, f1, kLabels, out);
  // "f1.comments" is optional: it can never fail.
  return Result(check);
}

int TxnCheckFormat2(const qd_Transaction_Format_2& f2, TxnFdbText& out, CLogMessage* log) {
  Optional(f2.FDB_Objid, out.FDB_Objid);
  Optional(f2.FileType, out.FileType);
  bool stamp = TimeValid(f2.FileTime);
  if (stamp) {
    TxnStampText(f2.FileTime, out.FileTime);
  } else {
    out.FileTime[0] = '\0';
  }
  out.FileTime_ind = stamp ? 0 : -1;
  Optional(f2.FileSeq, out.FileSeq);
  Optional(f2.FileName, out.FileName);
  OptionalR(f2.comments, out.comments);
  bool named = out.FileType[0] != '\0' && stamp && out.FileSeq[0] != '\0' && out.FileName[0] != '\0';
  if (out.FDB_Objid[0] == '\0' && !named) {
    TxnIssue(log, "QDZ0049", 'A', "FDB_Objid", "FileType,FileTime,FileSeq,FileName");
    return -1;
  }
  return 0;
}

int TxnCheckFormat3(const qd_Transaction_Format_3& f3, TxnNotifyText& out, CLogMessage* log) {
  TxnCheck check(log);
  Manditory(check, "urgency", f3.urgency, out.urgency);
  std::snprintf(out.notclass, sizeof out.notclass, "%d", f3.notclass);
  Manditory(check, "f3.event", f3.event, out.event);
  Manditory(check, "f3.source", f3.source, out.source);
  TimeValid(check, "EventTimeFirst", f3.EventTimeFirst, out.EventTimeFirst);
  TimeValid(check, "EventTimeLast", f3.EventTimeLast, out.EventTimeLast);
  Manditory(check, "EventLocation", f3.EventLocation, out.EventLocation);
  Manditory(check, "f3.abstract", f3.abstract, out.abstract);
  Manditory(check, "f3.counter", f3.counter, out.counter);
  ManditoryR(check, "f3.text", f3.text, out.text);
  return Result(check);
}

int TxnCheckFormat4(const qd_Transaction_Format_4& f4, TxnFileText& out, CLogMessage* log) {
  static const char* const kLabels[5] = {"f4.FileType", "f4.FileSeq", "f4.FileSize_full",
                                         "f4.FileSize_comp", "f4.FileName"};
  TxnCheck check(log);
  CheckFileNotice(check, f4, kLabels, out);
  Optional(f4.FileHash, out.FileHash);
  Optional(f4.MultiHash, out.MultiHash);
  Optional(f4.MultiSeq, out.MultiSeq);
  Optional(f4.MultiTotal, out.MultiTotal);
  return Result(check);
}

int TxnCheckNotifyExtra(const QDTxn& txn, TxnNotifyText& out, CLogMessage* log) {
  TxnCheck check(log);
  switch (txn.fmt) {
    case QD_TXN_FMT_NOTIFY_MODEL:
      Manditory(check, "f5.model", txn.f5.model, out.model);
      break;
    case QD_TXN_FMT_NOTIFY_UNIQUE:
      Manditory(check, "f5.model", txn.f6.model, out.model);
      Manditory(check, "f6.NotifyUnique", txn.f6.NotifyUnique, out.NotifyUnique);
      break;
    case QD_TXN_FMT_NOTIFY_SR:
      Manditory(check, "f7.model", txn.f7.model, out.model);
      Manditory(check, "f7.NotifyUnique", txn.f7.NotifyUnique, out.NotifyUnique);
      Optional(txn.f7.SRnumber, out.SRnumber);
      Optional(txn.f7.EntityId, out.EntityId);
      break;
    default:
      break;
  }
  return Result(check);
}

int TxnCheckStop(const qd_Transaction_Format_255& stop, TxnStopText& out) {
  OptionalR(stop.comments, out.comments);
  return 0;
}
