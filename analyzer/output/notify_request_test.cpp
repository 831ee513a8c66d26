// The notification request: the PNR record field by field, the 4000-byte
// text rule, and do_notify's way through the fallback when the service
// cannot be reached.
#include "notify_request.h"

#include <cstring>

#include "engine_test_fixture.h"

namespace {

template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// Every byte of the field after its text is zero.
template <size_t N>
bool ZeroAfterText(const char (&field)[N]) {
  for (size_t i = strnlen(field, N); i < N; ++i) {
    if (field[i] != '\0') return false;
  }
  return true;
}

struct RecordCase {
  qd_Transaction_Header request{};
  CurrentFile file{};
  NotifySource src;
  AnalysisResult r;

  RecordCase() {
    request.TxnAttr1 = 0x80;
    request.TxnAttr3 = 0xA4;
    std::snprintf(request.AssocId, sizeof request.AssocId, "Sec0000ABCDuSec00001234");
    std::snprintf(request.sp.id, sizeof request.sp.id, "SP0042");
    std::snprintf(file.Cvendor, sizeof file.Cvendor, "Zarvek");
    std::snprintf(file.Cproduct, sizeof file.Cproduct, "Velmar");
    std::snprintf(file.Cprod_id, sizeof file.Cprod_id, "1234567");
    std::snprintf(file.Cprod_filename, sizeof file.Cprod_filename, "EVENT");
    std::snprintf(file.Cfile_seq, sizeof file.Cfile_seq, "17");
    std::snprintf(file.Cfile_date, sizeof file.Cfile_date, "2024/05/01 12:34:56");
    src = {&request, &file, "Major", 3, 'X', 1714566896};
    r.AUrgency = 'L';
    r.AEvent = "Zarvek Velmar disk_fail \t\n";
    r.ASymptom = "PD|cage2 disk_failed Disk has failed\n";
    std::memcpy(&r.AEventTimeFirst, "a2024/05/01 10:00:00.00", sizeof r.AEventTimeFirst);
    r.AEventTimeLast = r.AEventTimeFirst;
    r.ACount = 12;
    r.AText = "  indented text\n\n";
    r.AModel = "V400";
    r.Anot_unique = "disk_fail;disk_failed";
  }
  qd_Transaction_Format_6 Build() const {
    qd_Transaction_Format_6 rec;
    std::memset(&rec, 0x5A, sizeof rec);  // whatever was there before
    BuildNotifyRecord(r, src, rec);
    return rec;
  }
};

TEST(NotifyRecord, EveryFieldAndTheAlertBit) {
  RecordCase c;
  qd_Transaction_Format_6 rec = c.Build();
  const qd_Transaction_Header& h = rec.hdr;
  EXPECT_EQ(std::string({char(h.fmt), h.encription, h.compression, h.char_set, h.hw_architecture}),
            std::string("\x06" "00AX"));
  EXPECT_EQ(Text(h.TxnId), "PNR");
  EXPECT_EQ(h.TxnAttr1, 0x80);
  EXPECT_EQ(h.TxnAttr3, 0xA4);  // not an alert: as the request had it
  Time_Stamp now;
  ASSERT_EQ(TStampOut(c.src.now, now, true), 0);
  EXPECT_EQ(std::memcmp(&h.TxnTime, &now, sizeof now), 0);
  EXPECT_EQ(std::memcmp(h.AssocId, c.request.AssocId, sizeof h.AssocId), 0);
  EXPECT_EQ(std::memcmp(&h.prod, &c.request.prod, 2 * sizeof h.prod), 0);  // prod and sp
  EXPECT_EQ(rec.urgency, 'L');
  EXPECT_EQ(rec.notclass, 3);
  EXPECT_EQ(Text(rec.event), "Zarvek Velmar disk_fail");
  EXPECT_EQ(Text(rec.source), "Zarvek Velmar 1234567 EVENT file, seq 17, dated 2024/05/01 12:34:56");
  EXPECT_EQ(std::memcmp(&rec.EventTimeFirst, &c.r.AEventTimeFirst, sizeof now), 0);
  EXPECT_EQ(std::memcmp(&rec.EventTimeLast, &c.r.AEventTimeLast, sizeof now), 0);
  EXPECT_EQ(rec.EventLocation, 'R');
  EXPECT_EQ(Text(rec.abstract), "(Major)PD|cage2 disk_failed Disk has failed");
  EXPECT_EQ(Text(rec.counter), "12");
  EXPECT_EQ(Text(rec.text), "  indented text");  // leading blanks kept
  EXPECT_EQ(Text(rec.model), "V400");
  EXPECT_EQ(Text(rec.NotifyUnique), "disk_fail;disk_failed");
  EXPECT_TRUE(ZeroAfterText(rec.event) && ZeroAfterText(rec.abstract) && ZeroAfterText(rec.text) &&
              ZeroAfterText(rec.NotifyUnique));

  c.r.Alert_event = true;
  rec = c.Build();
  EXPECT_EQ(rec.hdr.TxnAttr3, 0xA5);
  EXPECT_EQ(rec.hdr.TxnAttr1, 0x80);
}

TEST(NotifyRecord, LongValuesAreCutToTheirFieldsWithoutSplittingACharacter) {
  RecordCase c;
  c.r.AEvent = std::string(250, 'e') + "      " + std::string(40, 'x');  // blanks at 250..255
  c.r.ASymptom = std::string(70, 's') + "    \t\t\t  tail";              // blanks at the cut
  c.r.AModel = std::string(77, 'm') + "\xC3\xA9";  // its second byte would be the 80th
  c.r.Anot_unique = std::string(300, 'u');
  std::snprintf(c.file.Cprod_filename, sizeof c.file.Cprod_filename, "%s",
                std::string(250, 'f').c_str());
  qd_Transaction_Format_6 rec = c.Build();
  EXPECT_EQ(Text(rec.event), std::string(250, 'e'));
  EXPECT_EQ(Text(rec.abstract), "(Major)" + std::string(70, 's'));
  EXPECT_EQ(Text(rec.model), std::string(77, 'm') + "\xC3\xA9");
  c.r.AModel = std::string(78, 'm') + "\xC3\xA9";
  EXPECT_EQ(Text(c.Build().model), std::string(78, 'm'));
  EXPECT_EQ(Text(rec.NotifyUnique).size(), 256u);
  EXPECT_EQ(Text(rec.source).size(), 256u);
}

TEST(NotifyText, PartsInOrderAndTheBoundary) {
  AnalysisResult r;
  r.AFormattedText = "formatted\n";
  r.AExtraText = "extra\n";
  r.AAddedData = "<added/>";
  EXPECT_EQ(NotifyText(r, "Obrin"), "formatted\nextra\n<added/>");
  r.AExtraText.clear();
  r.AAddedData.clear();
  for (size_t n : {size_t{3999}, size_t{4000}}) {
    r.AFormattedText.assign(n, 'a');
    EXPECT_EQ(NotifyText(r, "Obrin"), r.AFormattedText) << n;
  }
  const std::string store = "/sp/prod/data/files/1234567/event/ev7";
  for (const std::string& where : {std::string("Obrin"), store}) {
    r.AFormattedText.assign(4001, 'a');
    std::string note = "\nTRUNCATED - see " + where + " for full details.";
    EXPECT_EQ(NotifyText(r, where), std::string(4000 - note.size(), 'a') + note);
  }
}

// ---- do_notify when the service cannot be reached ---------------------------

class NotifyFallback : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ResetNotifierId();
    // No server answers here: every connection fails at once.
    root_.write("/etc/qd/gdda.conf", "[Global]\nSYSTEM_LEVEL = Prod\nWM_CONNINFO = host=" +
                                         root_.under("/no-server") + " connect_timeout=1\n");
    st_.process_name = "QDAN";
    st_.wm.reset(new CWorkMessages(false));
    std::snprintf(an_.file.Cvendor, sizeof an_.file.Cvendor, "Zarvek");
    std::snprintf(an_.file.Cproduct, sizeof an_.file.Cproduct, "Velmar");
    std::snprintf(an_.file.Cprod_filename, sizeof an_.file.Cprod_filename, "EVENT");
  }
  void TearDown() override {
    st_.wm.reset();
    ResetNotifierId();
    EngineTest::TearDown();
  }
};

