#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "daemon_db.h"
#include "qd_path.h"
#include "temp_root.h"

namespace {

// Keeps TZ and PGTZ as they were around one test.
class SessionZone : public ::testing::Test {
 protected:
  void SetUp() override {
    Save("TZ", tz_);
    Save("PGTZ", pgtz_);
    unsetenv("PGTZ");
  }
  void TearDown() override {
    Restore("TZ", tz_);
    Restore("PGTZ", pgtz_);
  }
  std::string Pgtz() const {
    const char* v = std::getenv("PGTZ");
    return v ? v : "(unset)";
  }

 private:
  struct Saved {
    bool set = false;
    std::string value;
  };
  static void Save(const char* name, Saved& saved) {
    const char* v = std::getenv(name);
    saved.set = v != nullptr;
    if (v) saved.value = v;
  }
  static void Restore(const char* name, const Saved& saved) {
    if (saved.set) {
      setenv(name, saved.value.c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  Saved tz_, pgtz_;
  TempRoot root_;  // borrows the machine's zone database
};

TEST_F(SessionZone, ZoneOfTheProcessGoesToTheSession) {
  setenv("TZ", "Europe/Paris", 1);
  EXPECT_EQ(DaemonSessionZone(), "Europe/Paris");
  EXPECT_EQ(Pgtz(), "Europe/Paris");

  unsetenv("PGTZ");
  setenv("TZ", ":/usr/share/zoneinfo/Asia/Tokyo", 1);
  EXPECT_EQ(DaemonSessionZone(), "Asia/Tokyo");

  // A zone chosen by whoever started the daemon stays.
  setenv("PGTZ", "UTC", 1);
  EXPECT_EQ(DaemonSessionZone(), "UTC");
  EXPECT_EQ(Pgtz(), "UTC");
}

TEST_F(SessionZone, LocalTimeLinkWhenNoTzAndNothingUnknownPassedOn) {
  unsetenv("TZ");
  ASSERT_EQ(symlink("/usr/share/zoneinfo/America/New_York",
                    QdPath("/etc/localtime").c_str()), 0);
  EXPECT_EQ(DaemonSessionZone(), "America/New_York");

  // Rule texts and names outside the zone database would make every
  // connection fail: the server's default is kept instead.
  for (const char* tz : {"EST5EDT,M3.2.0,M11.1.0", "No/Such_Zone", "../../etc/passwd"}) {
    unsetenv("PGTZ");
    setenv("TZ", tz, 1);
    EXPECT_EQ(DaemonSessionZone(), "") << tz;
    EXPECT_EQ(Pgtz(), "(unset)") << tz;
  }
}

}  // namespace
