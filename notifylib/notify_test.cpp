// Notify against a real work-message service in a throwaway database: the
// record file and the transfer request as the file transfer process gets
// them, the completion of the record, and what a failure leaves behind.
#include "notify.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ftp_request.h"
#include "temp_root.h"
#include "test_db.h"
#include "work_messages.h"

namespace {

class NotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QD_REQUIRE_DB();
    ASSERT_FALSE(db_.name().empty()) << db_.error();
    UseDatabase("dbname=" + db_.name());
  }

  void UseDatabase(const std::string& conninfo) {
    root_.write("/etc/qd/gdda.conf",
                "[Global]\nSYSTEM_LEVEL = Prod\nWM_CONNINFO = " + conninfo + "\n");
  }

  // A record as the collector fills it: texts set, times and location left
  // for the library.
  static fsNOTIFY Record() {
    fsNOTIFY fsn;
    memset(&fsn, 0, sizeof fsn);
    fsn.urgency = 'H';
    strcpy(fsn.event, "evtmon failure");
    strcpy(fsn.source, "evtmon 1234567");
    strcpy(fsn.abstract, "evtmon lost its event stream");
    strcpy(fsn.counter, "1");
    strcpy(fsn.text, "The event stream of 1234567 closed three times in an hour.");
    fsn.nclass = 2;
    return fsn;
  }

  // Takes the one TOQ request waiting for SPFT.
  FTPrequest TakeRequest() {
    CWorkMessages wm(true);
    int spft = wm.GetUID("SPFT");
    EXPECT_GT(spft, 0) << wm.szErrorMsg;
    EXPECT_EQ(wm.SetInput(spft, "TOQ"), 0) << wm.szErrorMsg;
    std::vector<char> buf(8192);
    Message_Queue_ env;
    memset(&env, 0, sizeof env);
    env.pDepData = buf.data();
    env.nDepDataLength = static_cast<int32_t>(buf.size());
    FTPrequest req;
    memset(&req, 0, sizeof req);
    EXPECT_EQ(wm.Receive(spft, 0, &env, false), 0) << wm.szErrorMsg;
    EXPECT_EQ(env.nDepDataLength, 1032);
    memcpy(&req, buf.data(), sizeof req);
    EXPECT_EQ(wm.Delete(spft, env.nMessageID), 0);
    return req;
  }

  std::vector<std::string> TmpFiles() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(root_.under("/tmp").c_str())) {
      while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.push_back(e->d_name);
      }
      closedir(d);
    }
    return names;
  }

  TempRoot root_;
  TestDatabase db_;
};

TEST_F(NotifyTest, WritesTheWholeRecordAndAsksTheTransferProcessToCarryIt) {
  fsNOTIFY fsn = Record();
  ASSERT_EQ(Notify(fsn, "QDNOT"), nullptr) << szNotifyErrMsg;
  EXPECT_STREQ(szNotifyErrMsg, "");

  // Empty times are now, the last a copy of the first; no location is 'R'.
  EXPECT_EQ(fsn.EventTimeFirst.fmt, 'a');
  EXPECT_EQ(memcmp(&fsn.EventTimeFirst, &fsn.EventTimeLast, sizeof(Time_Stamp)), 0);
  EXPECT_EQ(fsn.EventLocation, 'R');

  FTPrequest req = TakeRequest();
  EXPECT_EQ(req.Format, 1);
  EXPECT_EQ(req.Type, 'S');
  EXPECT_EQ(req.ExtraRequests, kFtpExtraNotify);
  EXPECT_EQ(req.Urgency, 'N');
  EXPECT_EQ(req.TimeStamp, 1);
  EXPECT_STREQ(req.FileType, "NOTIFY");
  EXPECT_STREQ(req.FileSeq, "");
  EXPECT_STREQ(req.ProdSerNo, "");
  // The request names the file as the system does; it lies below the root.
  std::string name = req.FileName;
  ASSERT_EQ(name.compare(0, 10, "/tmp/fsnot"), 0) << name;
  struct stat sb;
  ASSERT_EQ(stat(root_.under(name).c_str(), &sb), 0);
  EXPECT_EQ(sb.st_size, 4657);
  EXPECT_EQ(sb.st_mode & 0777, 0644u);
  std::string bytes = root_.read(name);
  ASSERT_EQ(bytes.size(), sizeof fsn);
  EXPECT_EQ(memcmp(bytes.data(), &fsn, sizeof fsn), 0);
}

TEST_F(NotifyTest, KeepsTheTimesAndLocationItIsGiven) {
  fsNOTIFY fsn = Record();
  ASSERT_EQ(TStampOut(1700000000, fsn.EventTimeFirst, false), 0);
  fsn.EventLocation = 'L';
  ASSERT_EQ(Notify(fsn, "QDNOT"), nullptr) << szNotifyErrMsg;
  Time_Stamp want;
  ASSERT_EQ(TStampOut(1700000000, want, false), 0);
  EXPECT_EQ(memcmp(&fsn.EventTimeFirst, &want, sizeof want), 0);
  EXPECT_EQ(memcmp(&fsn.EventTimeLast, &want, sizeof want), 0);
  EXPECT_EQ(fsn.EventLocation, 'L');

  fsNOTIFY other = Record();
  other.EventLocation = 'X';
  ASSERT_EQ(Notify(other, "QDNOT"), nullptr) << szNotifyErrMsg;
  EXPECT_EQ(other.EventLocation, 'R');
}

TEST_F(NotifyTest, AFailedSendReportsWhyAndLeavesNoFile) {
  // An unknown sender: the service refuses to store the request.
  fsNOTIFY fsn = Record();
  char* err = Notify(fsn, "NOSUCH");
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(err, szNotifyErrMsg);
  EXPECT_NE(std::string(err).find('\n'), std::string::npos) << err;
  EXPECT_TRUE(TmpFiles().empty());

  // No service at all: the object cannot be made.
  UseDatabase("dbname=qd_no_such_database_here");
  err = Notify(fsn, "QDNOT");
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(std::string(err).rfind("Error creating CWorkMessages, rc=", 0), 0u) << err;
  EXPECT_TRUE(TmpFiles().empty());

  // A success afterwards starts with an empty text again.
  UseDatabase("dbname=" + db_.name());
  EXPECT_EQ(Notify(fsn, "QDNOT"), nullptr) << szNotifyErrMsg;
  EXPECT_STREQ(szNotifyErrMsg, "");
}

TEST_F(NotifyTest, NoPlaceForTheFileFailsBeforeAnySend) {
  ASSERT_EQ(rmdir(root_.under("/tmp").c_str()), 0);
  fsNOTIFY fsn = Record();
  char* err = Notify(fsn, "QDNOT");
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(std::string(err), "mkstemp failed for '" + root_.under("/tmp/fsnotXXXXXX") +
                                  "':No such file or directory\n");
  CWorkMessages wm(true);
  std::vector<WmMessageInfo> all;
  ASSERT_EQ(wm.ListMessages(0, all), 0) << wm.szErrorMsg;
  EXPECT_TRUE(all.empty());
}

}  // namespace
