// The notification request: the PNR record field by field, the 4000-byte
// text rule, and do_notify's way through the fallback when the service
// cannot be reached.
#include "notify_request.h"

#include <dirent.h>

#include <cstring>

#include "engine_test_fixture.h"
#include "time_stamp.h"

namespace {

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

template <size_t N>
std::string Text(const char (&field)[N]) {
  return Text(field, N);
}

// Every byte of the field after its text is zero.
template <size_t N>
bool ZeroAfterText(const char (&field)[N]) {
  for (size_t i = strnlen(field, N); i < N; ++i) {
    if (field[i] != '\0') return false;
  }
  return true;
}

Time_Stamp Stamp(const char* text) {
  Time_Stamp s;
  std::memcpy(&s, text, sizeof s);
  return s;
}

class NotifyRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&request_, 0, sizeof request_);
    request_.TxnAttr1 = 0x80;
    request_.TxnAttr2 = 0x11;
    request_.TxnAttr3 = 0xA4;
    request_.TxnAttr4 = 0xFF;
    std::snprintf(request_.AssocId, sizeof request_.AssocId, "Sec0000ABCDuSec00001234");
    std::snprintf(request_.prod.vendor, sizeof request_.prod.vendor, "Zarvek");
    std::snprintf(request_.prod.prod, sizeof request_.prod.prod, "Velmar");
    std::snprintf(request_.prod.id, sizeof request_.prod.id, "1234567");
    std::snprintf(request_.sp.vendor, sizeof request_.sp.vendor, "Zarvek");
    std::snprintf(request_.sp.prod, sizeof request_.sp.prod, "SPx");
    std::snprintf(request_.sp.id, sizeof request_.sp.id, "SP0042");
    std::memset(&file_, 0, sizeof file_);
    std::snprintf(file_.Cvendor, sizeof file_.Cvendor, "Zarvek");
    std::snprintf(file_.Cproduct, sizeof file_.Cproduct, "Velmar");
    std::snprintf(file_.Cprod_id, sizeof file_.Cprod_id, "1234567");
    std::snprintf(file_.Cprod_filename, sizeof file_.Cprod_filename, "EVENT");
    std::snprintf(file_.Cfile_seq, sizeof file_.Cfile_seq, "17");
    std::snprintf(file_.Cfile_date, sizeof file_.Cfile_date, "2024/05/01 12:34:56");
    src_.request = &request_;
    src_.file = &file_;
    src_.severity = "Major";
    src_.notclass = 3;
    src_.hw_arch = 'X';
    src_.now = 1714566896;  // 2024-05-01 12:34:56 UTC

    r_.AUrgency = 'L';
    r_.AEvent = "Zarvek Velmar disk_fail \t\n";
    r_.ASymptom = "PD|cage2 disk_failed Disk has failed\n";
    r_.AEventTimeFirst = Stamp("a2024/05/01 10:00:00.00");
    r_.AEventTimeLast = Stamp("a2024/05/01 10:05:00.00");
    r_.AEventLocation = 'R';
    r_.ACount = 12;
    r_.AText = "  indented text\n\n";
    r_.AModel = "V400";
    r_.Anot_unique = "disk_fail;disk_failed";
  }

  qd_Transaction_Format_6 Build() {
    qd_Transaction_Format_6 rec;
    std::memset(&rec, 0x5A, sizeof rec);  // whatever was there before
    BuildNotifyRecord(r_, src_, rec);
    return rec;
  }

  qd_Transaction_Header request_;
  CurrentFile file_;
  NotifySource src_;
  AnalysisResult r_;
};

