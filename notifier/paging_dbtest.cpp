// Paging: the pager-type lookup and every outcome of a page.
#include "paging.h"

#include "notifier_db_fixture.h"

namespace {

class PagingTest : public NotifierDbTest {
 protected:
  void SetUp() override {
    NotifierDbTest::SetUp();
    if (!connected_) return;
    Exec("insert into qd_pager_attr values ('mailpager', 'mail', 'Y'), ('snpp''s', 'snpp', 'N')");
    NotifyRecipient& r = st().recipient;
    NotifySet(r.pager_type, "mailpager");
    NotifySet(r.pager_access, "4155550100@pager.example.com");
  }
};

TEST_F(PagingTest, TheLookupReadsTheTypeOrKeepsTheDefaults) {
  NotifyRecipient r;
  EXPECT_TRUE(PagerAttrLookup("mailpager", r));
  EXPECT_STREQ(r.transport, "mail");
  EXPECT_EQ(r.closed_loop, 'Y');
  EXPECT_TRUE(PagerAttrLookup("snpp's", r));
  EXPECT_STREQ(r.transport, "snpp");
  EXPECT_FALSE(PagerAttrLookup("beeper", r));
  EXPECT_STREQ(r.transport, "<no pager_transport>");
  EXPECT_EQ(r.closed_loop, 'N');
  // A failing lookup keeps the defaults and leaves the connection usable.
  Exec("alter table qd_pager_attr rename to qd_pager_attr_gone");
  EXPECT_TRUE(PagerAttrLookup("mailpager", r) == false);
  Exec("alter table qd_pager_attr_gone rename to qd_pager_attr");
  EXPECT_TRUE(PagerAttrLookup("mailpager", r));
}

TEST_F(PagingTest, APageIsAShortMailToThePagerService) {
  ASSERT_TRUE(PagerAttrLookup("mailpager", st().recipient));
  EXPECT_EQ(IssuePage(st(), nd_, false), kDeliverySent) << root_->log();
  EXPECT_FALSE(Logged("closed loop page request"));
  EXPECT_EQ(IssuePage(st(), nd_, true), kDeliverySent);
  EXPECT_TRUE(Logged("QDN0033 0 P1042 to jdoe (high, prime shift): closed loop page request "
                     "changed to open loop"))
      << root_->log();
  auto mails = root_->mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0], mails[1]);
  EXPECT_EQ(mails[0].rfind("From: RealtimeAlertProcess-sp0042@example.com\n"
                           "To: 4155550100@pager.example.com\nSubject: Zarvek-1234567-V\n\n"
                           "H P1042 Mar07 05:01 north\nPhysical disk 7 failed\n",
                           0),
            0u)
      << mails[0];
}

TEST_F(PagingTest, MissingPagerDataOrAnUnknownTransportMakesPagingImpossible) {
  NotifyRecipient& r = st().recipient;
  NotifySet(r.transport, "mail");
  NotifySet(r.pager_type, "<no pager_type>");
  EXPECT_EQ(IssuePage(st(), nd_, false), kDeliveryImpossible);
  EXPECT_TRUE(Logged("QDN0033 2 P1042 to jdoe (high, prime shift): page failed - <no pager_type>"));

  NotifySet(r.pager_type, "mailpager");
  NotifySet(r.pager_access, "<no pager_access>");
  EXPECT_EQ(IssuePage(st(), nd_, false), kDeliveryImpossible);
  EXPECT_TRUE(Logged("page failed - <no pager_access>"));

  NotifySet(r.pager_access, "4155550100@pager.example.com");
  NotifySet(r.pager_type, "beeper");
  PagerAttrLookup(r.pager_type, r);
  EXPECT_EQ(IssuePage(st(), nd_, true), kDeliveryImpossible);
  EXPECT_TRUE(Logged("page failed - 'beeper' is an unknown pager type"));

  NotifySet(r.pager_type, "snpp's");
  ASSERT_TRUE(PagerAttrLookup(r.pager_type, r));
  EXPECT_EQ(IssuePage(st(), nd_, false), kDeliveryImpossible);
  EXPECT_TRUE(Logged("page failed - 'snpp' is an unknown transport method"));
  EXPECT_TRUE(root_->mails().empty());
  EXPECT_EQ(root_->read("/var/log/qd/sim/sendmail.calls"), "");
}

}  // namespace
