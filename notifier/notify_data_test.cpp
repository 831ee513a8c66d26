// The notification record's helpers: bounded copies and derived fields.
#include "notify_data.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(NotifyData, CopiesAreCutToTheFieldWidth) {
  NotifyData nd;
  std::memset(&nd, 'x', sizeof nd);
  NotifyClear(nd);
  EXPECT_TRUE(NotifySet(nd.MODELID, "-V"));
  EXPECT_FALSE(NotifySet(nd.MODELID, "-V400"));
  EXPECT_STREQ(nd.MODELID, "-V40");
  EXPECT_EQ(nd.SITE[0], '\0');  // the next field is untouched
  EXPECT_TRUE(NotifySet(nd.ABSTRACT, std::string(80, 'a')));
  EXPECT_FALSE(NotifySet(nd.ABSTRACT, std::string(81, 'a')));
  EXPECT_EQ(std::strlen(nd.ABSTRACT), 80u);
  EXPECT_TRUE(NotifySet(nd.USERID, nullptr));
  EXPECT_STREQ(nd.USERID, "");
}

TEST(NotifyData, ShortEventTimeAndCustomerText) {
  NotifyData nd;
  NotifyClear(nd);
  std::memcpy(&nd.EventTimeFirst, "a2026/03/07 14:05:09.00", 24);
  NotifySetEventTimeShort(nd);
  EXPECT_STREQ(nd.EVENTTIMESHORT, "Mar07 14:05");
  std::memcpy(&nd.EventTimeFirst, "a2026/13/07 14:05:09.00", 24);
  NotifySetEventTimeShort(nd);
  EXPECT_STREQ(nd.EVENTTIMESHORT, "???07 14:05");

  NotifySet(nd.TEXT, "plain text");
  NotifySetCustText(nd);
  EXPECT_STREQ(nd.CUSTTEXT, "plain text");
  NotifySet(nd.TEXT, "for you\nXML FORMAT: <a/> XML FORMAT: <b/>");
  NotifySetCustText(nd);
  EXPECT_STREQ(nd.CUSTTEXT, "for you\n");
  // A full-width text stays whole.
  NotifySet(nd.TEXT, std::string(4000, 't'));
  NotifySetCustText(nd);
  EXPECT_EQ(std::strlen(nd.CUSTTEXT), 4000u);
  EXPECT_EQ(NotifyStampText(nd.EventTimeFirst), "2026/13/07 14:05:09.00");
}

}  // namespace