TEST_F(NotifyRecord, EveryFieldOfTheRequest) {
  qd_Transaction_Format_6 rec = Build();
  const qd_Transaction_Header& h = rec.hdr;
  EXPECT_EQ(h.fmt, 6);
  EXPECT_EQ(h.encription, '0');
  EXPECT_EQ(h.compression, '0');
  EXPECT_EQ(h.char_set, 'A');
  EXPECT_EQ(h.hw_architecture, 'X');
  EXPECT_EQ(Text(h.TxnId), "PNR");
  EXPECT_EQ(h.TxnAttr1, 0x80);
  EXPECT_EQ(h.TxnAttr2, 0x11);
  EXPECT_EQ(h.TxnAttr3, 0xA4);  // not an alert: as the request had it
  EXPECT_EQ(h.TxnAttr4, 0xFF);
  Time_Stamp now;
  ASSERT_EQ(TStampOut(src_.now, now, true), 0);
  EXPECT_EQ(std::memcmp(&h.TxnTime, &now, sizeof now), 0);
  EXPECT_EQ(std::memcmp(h.AssocId, request_.AssocId, sizeof h.AssocId), 0);
  EXPECT_EQ(std::memcmp(&h.prod, &request_.prod, sizeof h.prod), 0);
  EXPECT_EQ(std::memcmp(&h.sp, &request_.sp, sizeof h.sp), 0);

  EXPECT_EQ(rec.urgency, 'L');
  EXPECT_EQ(rec.notclass, 3);
  EXPECT_EQ(Text(rec.event), "Zarvek Velmar disk_fail");
  EXPECT_EQ(Text(rec.source),
            "Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 12:34:56");
  EXPECT_EQ(Text(rec.EventTimeFirst.Year, 19), "2024/05/01 10:00:00");
  EXPECT_EQ(Text(rec.EventTimeLast.Year, 19), "2024/05/01 10:05:00");
  EXPECT_EQ(rec.EventTimeFirst.fmt, 'a');
  EXPECT_EQ(rec.EventLocation, 'R');
  EXPECT_EQ(Text(rec.abstract), "(Major)PD|cage2 disk_failed Disk has failed");
  EXPECT_EQ(Text(rec.counter), "12");
  EXPECT_EQ(Text(rec.text), "  indented text");  // leading blanks kept
  EXPECT_EQ(Text(rec.model), "V400");
  EXPECT_EQ(Text(rec.NotifyUnique), "disk_fail;disk_failed");

  // Cleared before filling: nothing of the old bytes behind any text.
  EXPECT_TRUE(ZeroAfterText(rec.hdr.TxnId));
  EXPECT_TRUE(ZeroAfterText(rec.event));
  EXPECT_TRUE(ZeroAfterText(rec.source));
  EXPECT_TRUE(ZeroAfterText(rec.abstract));
  EXPECT_TRUE(ZeroAfterText(rec.counter));
  EXPECT_TRUE(ZeroAfterText(rec.text));
  EXPECT_TRUE(ZeroAfterText(rec.model));
  EXPECT_TRUE(ZeroAfterText(rec.NotifyUnique));
}

TEST_F(NotifyRecord, AlertSetsBitZeroOfAttr3AndKeepsTheOthers) {
  r_.Alert_event = true;
  qd_Transaction_Format_6 rec = Build();
  EXPECT_EQ(rec.hdr.TxnAttr3, 0xA5);
  EXPECT_EQ(rec.hdr.TxnAttr1, 0x80);
  EXPECT_EQ(rec.hdr.TxnAttr2, 0x11);
  EXPECT_EQ(rec.hdr.TxnAttr4, 0xFF);
  request_.TxnAttr3 = 0x03;  // already set: stays set, forwarded bit kept
  EXPECT_EQ(Build().hdr.TxnAttr3, 0x03);
}

TEST_F(NotifyRecord, LongValuesAreCutToTheirFields) {
  r_.AEvent = std::string(250, 'e') + "      " + std::string(40, 'x');  // blanks at 250..255
  r_.ASymptom = std::string(70, 's') + "    \t\t\t  " + "tail";          // blanks at the cut
  r_.AModel = std::string(100, 'm');
  r_.Anot_unique = std::string(300, 'u');
  std::snprintf(file_.Cprod_filename, sizeof file_.Cprod_filename, "%s",
                std::string(250, 'f').c_str());
  qd_Transaction_Format_6 rec = Build();
  EXPECT_EQ(Text(rec.event), std::string(250, 'e'));   // first 256, then trimmed
  EXPECT_EQ(Text(rec.abstract), "(Major)" + std::string(70, 's'));  // first 80, trimmed
  EXPECT_EQ(Text(rec.model).size(), 79u);
  EXPECT_EQ(Text(rec.NotifyUnique).size(), 256u);
  EXPECT_EQ(Text(rec.source).size(), 256u);
  EXPECT_EQ(Text(rec.source).rfind("Zarvek Velmar 1234567 fff", 0), 0u);
}

TEST_F(NotifyRecord, CutsNeverSplitACharacter) {
  r_.AModel = std::string(78, 'm') + "\xC3\xA9";  // the second byte would be the 80th
  EXPECT_EQ(Text(Build().model), std::string(78, 'm'));
}

// ---- the text and its 4000-character rule ---------------------------------

const char kNoteStart[] = "\nTRUNCATED - see ";
const char kNoteEnd[] = " for full details.";

