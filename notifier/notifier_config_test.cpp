#include "notifier_config.h"

#include <gtest/gtest.h>

#include "process_message.h"

// Current systems write /etc/localtime as a relative link; both forms name
// the same zone, and anything outside the zone database names none.
TEST(LocaltimeLink, AbsoluteAndRelativeTargets) {
  EXPECT_EQ(ZoneFromLocaltimeLink("/usr/share/zoneinfo/Europe/Paris"), "Europe/Paris");
  EXPECT_EQ(ZoneFromLocaltimeLink("../usr/share/zoneinfo/Europe/Paris"), "Europe/Paris");
  EXPECT_EQ(ZoneFromLocaltimeLink("/usr/share/zoneinfo/./America/New_York"),
            "America/New_York");
  EXPECT_EQ(ZoneFromLocaltimeLink("/usr/share/zoneinfo/"), "");
  EXPECT_EQ(ZoneFromLocaltimeLink("/usr/share/zoneinfo"), "");
  EXPECT_EQ(ZoneFromLocaltimeLink("/usr/share/zoneinfo/../../../etc/passwd"), "");
  EXPECT_EQ(ZoneFromLocaltimeLink("/etc/zones/Europe/Paris"), "");
  EXPECT_EQ(ZoneFromLocaltimeLink(""), "");
}

TEST(CommBys, OnlyOutAndBothAllowTransfer) {
  EXPECT_TRUE(CommBysAllowsTransfer("OUT"));
  EXPECT_TRUE(CommBysAllowsTransfer("both"));
  EXPECT_TRUE(CommBysAllowsTransfer("Both"));
  EXPECT_FALSE(CommBysAllowsTransfer("OFF"));
  EXPECT_FALSE(CommBysAllowsTransfer(""));
  EXPECT_FALSE(CommBysAllowsTransfer("OUTX"));
}

// The stop record is complete at its own size; every other format needs
// the whole of its record (an unknown one that of the smallest notify).
TEST(NotifyRecordSize, ByDeclaredFormat) {
  EXPECT_EQ(NotifyRecordSize(255), 1405);
  EXPECT_EQ(NotifyRecordSize(3), 5038);
  EXPECT_EQ(NotifyRecordSize(5), 5118);
  EXPECT_EQ(NotifyRecordSize(6), 5375);
  EXPECT_EQ(NotifyRecordSize(7), 5405);
  EXPECT_EQ(NotifyRecordSize(2), 5038);
  EXPECT_EQ(NotifyRecordSize(0), 5038);
}

TEST(CaseFlags, OnlyWithAnEntityId) {
  EXPECT_EQ(NotifyCaseFlagsOf("", "19"), 0);
  EXPECT_EQ(NotifyCaseFlagsOf("12345", "19"), 19);
  EXPECT_EQ(NotifyCaseFlagsOf("12345", ""), 0);
}

TEST(RepeatComment, NamesLimitWindowKeyAndListing) {
  std::string text = RepeatComment(3, 60, "disk 7 failed", false);
  EXPECT_EQ(text,
            "\nThis machine has generated more than 3 events of this type in the last 60 "
            "minutes.\nFurther notifications of type 'disk 7 failed' are being suppressed\nin "
            "order to limit notifications to 3 in a running window of 60 minutes.\n See Obrin "
            "for a complete listing of all events.");
  EXPECT_NE(RepeatComment(3, 60, "k", true).find("See SPQUAY for"), std::string::npos);
}
