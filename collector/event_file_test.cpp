// The event file as the analyzer reads it: every corpus event, read from
// the stream form and written again, gives the corpus file byte for byte;
// the file name, its sequence and time; the prefilter both ways; the port
// rewriting before and after the port-numbering change; the analysis
// request's fallback.
#include "event_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "event_parser.h"
#include "event_process.h"
#include "prefilter.h"
#include "temp_root.h"

namespace {

std::string SourceDir() {
  const char* dir = std::getenv("QD_SOURCE_DIR");
  return dir ? dir : ".";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The Event element of a corpus file as the array sends it: the XML
// section without the three elements the collector adds.
std::string StreamForm(const std::string& file) {
  size_t at = file.find("XML FORMAT:\n") + 12;
  size_t serial = file.find("  <Serial>", at);
  return file.substr(at, serial - at) + "</Event>";
}

EventDefs CorpusDefs() {
  EventDefs defs;
  init_desc_strings(SourceDir() + "/sim/spcollect/data", defs);
  return defs;
}

struct UtcZone {
  UtcZone() { setenv("TZ", "UTC", 1); tzset(); }
};

TEST(EventFile, CorpusEventsAreWrittenAsTheCorpusFiles) {
  UtcZone utc;
  EventDefs defs = CorpusDefs();
  ASSERT_GT(defs.types.entries.size(), 20u);
  const std::string dir = SourceDir() + "/tests/corpus/events";
  DIR* d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr);
  int compared = 0;
  while (dirent* ent = readdir(d)) {
    std::string name = ent->d_name;
    if (name.rfind("evt_", 0) != 0) continue;
    const std::string want = Slurp(dir + "/" + name);
    EventParser p;
    p.comps = &defs.comps;
    std::string got;
    p.callback = [&](evtmon_t& e, const std::string& raw) {
      ApplyTestEvent(e);
      std::string comp = format_port(e.comp_text, "2.3.1.45");
      got = BuildEventText(e, raw, e.time, comp, defs, "1400123", "Velmar S400", "2.3.1.45");
    };
    std::string doc = "<EventList>\n" + StreamForm(want) + "\n</EventList>\n";
    std::string err;
    process_buf(p, doc.data(), static_cast<long>(doc.size()), err);
    EXPECT_EQ(err, "") << name;
    EXPECT_EQ(got, want) << name;
    ++compared;
  }
  closedir(d);
  EXPECT_GE(compared, 28);
}

TEST(EventFile, MessageIdAndAlertTexts) {
  UtcZone utc;
  EventDefs defs;
  defs.codes.entries = {{"evt_a", "196612", true}, {"evt_zero", "0", true}, {"evt_word", "n/a", true}};
  evtmon_t e;
  init_evtmon(&e);
  e.raw_xml[0] = e.cat_key[0] = '\0';
  e.node = 1;
  e.seq = 2;
  e.sev = 9;
  e.alert_id = 17;
  std::strcpy(e.type, "evt_a");
  std::string text = BuildEventText(e, "<Event></Event>", 0, "", defs, "S", "M", "L");
  EXPECT_NE(text.find("Cust Alert - Yes, Svc Alert - Yes   Severity: Invalid Severity  \n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t     Alert ID: 17  Msg ID: 30004\n"), std::string::npos);
  e.alert_id = 0;
  e.msgcode = 0x30004;
  std::strcpy(e.type, "evt_none");
  text = BuildEventText(e, "<Event></Event>", 0, "", defs, "S", "M", "L");
  EXPECT_NE(text.find("Cust Alert - No, Svc Alert - No"), std::string::npos);
  EXPECT_NE(text.find("evt_none\t\t\t  Msg ID: 30004\n"), std::string::npos);
  e.msgcode = 0;
  EXPECT_NE(BuildEventText(e, "", 0, "", defs, "S", "M", "L").find("evt_none\t\t\t\n"), std::string::npos);
  std::strcpy(e.type, "evt_zero");
  EXPECT_NE(BuildEventText(e, "", 0, "", defs, "S", "M", "L").find("  Msg ID: N/A\n"), std::string::npos);
  std::strcpy(e.type, "evt_word");
  EXPECT_NE(BuildEventText(e, "", 0, "", defs, "S", "M", "L").find("  Msg ID: N/A\n"), std::string::npos);
}

TEST(EventFile, NamesSequencesAndPorts) {
  UtcZone utc;
  evtmon_t e;
  init_evtmon(&e);
  e.node = 2;
  e.seq = 1234567;
  EXPECT_EQ(FileSeq(e), "2-234567");
  e.seq = 42;
  EXPECT_EQ(FileSeq(e), "2-42");
  e.node = 123;  // three-digit nodes fit the sequence text
  e.seq = 2147483647;
  EXPECT_EQ(FileSeq(e), "123-483647");
  char stamp[16];
  build_timestamp(stamp, 1236262029);
  EXPECT_STREQ(stamp, "090305.140709");
  EXPECT_EQ(build_cli_timestamp(1236262029), "'Thu Mar 05 14:07:09 2009'");
  EXPECT_EQ(build_cli_timestamp(0), "0");

  EXPECT_EQ(format_port("disk Port 10 x ", "2.3.1.0"), "disk Port 0:1:2 x ");
  EXPECT_EQ(format_port("disk Port 10 x ", "2.3.1.1"), "disk Port 0:1:2 x ");
  EXPECT_EQ(format_port("disk Port 1023 ", "2.3.2.0"), "disk Port 7:15:7 ");
  EXPECT_EQ(format_port("disk Port 1024 ", "2.3.2.0"), "disk Port invalid ");
  EXPECT_EQ(format_port("node1 Node 1 ", "2.3.2.0"), "node1 Node 1 ");
  EXPECT_EQ(convert_port(145), "1:2:1");
}

TEST(Prefilter, DecisionBothWaysAndLevels) {
  PrefilterTable t;
  EventEntry keep, drop, old;
  ASSERT_TRUE(ParsePrefilterLine("evt_keep,3,0,1, , ;", keep));
  ASSERT_TRUE(ParsePrefilterLine("evt_drop,3,0,0, ,disk;", drop));
  ASSERT_TRUE(ParsePrefilterLine("evt_old,6,0,0,2.2.0.0, ;", old));
  t.entries = {keep, drop, old};
  evtmon_t e;
  init_evtmon(&e);
  std::strcpy(e.type, "evt_keep");
  for (int sev = 0; sev <= 6; ++sev) {
    e.sev = sev;
    EXPECT_EQ(PrefilterDecision(t, e, "2.3.1.0", 0), sev <= 3 ? 1 : 0) << sev;
  }
  std::strcpy(e.type, "evt_drop");
  std::strcpy(e.event_string, "a disk failed");
  for (int sev = 0; sev <= 6; ++sev) {
    e.sev = sev;
    EXPECT_EQ(PrefilterDecision(t, e, "2.3.1.0", 1), sev <= 3 ? 0 : 1) << sev;
  }
  std::strcpy(e.event_string, "a cage");  // cmpstr does not occur: initial stands
  EXPECT_EQ(PrefilterDecision(t, e, "2.3.1.0", 1), 1);
  std::strcpy(e.type, "evt_old");
  EXPECT_EQ(PrefilterDecision(t, e, "2.1.0.0", 1), 0);
  EXPECT_EQ(PrefilterDecision(t, e, "2.3.1.0", 1), 1);  // level above the entry's
  EXPECT_FALSE(cur_gt_filter_level("2.3", "2.2.0.0"));
  EXPECT_TRUE(cur_gt_filter_level("10.0.0.0", "9.9.9.9"));
  EXPECT_FALSE(ParsePrefilterLine("evt_x,3,0,1, ", keep));
  EXPECT_FALSE(ParsePrefilterLine("evt_x,abc,0,1, , ;", keep));
}

TEST(Prefilter, FileWithBlankAndOverlongLinesReadsOn) {
  TempRoot root;
  root.write("/sp/prod/control/appconf/common.prefilt",
             "# h1\n# h2\n# h3\nevt_a,3,0,1, , ;\n\n" + std::string(300, 'z') +
                 "\nnot an entry\nevt_b,2,0,0, , ;\n");
  PrefilterTable t;
  std::vector<std::string> notes;
  EXPECT_EQ(ReadPrefilter("1400123", t, notes), 0);
  EXPECT_EQ(t.path, "/sp/prod/control/appconf/common.prefilt");
  ASSERT_EQ(t.entries.size(), 2u);
  EXPECT_STREQ(t.entries[1].type, "evt_b");
  EXPECT_EQ(notes.size(), 3u);
  root.write("/sp/prod/control/appconf/1400123.prefilt", "h\nh\nh\nevt_c,1,0,1, , ;\n");
  EXPECT_EQ(ReadPrefilter("1400123", t, notes), 0);
  ASSERT_EQ(t.entries.size(), 1u);
  EXPECT_STREQ(t.entries[0].type, "evt_c");
}

TEST(EventProcess, KeptEventIsFiledWholeAndItsUnsendableRequestSpooled) {
  UtcZone utc;
  TempRoot root;
  EvtmonState st;
  st.sysid = "1400123";
  st.vqx_level = "2.3.1.45";
  st.model = "Velmar S400";
  st.defs = CorpusDefs();
  const std::string want = Slurp(SourceDir() + "/tests/corpus/events/evt_dskfail");
  EventParser p;
  p.comps = &st.defs.comps;
  p.callback = [&](evtmon_t& e, const std::string& raw) { process_event(st, e, raw); };
  // A non-alert event without an entry is dropped; the alert is kept.
  std::string doc = "<EventList><Event><Node>1</Node><Seq>5</Seq><Type>evt_x</Type></Event>" +
                    StreamForm(want) + "</EventList>";
  std::string err;
  process_buf(p, doc.data(), static_cast<long>(doc.size()), err);
  EXPECT_EQ(err, "");
  FlushEvents(st);
  EXPECT_EQ(st.events_seen, 2);
  EXPECT_EQ(st.events_filed, 1);
  EXPECT_EQ(root.read("/sp/prod/data/files/1400123/event/050415.102030.1-234567"), want);
  // Without the work-message service the request waits in the spool, and
  // the operators are told.
  DIR* d = opendir(root.under("/var/spool/qd/wm").c_str());
  ASSERT_NE(d, nullptr);
  int spooled = 0;
  while (dirent* ent = readdir(d)) spooled += ent->d_name[0] != '.';
  closedir(d);
  EXPECT_EQ(spooled, 1);
  EXPECT_NE(root.read("/var/log/qd/alerts.log").find("spfilter unable to Send() AIQ message"), std::string::npos);
  EXPECT_EQ(st.last_event_time, 1113560430);
}

TEST(EventProcess, EventWithoutTimeIsNamedAndStampedByOneTime) {
  TempRoot root;
  EvtmonState st;
  st.sysid = "1400123";
  st.vqx_level = "2.3.1.45";
  evtmon_t e;
  init_evtmon(&e);
  e.node = 0;
  e.seq = 7;
  e.class_mask = 1u << kEvtClassAlert;
  std::strcpy(e.type, "evt_notimed");
  time_t before = time(nullptr);
  process_event(st, e, "<Event><Node>0</Node></Event>");
  FlushEvents(st);
  EXPECT_EQ(st.events_filed, 1);
  char stamp[16];
  build_timestamp(stamp, before);
  DIR* d = opendir(root.under("/sp/prod/data/files/1400123/event").c_str());
  ASSERT_NE(d, nullptr);
  std::string name;
  while (dirent* ent = readdir(d)) if (ent->d_name[0] != '.') name = ent->d_name;
  closedir(d);
  EXPECT_EQ(name.substr(0, 6), std::string(stamp).substr(0, 6));  // not 1970
  EXPECT_EQ(name.substr(name.size() - 4), ".0-7");
  EXPECT_EQ(st.last_event_time, 0);  // no time: the last event time does not move
}

}  // namespace
