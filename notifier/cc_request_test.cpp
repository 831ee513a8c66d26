#include "cc_request.h"

#include <cstring>

#include <gtest/gtest.h>

// The record crosses a process boundary: every field at its offset, every
// number little-endian, whatever the host.
TEST(CcRecord, AddSignalLayout) {
  CcRecord rec;
  ASSERT_TRUE(CcBuildRequest(rec, ccrAddSignal, cceBYSstate, 10, 99, 0x01020304, "qdNotify"));
  EXPECT_EQ(rec.bytes[0] | rec.bytes[1] | rec.bytes[2], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(rec.bytes + kCcNameOffset), "qdNotify");
  EXPECT_EQ(rec.bytes[kCcRequestOffset], 70);
  EXPECT_EQ(CcGet32(rec, kCcArg1Offset), cceBYSstate);
  const unsigned char pid[] = {0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(rec.bytes + kCcPidOffset, pid, 4), 0);
  EXPECT_EQ(CcGet32(rec, kCcSignalOffset), 10);
  EXPECT_EQ(CcGet32(rec, kCcSigTypeOffset), kCcSignalTypeSignal);
  for (size_t i = kCcSigTypeOffset + 4; i < kCcRecordSize; ++i) ASSERT_EQ(rec.bytes[i], 0) << i;
}

TEST(CcRecord, DeleteSignalCarriesTheEntryOnly) {
  CcRecord rec;
  ASSERT_TRUE(CcBuildRequest(rec, ccrDeleteSignal, cceBYSstate, 10, 7, 1234, "qdNotify"));
  EXPECT_EQ(CcGet32(rec, kCcRequestOffset), 71);
  EXPECT_EQ(CcGet32(rec, kCcArg1Offset), 7);
  EXPECT_EQ(CcGet32(rec, kCcPidOffset), 0);
  EXPECT_EQ(CcGet32(rec, kCcSignalOffset), 0);
}

TEST(CcRecord, OnlySignalRequestsAreBuilt) {
  CcRecord rec;
  EXPECT_FALSE(CcBuildRequest(rec, ccrBYSstate, cceBYSstate, 10, 0, 1, "x"));
  EXPECT_FALSE(CcBuildRequest(rec, ccrGetSigEntry, cceBYSstate, 10, 0, 1, "x"));
}

TEST(CcRecord, LongRequesterNameIsCutInsideItsField) {
  CcRecord rec;
  std::string name(200, 'n');
  ASSERT_TRUE(CcBuildRequest(rec, ccrAddSignal, cceBYSstate, 10, 0, 1, name.c_str()));
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(rec.bytes + kCcNameOffset)),
            kCcNameSize - 1);
  EXPECT_EQ(CcGet32(rec, kCcRequestOffset), ccrAddSignal);
}

TEST(CcRecord, NegativeNumbersRoundTrip) {
  CcRecord rec{};
  CcPut32(rec, kCcDataOffset, -1);
  EXPECT_EQ(CcGet32(rec, kCcDataOffset), -1);
}

TEST(CcNames, TablesNameTheirCodes) {
  EXPECT_STREQ(CcRequestName(0), "Not Used");
  EXPECT_STREQ(CcRequestName(37), "LastQuery");
  EXPECT_STREQ(CcRequestName(38), "");
  EXPECT_STREQ(CcRequestName(50), "BYSset");
  EXPECT_STREQ(CcRequestName(65), "LastStatus");
  EXPECT_STREQ(CcRequestName(70), "AddSignal");
  EXPECT_STREQ(CcRequestName(72), "GetSigEntry");
  EXPECT_STREQ(CcRequestName(74), "?");
  EXPECT_STREQ(CcRequestName(-1), "?");
  EXPECT_STREQ(CcEventName(1), "BYSstate");
  EXPECT_STREQ(CcEventName(10), "cceXferMediaAvail");
  EXPECT_STREQ(CcResultName(12), "C-string");
  EXPECT_STREQ(CcResultName(14), "Structured");
  EXPECT_STREQ(CcXferStateName(3), "GDDA error");
  EXPECT_STREQ(CcMediaStateName(16), "InitInProgress");
  EXPECT_STREQ(CcSignalTypeName(2), "CCS Message");
  EXPECT_STREQ(CcBooleanName(1), "False");
}

// Without a reachable controller every outcome is a failure with a text;
// the entry of an AddSignal is -1 then.
TEST(CcRequest, InvalidRequestNamesItsCode) {
  CWorkMessages wm(false);
  long entry = 5;
  std::string message;
  EXPECT_EQ(spReqSignal2CC(3, cceBYSstate, 10, &entry, 1, "qdNotify", &wm, message), kCcFailed);
  EXPECT_NE(message, "<no message>");
}