TEST(NotifyTextRule, PartsInOrderAndTheBoundary) {
  AnalysisResult r;
  r.AFormattedText = "formatted\n";
  r.AAddedData = "<added/>";
  EXPECT_EQ(NotifyText(r, "Obrin"), "formatted\n<added/>");
  r.AExtraText = "\nExtended analysis output is available in Obrin.\n";
  EXPECT_EQ(NotifyText(r, "Obrin"),
            "formatted\n\nExtended analysis output is available in Obrin.\n<added/>");

  r.AExtraText.clear();
  r.AAddedData.clear();
  for (size_t n : {size_t{3999}, size_t{4000}}) {
    r.AFormattedText.assign(n, 'a');
    EXPECT_EQ(NotifyText(r, "Obrin"), r.AFormattedText) << n;
  }
  r.AFormattedText.assign(4001, 'a');
  std::string cut = NotifyText(r, "Obrin");
  std::string note = std::string(kNoteStart) + "Obrin" + kNoteEnd;
  ASSERT_EQ(cut.size(), 4000u);
  EXPECT_EQ(cut, std::string(4000 - note.size(), 'a') + note);
}

TEST(NotifyTextRule, OnTheSpTheNoteNamesTheStoredFile) {
  AnalysisResult r;
  r.AFormattedText.assign(3000, 'a');
  r.AAddedData.assign(1100, 'b');
  const std::string store = "/sp/prod/data/files/1234567/event/ev7";
  std::string cut = NotifyText(r, store);
  ASSERT_EQ(cut.size(), 4000u);
  std::string note = std::string(kNoteStart) + store + kNoteEnd;
  EXPECT_EQ(cut.substr(4000 - note.size()), note);
  EXPECT_EQ(cut.substr(0, 3000), std::string(3000, 'a'));
}

// ---- do_notify when the service cannot be reached ---------------------------

class NotifyFallback : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ResetNotifierId();
    // No server answers here: every connection fails at once.
    root_.write("/etc/qd/gdda.conf",
                "[Global]\nSYSTEM_LEVEL = Prod\nWM_CONNINFO = host=" + root_.under("/no-server") +
                    " connect_timeout=1\n");
    st_.process_name = "QDAN";
    st_.process_id = 1;
    st_.hw_arch = 'X';
    st_.wm.reset(new CWorkMessages(false));
    std::snprintf(an_.file.Cvendor, sizeof an_.file.Cvendor, "Zarvek");
    std::snprintf(an_.file.Cproduct, sizeof an_.file.Cproduct, "Velmar");
    std::snprintf(an_.file.Cprod_filename, sizeof an_.file.Cprod_filename, "EVENT");
    std::memset(&txn_, 0, sizeof txn_);
    txn_.fmt = QD_TXN_FMT_FDB_REQUEST;
  }
  void TearDown() override {
    st_.wm.reset();
    ResetNotifierId();
    EngineTest::TearDown();
  }

  std::vector<std::string> Spool() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(root_.under("/var/spool/qd/wm").c_str())) {
      while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".wm") == 0) names.push_back(name);
      }
      closedir(dir);
    }
    return names;
  }

  QDTxn txn_;
};

TEST_F(NotifyFallback, NoProcessIdSpoolsTheRecordAndRaisesTheBackDoorAlert) {
  Engine().pd_number = "7";
  Engine().pd_location = "2:3:1";
  Engine().pd_wwn = "5000C500ABCDEF01";
  Engine().result.AFormattedText = "formatted\n";
  do_notify(&txn_);

  EXPECT_EQ(Engine().result.AExtraText, "\nPD7 location is HD[2:3:1]; wwn is 5000C500ABCDEF01\n");
  EXPECT_EQ(Engine().result.AText,
            "formatted\n\nPD7 location is HD[2:3:1]; wwn is 5000C500ABCDEF01\n");
  std::string log = Log();
  EXPECT_NE(log.find("QDA0020 2 Message 0000002A: no process id for 'QDNOT', rc=-90"),
            std::string::npos) << log;
  EXPECT_TRUE(st_.error_this_pass);
  EXPECT_NE(log.find("QDA9999 A message for QDNOT/NIQ spooled as "), std::string::npos) << log;
  EXPECT_EQ(Spool().size(), 1u);

  std::string alerts = Alerts();
  EXPECT_EQ(Count(alerts, "\"kind\":\"backdoor\""), 1) << alerts;
  EXPECT_NE(alerts.find("\"abstract\":\"qdAnalyze Unable to Send() NIQ message\""),
            std::string::npos);
  EXPECT_NE(alerts.find("Notify request for Zarvek Velmar SN1234 EVENT file cannot be sent.\\n"
                        "CWorkMessages::GetUID() failed to translate 'QDNOT'\\n"
                        "Originating AIQ message is 0000002A"),
            std::string::npos) << alerts;
}

TEST_F(NotifyFallback, EachRequestTriesTheLookupAgainUntilItSucceeds) {
  do_notify(&txn_);
  do_notify(&txn_);
  EXPECT_EQ(Count(Log(), "QDA0020 2"), 2);
  EXPECT_EQ(Spool().size(), 2u);
  EXPECT_EQ(Count(Alerts(), "\"kind\":\"backdoor\""), 2);
}

}  // namespace