TEST_F(NotifyFallback, NoProcessIdSpoolsTheRecordAndRaisesTheBackDoorAlert) {
  Engine().pd_number = "7";
  Engine().pd_location = "2:3:1";
  Engine().pd_wwn = "5000C500ABCDEF01";
  Engine().result.AFormattedText = "formatted\n";
  QDTxn txn{};
  do_notify(&txn);

  EXPECT_EQ(Engine().result.AText,
            "formatted\n\nPD7 location is HD[2:3:1]; wwn is 5000C500ABCDEF01\n");
  std::string log = Log();
  EXPECT_NE(log.find("QDA0020 2 Message 0000002A: no process id for 'QDNOT', rc=-90"),
            std::string::npos) << log;
  EXPECT_TRUE(st_.error_this_pass);
  EXPECT_EQ(Count(log, "QDA9999 A message for QDNOT/NIQ spooled as "), 1) << log;
  std::string alerts = Alerts();
  EXPECT_EQ(Count(alerts, "\"kind\":\"backdoor\""), 1) << alerts;
  EXPECT_NE(alerts.find("\"abstract\":\"qdAnalyze Unable to Send() NIQ message\""),
            std::string::npos);
  EXPECT_NE(alerts.find("Notify request for Zarvek Velmar SN1234 EVENT file cannot be sent.\\n"
                        "CWorkMessages::GetUID() failed to translate 'QDNOT'\\n"
                        "Originating AIQ message is 0000002A"),
            std::string::npos) << alerts;
}

}  // namespace
