// The field rules and record checks, without a database: what each rule
// keeps, which stamps pass, and that one check reports every bad field.
#include "txn_check.h"

#include <cstring>
#include <gtest/gtest.h>

#include "txn_fields.h"
#include "txn_test_records.h"

using txntest::Put;
using txntest::Stamp;
using Lines = std::vector<std::string>;

TEST(TxnFields, TextRulesTrimTheirEndsAndNeverReadPastTheField) {
  txntest::LogUnderTest under;
  TxnCheck check(&under.log);
  char field[12], dest[12], code[2];
  Put(field, " \n a b \n ");
  EXPECT_TRUE(Manditory(check, "x", field, dest));
  EXPECT_STREQ(dest, "a b");
  EXPECT_TRUE(ManditoryR(check, "x", field, dest));
  EXPECT_STREQ(dest, " \n a b");
  OptionalR(field, dest);
  EXPECT_STREQ(dest, " \n a b");

  // A sender that filled the field to the brim: only N-1 bytes count.
  std::memset(field, 'z', sizeof field);
  Optional(field, dest);
  EXPECT_EQ(std::string(dest), std::string(11, 'z'));

  // Bytes the database would refuse become '?', and only those.
  Put(field, "\xC3\xA9t\xE9 \xED\xA0\x80");
  Optional(field, dest);
  EXPECT_STREQ(dest, "\xC3\xA9t? ???");
  EXPECT_FALSE(check.failed);

  Put(field, " \n \n");
  EXPECT_FALSE(Manditory(check, "f1.FileSeq", field, dest));
  EXPECT_FALSE(ManditoryR(check, "f3.text", field, dest));
  EXPECT_FALSE(Manditory(check, "urgency", '\0', code));
  EXPECT_TRUE(Manditory(check, "char_set", 'A', code));
  EXPECT_STREQ(code, "A");
  EXPECT_TRUE(check.failed);
  EXPECT_EQ(under.lines(), (Lines{"QDZ0044 A f1.FileSeq", "QDZ0044 A f3.text", "QDZ0044 A urgency"}));
}

TEST(TxnFields, StampsAreValidOnlyWhenTheDatabaseCanStoreThem) {
  EXPECT_TRUE(TimeValid(Stamp()));
  EXPECT_TRUE(TimeValid(Stamp("2016/02/29 23:59:59.99")));
  EXPECT_TRUE(TimeValid(Stamp("2005/04/15 10:20:30.UT")));  // universal time, from seconds
  for (const char* bad : {"2014-10-09 23:38:00.00", "2014/10/09T23:38:00.00", "2014/10/09 23:38:00,00",
                          "2014/1O/09 23:38:00.00", "2014/13/09 23:38:00.00", "2015/02/29 12:00:00.00",
                          "2014/04/31 12:00:00.00", "0000/10/09 23:38:00.00", "2014/10/09 24:00:00.00",
                          "2014/10/09 23:60:00.00", "2014/10/09 23:59:60.00", "2014/10/09 23:38:00.x0",
                          "2014/10/09 23:38:00.TU", "2014/10/09 23:38:00.U0"}) {
    EXPECT_FALSE(TimeValid(Stamp(bad))) << bad;
  }
  Time_Stamp s = Stamp();
  s.fmt = 'b';
  EXPECT_FALSE(TimeValid(s));
  s = Stamp();
  s.dlm7 = ' ';
  EXPECT_FALSE(TimeValid(s));

  txntest::LogUnderTest under;
  TxnCheck check(&under.log);
  char text[kTxnStampTextSize];
  EXPECT_TRUE(TimeValid(check, "FileTime", Stamp("2014/10/09 23:38:00.57"), text));
  EXPECT_STREQ(text, "2014/10/09 23:38:00");
  EXPECT_FALSE(TimeValid(check, "TxnTime", Stamp("2014-10-09 23:38:00.00"), text));
  EXPECT_EQ(under.lines(), Lines{"QDZ0045 A TxnTime"});
}

TEST(TxnCheck, OneCheckReportsEveryBadFieldInFieldOrder) {
  QDTxn t = txntest::Record(255);
  TxnHeaderText out;
  {
    txntest::LogUnderTest under;
    ASSERT_EQ(TxnCheckHeader(t.hdr, out, &under.log), 0);
    EXPECT_STREQ(out.fmt, "255");
    EXPECT_STREQ(out.txnattr, "800002AB");
    EXPECT_TRUE(under.lines().empty());
  }
  {
    txntest::LogUnderTest under;
    QDTxn bad;
    std::memset(&bad, 0, sizeof bad);
    Put(bad.hdr.prod.prod, "Velmar");
    EXPECT_EQ(TxnCheckHeader(bad.hdr, out, &under.log), -1);
    EXPECT_EQ(under.lines(),
              (Lines{"QDZ0044 A TxnId", "QDZ0045 A TxnTime", "QDZ0044 A encription",
                     "QDZ0044 A compression", "QDZ0044 A char_set", "QDZ0044 A hw_architecture",
                     "QDZ0044 A AssocId", "QDZ0044 A sp.vendor", "QDZ0044 A sp.prod",
                     "QDZ0044 A sp.id", "QDZ0048 A prod.vendor,prod.prod,prod.id"}));
  }
  // The notification formats add their own fields to format 3's.
  const Lines base = {"QDZ0044 A urgency", "QDZ0044 A f3.event", "QDZ0044 A f3.source",
                      "QDZ0045 A EventTimeFirst", "QDZ0045 A EventTimeLast", "QDZ0044 A EventLocation",
                      "QDZ0044 A f3.abstract", "QDZ0044 A f3.counter", "QDZ0044 A f3.text"};
  const struct {
    uint8_t fmt;
    Lines extra;
  } cases[] = {{5, {"QDZ0044 A f5.model"}},
               {6, {"QDZ0044 A f5.model", "QDZ0044 A f6.NotifyUnique"}},
               {7, {"QDZ0044 A f7.model", "QDZ0044 A f7.NotifyUnique"}}};
  for (const auto& c : cases) {
    txntest::LogUnderTest under;
    QDTxn empty;
    std::memset(&empty, 0, sizeof empty);
    empty.fmt = c.fmt;
    TxnNotifyText note;
    EXPECT_EQ(TxnCheckFormat3(empty.f3, note, &under.log), -1);
    EXPECT_EQ(TxnCheckNotifyExtra(empty, note, &under.log), -1);
    Lines want = base;
    want.insert(want.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(under.lines(), want) << int(c.fmt);
  }
}
