#include "txn_build.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

QDTxn Build(int fmt, const std::vector<std::string>& settings) {
  QDTxn txn;
  std::string error;
  EXPECT_EQ(TxnBuild(fmt, settings, txn, error), 0) << error;
  return txn;
}

std::string Refused(int fmt, const std::vector<std::string>& settings) {
  QDTxn txn;
  std::string error;
  EXPECT_EQ(TxnBuild(fmt, settings, txn, error), -1);
  return error;
}

TEST(TxnBuild, RequestFieldsLandAtTheirPlacesWithDefaults) {
  QDTxn txn = Build(2, {"sp.vendor=Zarvek", "prod.id=SN1", "FileType=event",
                        "FileTime=2024/05/01 12:34:56", "TxnAttr1=128"});
  const char* raw = reinterpret_cast<const char*>(&txn);
  EXPECT_EQ(txn.fmt, 2);
  EXPECT_STREQ(raw + 5, "FAR");
  EXPECT_STREQ(raw + 221, "Zarvek");
  EXPECT_STREQ(raw + 61 + 80, "SN1");
  EXPECT_STREQ(raw + 421, "event");
  EXPECT_EQ(std::string(raw + 431, 23), "a2024/05/01 12:34:56.00");
  EXPECT_EQ(static_cast<uint8_t>(raw[9]), 128);
  EXPECT_EQ(txn.hdr.char_set, 'A');
  EXPECT_EQ(std::strlen(txn.hdr.AssocId), 23u);
  EXPECT_EQ(txn.hdr.TxnTime.fmt, 'a');
}

TEST(TxnBuild, NotificationFieldsOnlyWithinTheFormat) {
  QDTxn txn = Build(6, {"urgency=H", "notclass=3", "NotifyUnique=key"});
  EXPECT_EQ(txn.f6.urgency, 'H');
  EXPECT_EQ(txn.f6.notclass, 3);
  EXPECT_STREQ(txn.f6.NotifyUnique, "key");
  EXPECT_NE(Refused(3, {"model=M"}).find("model"), std::string::npos);
  EXPECT_NE(Refused(1, {"FDB_Objid=1"}).find("FDB_Objid"), std::string::npos);
  EXPECT_EQ(Build(255, {"comments=bye"}).stop.comments, std::string("bye"));
}

TEST(TxnBuild, ValuesThatDoNotFitAreRefused) {
  EXPECT_NE(Refused(2, {"FileType=" + std::string(9, 'x') + "y"}).find("FileType"),
            std::string::npos);
  Build(2, {"FileType=" + std::string(9, 'x')});
  Refused(2, {"encription=AB"});
  Refused(2, {"TxnAttr2=256"});
  Refused(2, {"TxnAttr2=1x"});
  Refused(2, {"FileTime=2024/02/30 00:00:00"});
  Refused(2, {"FileTime=yesterday"});
  Refused(2, {"nosuchfield=1"});
  Refused(2, {"FileType"});
  Refused(8, {});
}

}  // namespace
