// The "GNR" record of a summary, field by field.
#include "gnr_request.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "qd_txn.h"

namespace {

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

template <size_t N>
std::string Text(const char (&field)[N]) {
  return Text(field, N);
}

std::string StampText(const Time_Stamp& s) { return std::string(&s.fmt, sizeof s - 1); }

ParkedGroup Identified() {
  ParkedGroup g;
  std::memset(&g, 0, sizeof g);
  std::snprintf(g.ap_vendor, sizeof g.ap_vendor, "Zarvek");
  std::snprintf(g.ap_product, sizeof g.ap_product, "Velmar");
  std::snprintf(g.ap_prod_id, sizeof g.ap_prod_id, "1234567");
  std::snprintf(g.sp_vendor, sizeof g.sp_vendor, "Zarvek");
  std::snprintf(g.sp_product, sizeof g.sp_product, "SPx");
  std::snprintf(g.sp_prod_id, sizeof g.sp_prod_id, "SP0042");
  return g;
}

GnrSource Source(const ParkedGroup& g) {
  GnrSource src;
  src.group = &g;
  src.notclass = 4;
  src.module_name = "qdGrpNot";
  src.hw_arch = 'X';
  src.now.tv_sec = 1714559696;
  src.now.tv_usec = 0x2a;
  return src;
}

GroupSummary Summary(const std::string& text) {
  GroupSummary s;
  s.text = text;
  s.first = "2024/05/01 10:00:00";
  s.last = "2024/05/02 23:59:59";
  return s;
}

TEST(GnrRecord, EveryFieldOfTheSummaryRequest) {
  ParkedGroup g = Identified();
  qd_Transaction_Format_3 rec;
  std::memset(&rec, 0x55, sizeof rec);  // all of it must be written
  BuildGnrRecord(Summary("    3 Fan failed\n*   1 Disk 3 degraded  \n\n"), Source(g), rec);

  const qd_Transaction_Header& h = rec.hdr;
  EXPECT_EQ(h.fmt, 3);
  EXPECT_EQ(h.encription, '0');
  EXPECT_EQ(h.compression, '0');
  EXPECT_EQ(h.char_set, 'A');
  EXPECT_EQ(h.hw_architecture, 'X');
  EXPECT_EQ(Text(h.TxnId), "GNR");
  EXPECT_EQ(h.TxnAttr1 | h.TxnAttr2 | h.TxnAttr3 | h.TxnAttr4, 0);
  EXPECT_EQ(h.TxnTime.fmt, 'a');
  EXPECT_EQ(Text(h.AssocId), "Sec66321AD0uSec0000002A");
  EXPECT_EQ(Text(h.prod.vendor), "Zarvek");
  EXPECT_EQ(Text(h.prod.prod), "Velmar");
  EXPECT_EQ(Text(h.prod.id), "1234567");
  EXPECT_EQ(Text(h.sp.vendor), "Zarvek");
  EXPECT_EQ(Text(h.sp.prod), "SPx");
  EXPECT_EQ(Text(h.sp.id), "SP0042");

  EXPECT_EQ(rec.urgency, 'L');
  EXPECT_EQ(rec.notclass, 4);
  EXPECT_EQ(Text(rec.event), "Misc events");
  EXPECT_EQ(Text(rec.source), "Zarvek Central task qdGrpNot");
  EXPECT_EQ(StampText(rec.EventTimeFirst), "a2024/05/01 10:00:00.00");
  EXPECT_EQ(StampText(rec.EventTimeLast), "a2024/05/02 23:59:59.00");
  EXPECT_EQ(rec.EventTimeLast.dlm7, '\0');
  EXPECT_EQ(rec.EventLocation, 'R');
  EXPECT_EQ(Text(rec.abstract), "Grouped low urgency notifications");
  EXPECT_EQ(Text(rec.counter), "1");
  // Trailing blanks and line feeds go; leading ones and inner ones stay.
  EXPECT_EQ(Text(rec.text), "    3 Fan failed\n*   1 Disk 3 degraded");
  // Cleared first: the bytes behind each text are zero.
  EXPECT_EQ(rec.text[sizeof rec.text - 1], '\0');
  EXPECT_EQ(rec.abstract[sizeof rec.abstract - 1], '\0');
}

TEST(GnrRecord, NullApVendorEmptiesTheProductAndAFullTextFits) {
  ParkedGroup g = Identified();
  g.ap_vendor_null = true;
  qd_Transaction_Format_3 rec;
  std::string full(kSummaryTextMax, 'z');
  BuildGnrRecord(Summary(full), Source(g), rec);
  EXPECT_EQ(Text(rec.hdr.prod.vendor), "");
  EXPECT_EQ(Text(rec.hdr.prod.prod), "");
  EXPECT_EQ(Text(rec.hdr.prod.id), "");
  EXPECT_EQ(Text(rec.hdr.sp.id), "SP0042");
  EXPECT_EQ(Text(rec.text), full);
}

}  // namespace
