// The brakes on the collector's own notifications: the per-kind throttle
// and its history file, and the eight-hour limit per array.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <ctime>

#include "failure_notify.h"
#include "temp_root.h"

namespace {

struct Throttle : ::testing::Test {
  TempRoot root;
  EvtmonState st;

  void Configure(const std::string& prod) {
    root.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\n[Prod]\n" + prod);
    st.sysid = "T1";
    st.key_last_notify = "SP_Last.Notify.Time_T1";
    st.gdda = std::make_unique<CGDDA>();
  }
  std::string History(const std::string& kind) const {
    return root.read(FailureFile("T1", kind));
  }
  int NotifyFiles() const {
    int n = 0;
    if (DIR* d = opendir(root.under("/tmp").c_str())) {
      while (dirent* ent = readdir(d)) n += std::string(ent->d_name).rfind("fsnot", 0) == 0;
      closedir(d);
    }
    return n;
  }
};

TEST_F(Throttle, LimitTwoInAnHourNotifiesTheThirdAndStartsAfresh) {
  Configure("SPEVT_TEMP_FAILURE_LIMIT = 2\nSPEVT_TEMP_FAILURE_TIME = 3600\n");
  const time_t now = 1700000000;
  EXPECT_FALSE(should_i_notify(st, "sockconn", now));
  EXPECT_FALSE(should_i_notify(st, "sockconn", now + 10));
  EXPECT_EQ(History("sockconn"), std::to_string(now) + "\n" + std::to_string(now + 10) + "\n");
  struct stat info;
  ASSERT_EQ(stat(root.under(FailureFile("T1", "sockconn")).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Another kind and another array keep histories of their own.
  EXPECT_FALSE(should_i_notify(st, "pastevts", now + 20));
  EXPECT_TRUE(should_i_notify(st, "sockconn", now + 20));
  EXPECT_EQ(History("sockconn"), "");
  EXPECT_FALSE(should_i_notify(st, "sockconn", now + 30));
  EXPECT_EQ(History("pastevts"), std::to_string(now + 20) + "\n");
}

TEST_F(Throttle, FailuresOlderThanThePeriodAreForgotten) {
  Configure("SPEVT_TEMP_FAILURE_LIMIT = 2\nSPEVT_TEMP_FAILURE_TIME = 3600\n");
  const time_t now = 1700000000;
  root.write(FailureFile("T1", "evttimeo"), std::to_string(now - 7200) + "\n" + std::to_string(now - 3600) +
                                                 "\n" + std::to_string(now - 100) + "\n");
  EXPECT_FALSE(should_i_notify(st, "evttimeo", now));
  EXPECT_EQ(History("evttimeo"), std::to_string(now - 100) + "\n" + std::to_string(now) + "\n");
}

TEST_F(Throttle, UnsetLimitOrUnwritableHistoryLetsEveryFailureThrough) {
  Configure("SPEVT_TEMP_FAILURE_TIME = 3600\n");
  EXPECT_TRUE(should_i_notify(st, "sockconn"));
  EXPECT_TRUE(should_i_notify(st, "sockconn"));
  Configure("SPEVT_TEMP_FAILURE_LIMIT = 2\nSPEVT_TEMP_FAILURE_TIME = 3600\n");
  mkdir(root.under(FailureFile("T1", "emfilter")).c_str(), 0700);  // a directory cannot be replaced
  EXPECT_TRUE(should_i_notify(st, "emfilter"));
}

TEST_F(Throttle, OneNotificationPerArrayInEightHours) {
  const time_t now = time(nullptr);
  Configure("SP_Last.Notify.Time_T1 = " + std::to_string(now - 600) + "\n");
  EXPECT_EQ(sendNotify(st, "abstract", "text", now), 0);
  EXPECT_EQ(NotifyFiles(), 0);
  // Due again after eight hours: the send is attempted (and fails here,
  // with no work-message service), leaving no file behind.
  const char* host = getenv("PGHOST");
  const std::string saved = host ? host : "";
  setenv("PGHOST", "/nonexistent", 1);
  EXPECT_EQ(sendNotify(st, "abstract", "text", now + kNotifyDistance + 1), 1);
  EXPECT_EQ(NotifyFiles(), 0);
  if (host) setenv("PGHOST", saved.c_str(), 1);
  else unsetenv("PGHOST");
}

}  // namespace
