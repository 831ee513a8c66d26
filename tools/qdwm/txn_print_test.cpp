#include "txn_print.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ftp_request.h"
#include "qd_txn.h"
#include "txn_layout.h"

namespace {

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

void Put(std::string& data, size_t offset, const char* text) {
  memcpy(&data[offset], text, strlen(text));
}

TEST(TxnPrint, RecognisesEveryFormatOnlyFromItsSizeUpToTheLargest) {
  for (int fmt : {1, 2, 3, 4, 5, 6, 7, 255}) {
    size_t size = TxnFormatSize(fmt);
    ASSERT_GT(size, 380u) << fmt;
    std::string data(size, '\0');
    data[0] = static_cast<char>(fmt);
    EXPECT_TRUE(IsTxnRecord(data)) << fmt;
    EXPECT_FALSE(IsTxnRecord(data.substr(0, size - 1))) << fmt;
    std::string padded(sizeof(QDTxn), '\0');
    padded[0] = static_cast<char>(fmt);
    EXPECT_TRUE(IsTxnRecord(padded)) << fmt;
    padded.push_back('\0');
    EXPECT_FALSE(IsTxnRecord(padded)) << fmt;
  }
  for (int fmt : {0, 8, 254}) {
    std::string data(sizeof(QDTxn), '\0');
    data[0] = static_cast<char>(fmt);
    EXPECT_FALSE(IsTxnRecord(data)) << fmt;
    EXPECT_TRUE(DescribeTxn(data).empty()) << fmt;
  }
  EXPECT_FALSE(IsTxnRecord(""));
}

TEST(TxnPrint, DecodesHeaderAndAnalysisRequestAtTheirOffsets) {
  qd_Transaction_Format_2 r;
  memset(&r, 0, sizeof r);
  r.hdr.fmt = 2;
  r.hdr.encription = '0';
  r.hdr.char_set = 'A';
  r.hdr.hw_architecture = 'X';
  memcpy(r.hdr.TxnId, "FAR", 3);
  r.hdr.TxnAttr3 = kTxnAttr3Alert;
  memcpy(&r.hdr.TxnTime, "a2014/10/09 23:38:00.00", 24);
  strcpy(r.hdr.sp.id, "SP0042");
  strcpy(r.FileName, "/sp/prod/data/files/1234567/event/090305.140709.1-234567");
  strcpy(r.comments, "  two leading blanks\n");
  auto lines = DescribeTxn(Bytes(&r, sizeof r));
  EXPECT_TRUE(Has(lines, "fmt: 2"));
  EXPECT_TRUE(Has(lines, "encription: 0"));
  EXPECT_TRUE(Has(lines, "compression: (none)"));
  EXPECT_TRUE(Has(lines, "TxnId: FAR"));
  EXPECT_TRUE(Has(lines, "TxnAttr3: 0x01"));
  EXPECT_TRUE(Has(lines, "TxnTime: 2014/10/09 23:38:00.00"));
  EXPECT_TRUE(Has(lines, "sp.id: SP0042"));
  EXPECT_TRUE(Has(lines, "prod.vendor: "));
  EXPECT_TRUE(Has(lines, "FileTime: (empty)"));
  EXPECT_TRUE(Has(lines, "FileName: /sp/prod/data/files/1234567/event/090305.140709.1-234567"));
  EXPECT_TRUE(Has(lines, "comments:   two leading blanks\\x0A"));
}

TEST(TxnPrint, LaterNotificationFormatsShowTheirOwnFieldsAtTheDocumentedOffsets) {
  std::string data(sizeof(qd_Transaction_Format_7), '\0');
  data[0] = 7;
  Put(data, 381, "H");
  data[382] = static_cast<char>(200);
  Put(data, 1037, "the text");
  Put(data, 5038, "V400");
  Put(data, 5118, "unique-key");
  Put(data, 5375, "SR12345");
  Put(data, 5390, "ENT9");
  auto lines = DescribeTxn(data);
  EXPECT_TRUE(Has(lines, "urgency: H"));
  EXPECT_TRUE(Has(lines, "notclass: 200"));
  EXPECT_TRUE(Has(lines, "text: the text"));
  EXPECT_TRUE(Has(lines, "model: V400"));
  EXPECT_TRUE(Has(lines, "NotifyUnique: unique-key"));
  EXPECT_TRUE(Has(lines, "SRnumber: SR12345"));
  EXPECT_TRUE(Has(lines, "EntityId: ENT9"));

  // Format 5 stops at the model; format 6 has no service request number.
  std::string f5 = data.substr(0, sizeof(qd_Transaction_Format_5));
  f5[0] = 5;
  lines = DescribeTxn(f5);
  EXPECT_TRUE(Has(lines, "model: V400"));
  EXPECT_FALSE(Has(lines, "NotifyUnique: unique-key"));
  std::string f6 = data.substr(0, sizeof(qd_Transaction_Format_6));
  f6[0] = 6;
  lines = DescribeTxn(f6);
  EXPECT_TRUE(Has(lines, "NotifyUnique: unique-key"));
  EXPECT_FALSE(Has(lines, "SRnumber: SR12345"));
}

TEST(TxnPrint, FileNoticesAndStopRecord) {
  std::string f4(sizeof(qd_Transaction_Format_4), '\0');
  f4[0] = 4;
  Put(f4, 702, "0123456789abcdef0123456789abcdef");
  Put(f4, 736, "2");
  Put(f4, 746, "3");
  Put(f4, 790, "parts");
  auto lines = DescribeTxn(f4);
  EXPECT_TRUE(Has(lines, "FileHash: 0123456789abcdef0123456789abcdef"));
  EXPECT_TRUE(Has(lines, "MultiSeq: 2"));
  EXPECT_TRUE(Has(lines, "MultiTotal: 3"));
  EXPECT_TRUE(Has(lines, "comments: parts"));

  std::string f1(sizeof(qd_Transaction_Format_1), '\0');
  f1[0] = 1;
  Put(f1, 425, "1000");
  Put(f1, 702, "one");
  lines = DescribeTxn(f1);
  EXPECT_TRUE(Has(lines, "FileSize_full: 1000"));
  EXPECT_TRUE(Has(lines, "comments: one"));

  std::string stop(sizeof(qd_Transaction_Format_255), '\0');
  stop[0] = static_cast<char>(255);
  Put(stop, 381, "halt");
  lines = DescribeTxn(stop);
  EXPECT_TRUE(Has(lines, "fmt: 255"));
  EXPECT_TRUE(Has(lines, "comments: halt"));
}

TEST(TxnPrint, DamagedFieldsAreShownAsTheyAreWithoutReadingPastThem) {
  std::string data(sizeof(qd_Transaction_Format_2), '\0');
  data[0] = 2;
  // FileName filled to its last byte with no NUL, followed by comments.
  std::string full(257, 'x');
  Put(data, 465, full.c_str());
  Put(data, 722, "next");
  // A stamp with '-' as date delimiter is not valid.
  Put(data, 431, "a2014-10-09 23:38:00.00");
  data[4] = '\x01';
  auto lines = DescribeTxn(data);
  EXPECT_TRUE(Has(lines, "FileName: " + full + " (unterminated)"));
  EXPECT_TRUE(Has(lines, "comments: next"));
  EXPECT_TRUE(Has(lines, "hw_architecture: \\x01"));
  bool invalid = false;
  for (const auto& l : lines) invalid = invalid || l.rfind("FileTime: (invalid) a2014-10-09", 0) == 0;
  EXPECT_TRUE(invalid);
}

TEST(TxnPrint, FileTransferRequestFieldsAndExactLength) {
  FTPrequest r;
  memset(&r, 0, sizeof r);
  r.Type = 'S';
  r.Urgency = 'N';
  r.ExtraRequests = kFtpExtraNotify;
  r.Format = 1;
  r.TimeStamp = 1234567890;
  strcpy(r.ProdSerNo, "1234567");
  strcpy(r.FileType, "spdiag");
  strcpy(r.FileSeq, "0001");
  strcpy(r.FileName, "/sp/prod/data/files/1234567/spdiag.0001");
  std::string data = Bytes(&r, sizeof r);
  auto lines = DescribeFtpRequest(data);
  EXPECT_TRUE(Has(lines, "Type: S"));
  EXPECT_TRUE(Has(lines, "ExtraRequests: 0x02"));
  EXPECT_TRUE(Has(lines, "Format: 1"));
  EXPECT_TRUE(Has(lines, "TimeStamp: 1234567890"));
  EXPECT_TRUE(Has(lines, "ProdSerNo: 1234567"));
  EXPECT_TRUE(Has(lines, "FileType: spdiag"));
  EXPECT_TRUE(Has(lines, "FileName: /sp/prod/data/files/1234567/spdiag.0001"));
  EXPECT_TRUE(Has(lines, "DestDir: "));
  EXPECT_TRUE(DescribeFtpRequest(data.substr(0, 1031)).empty());
  EXPECT_TRUE(DescribeFtpRequest(data + '\0').empty());
}

}  // namespace
