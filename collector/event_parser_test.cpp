// The stream reader: reassembly across blocks, the element reader's errors,
// the event record's fields, and every bound a hostile stream can push on.
#include "event_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "xml_reader.h"

namespace {

struct Seen {
  evtmon_t e;
  std::string raw;
};

struct Reader {
  EventParser p;
  std::vector<Seen> events;
  std::vector<std::string> errors;
  DescTable comps;
  Reader() {
    comps.entries.push_back({"comp_sw_pd", "Physical Disk", true});
    p.comps = &comps;
    p.callback = [this](evtmon_t& e, const std::string& raw) { events.push_back({e, raw}); };
  }
  void Feed(const std::string& block) {
    std::string buf = block;  // room for the reader's own view only
    std::string err;
    process_buf(p, buf.data(), static_cast<long>(buf.size()), err);
    if (!err.empty()) errors.push_back(err);
  }
  void FeedSplit(const std::string& text, const std::vector<size_t>& cuts) {
    size_t at = 0;
    for (size_t cut : cuts) {
      if (cut > at) Feed(text.substr(at, cut - at));
      at = cut > at ? cut : at;
    }
    if (at < text.size()) Feed(text.substr(at));
  }
};

std::string Event(int node, int seq, const std::string& extra = "") {
  return "<Event>\n  <Node>" + std::to_string(node) + "</Node>\n  <Seq>" + std::to_string(seq) +
         "</Seq>\n  <Sev>2</Sev>\n  <Time>1113560430</Time>\n  <Type>evt_dskfail</Type>\n"
         "  <Class>evt_class_alert</Class>\n" + extra + "</Event>";
}

std::string Doc(const std::string& events) {
  return "<EventList>\n<Version>1</Version>\n" + events + "\n</EventList>";
}

std::vector<std::string> Keys(const std::vector<Seen>& seen) {
  std::vector<std::string> keys;
  for (const auto& s : seen) {
    keys.push_back(std::to_string(s.e.node) + "-" + std::to_string(s.e.seq) + " " + s.e.type + " " +
                   s.e.comp_text + "|" + s.raw);
  }
  return keys;
}

TEST(EventParser, FillsTheRecordFromOneDocument) {
  Reader r;
  r.Feed("heartbeat\n" +
         Doc(Event(1, 1234567,
                   "  <AlertId>17</AlertId>\n  <Class>evt_class_svcalert</Class>\n"
                   "  <MessageCode>196612</MessageCode>\n"
                   "  <PrimaryComp><CompName>2:3:1</CompName><CompType>comp_sw_pd</CompType>"
                   "<CompId>7</CompId><Comp><CompName>cage2</CompName><CompType>comp_hw_cage"
                   "</CompType><CompId>2</CompId></Comp></PrimaryComp>\n"
                   "  <ShortDesc>a &amp;lt; b &#38; c</ShortDesc>\n"
                   "  <Parameter><PName>wwn</PName><PValue>20</PValue></Parameter>\n"
                   "  <CatKey>PD-FAIL</CatKey>\n")));
  ASSERT_TRUE(r.errors.empty()) << r.errors[0];
  ASSERT_EQ(r.events.size(), 1u);
  const evtmon_t& e = r.events[0].e;
  EXPECT_EQ(e.node, 1);
  EXPECT_EQ(e.seq, 1234567);
  EXPECT_EQ(e.sev, 2);
  EXPECT_EQ(e.time, 1113560430);
  EXPECT_EQ(e.alert_id, 17);
  EXPECT_EQ(evt_get_msgcode_component(&e), 3);
  EXPECT_EQ(evt_get_msgcode_component_failure(&e), 4);
  EXPECT_STREQ(e.type, "evt_dskfail");
  EXPECT_EQ(e.class_mask, 0x6u);
  EXPECT_STREQ(e.comp_text, "2:3:1 Physical Disk 7 cage2 comp_hw_cage 2 ");
  EXPECT_EQ(e.comps.count, 1);
  EXPECT_STREQ(e.comps.comp[0].name, "2:3:1");
  EXPECT_STREQ(e.comps.comp[0].type.type_name, "comp_sw_pd");
  EXPECT_EQ(static_cast<long long>(e.comps.comp[0].type.id), 7);  // packed: copy, never bind
  EXPECT_STREQ(e.comps.comp[0].containers[1].type_name, "comp_hw_cage");
  EXPECT_STREQ(e.short_desc, "a &lt; b &#38; c");  // decoded once; numeric references stay
  EXPECT_STREQ(e.param_text, "wwn 20 ");
  EXPECT_EQ(e.params.count, 1);
  EXPECT_STREQ(e.params.param[0].value, "20");
  EXPECT_STREQ(e.cat_key, "PD-FAIL");
  EXPECT_EQ(r.events[0].raw.substr(0, 7), "<Event>");
  EXPECT_EQ(r.events[0].raw.substr(r.events[0].raw.size() - 8), "</Event>");
}

TEST(EventParser, ComponentIdsByTypeAndBounds) {
  Reader r;
  std::string comps;
  for (int i = 0; i < 12; ++i) comps += "<Comp><CompName>c" + std::to_string(i) + "</CompName></Comp>";
  std::string deep;
  for (int i = 0; i < 12; ++i) deep += "<Comp><CompType>comp_hw_disk</CompType><CompId>255</CompId>";
  for (int i = 0; i < 12; ++i) deep += "</Comp>";
  r.Feed(Doc(Event(0, 1, "<PrimaryComp><CompType>comp_hw_disk</CompType><CompId>255</CompId>"
                         "<CompId>abc</CompId><Comp><CompType>comp_hw_cage_sled</CompType>"
                         "<CompId>" + std::to_string((1LL << 48) | (5LL << 40) | (2LL << 32) | 3) +
                         "</CompId></Comp></PrimaryComp>") +
             Event(0, 2, comps) + Event(0, 3, deep) +
             Event(0, 4, "<CompType>x</CompType><CompId>9</CompId>")));
  ASSERT_TRUE(r.errors.empty()) << r.errors[0];
  ASSERT_EQ(r.events.size(), 4u);
  EXPECT_STREQ(r.events[0].e.comp_text, "comp_hw_disk 00000000000000FF abc comp_hw_cage_sled 3:1.5:1 ");
  EXPECT_EQ(r.events[0].e.comps.comp[0].type.id_specified, 1);
  EXPECT_EQ(r.events[1].e.comps.count, kEvtMaxComps);
  // Twelve levels of containers: the ten slots are filled, deeper ones only
  // reach the text.
  EXPECT_EQ(r.events[2].e.comps.count, 1);
  EXPECT_STREQ(r.events[2].e.comps.comp[0].containers[9].type_name, "comp_hw_disk");
  // Outside any component: text only.
  EXPECT_STREQ(r.events[3].e.comp_text, "x 9 ");
  EXPECT_EQ(CageSledText(0xFFFFFFFALL), "N/A");
}

TEST(EventParser, TwoDocumentsSplitAtEveryOffsetGiveTheSameEvents) {
  const std::string text = "hb\n" + Doc(Event(1, 10) + Event(1, 11)) + "</EventList>junk" +
                           Doc(Event(2, 20)) + "\nheartbeat\n" + Doc(Event(3, 30));
  Reader whole;
  whole.Feed(text);
  ASSERT_EQ(whole.events.size(), 4u);
  for (size_t i = 1; i < text.size(); ++i) {
    Reader r;
    r.FeedSplit(text, {i});
    ASSERT_EQ(Keys(r.events), Keys(whole.events)) << "cut at " << i;
    ASSERT_TRUE(r.errors.empty()) << "cut at " << i;
  }
  Reader bytes;
  for (char c : text) bytes.Feed(std::string(1, c));
  EXPECT_EQ(Keys(bytes.events), Keys(whole.events));
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<size_t> cuts;
    for (size_t at = 0; at < text.size();) {
      at += 1 + rng() % 40;
      cuts.push_back(at);
    }
    Reader r;
    r.FeedSplit(text, cuts);
    ASSERT_EQ(Keys(r.events), Keys(whole.events)) << "round " << round;
  }
}

TEST(EventParser, DocumentEdgesAtBlockEdges) {
  Reader r;
  // The end tag closes a block; the next document follows with no separator.
  r.Feed(Doc(Event(1, 1)));
  r.Feed(Doc(Event(1, 2)) + Doc(Event(1, 3)));
  // A start tag over three short blocks.
  r.Feed("<Eve");
  r.Feed("ntLi");
  r.Feed("st>" + Event(1, 4) + "</EventList>");
  EXPECT_TRUE(r.errors.empty());
  ASSERT_EQ(r.events.size(), 4u);
  EXPECT_EQ(r.events[3].e.seq, 4);
  std::string err;
  process_buf(r.p, "", 0, err);
  EXPECT_EQ(err, "process_buf: passed in buffer of length 0");
}

TEST(EventParser, OversizedDocumentIsDroppedWholeAndTheNextIsRead) {
  Reader r;
  std::string big = Event(1, 1, "<EventString>" + std::string(70000, 'x') + "</EventString>");
  std::string text = Doc(big) + Doc(Event(1, 2));
  for (size_t at = 0; at < text.size(); at += 8000) r.Feed(text.substr(at, 8000));
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0], kEvtTooBig);
  ASSERT_EQ(r.events.size(), 1u);
  EXPECT_EQ(r.events[0].e.seq, 2);
  EXPECT_EQ(r.events[0].raw, Event(1, 2));
}

TEST(EventParser, MalformedDocumentsAreErrorsAndReadingGoesOn) {
  struct Case { std::string doc; std::string err; };
  std::string deep;
  for (int i = 0; i < 120; ++i) deep += "<Parameter>";
  const Case cases[] = {
      {"<EventList><Event><Node>1</Nodx></Event></EventList>", kXmlErrMismatch},
      // "</EventList>" passes for the Event's end tag (names compare over
      // the open element's length); the list then lacks its own.
      {"<EventList><Event><Node>1</Node>text</EventList>", kXmlErrNoNextTag},
      {"<EventList><Event>tail", kXmlErrNoNextTag},
      {"<EventList><Event><Node 1</EventList>", ""},  // the name swallows text: not ours to judge
      {"<EventList>" + deep + "</EventList>", kXmlErrTooDeep},
      {"<EventList><Event><Node>12abc</Node></Event></EventList>", "8: Invalid number in Node.\n"},
      {"<EventList><Event><Time>99999999999</Time></Event></EventList>", "8: Invalid number in Time.\n"},
      {std::string("<EventList><Event><Node>1") + '\0' + "</Node></Event></EventList>",
       "7: Document holds a NUL byte.\n"},
  };
  for (const Case& c : cases) {
    Reader r;
    r.Feed(c.doc + Doc(Event(5, 5)));
    if (!c.err.empty()) {
      ASSERT_EQ(r.errors.size(), 1u) << c.doc;
      EXPECT_EQ(r.errors[0], c.err) << c.doc;
    }
    ASSERT_FALSE(r.events.empty()) << c.doc;
    EXPECT_EQ(r.events.back().e.seq, 5) << c.doc;
  }
}

TEST(EventParser, TextsAreBoundedAndRawTextKeptWhole) {
  Reader r;
  std::string longtext(5000, 'y');
  std::string comps;
  for (int i = 0; i < 300; ++i) comps += "<Comp><CompName>" + std::string(20, 'n') + "</CompName></Comp>";
  r.Feed(Doc(Event(1, 1, "<EventString>" + longtext + "</EventString><ShortDesc>" + longtext +
                             "</ShortDesc><Type>" + longtext + "</Type>" + comps +
                             "<Parameter><PName>" + longtext + "</PName></Parameter>")));
  ASSERT_TRUE(r.errors.empty());
  ASSERT_EQ(r.events.size(), 1u);
  const evtmon_t& e = r.events[0].e;
  EXPECT_EQ(std::strlen(e.event_string), sizeof e.event_string - 1);
  EXPECT_EQ(std::strlen(e.short_desc), sizeof e.short_desc - 1);
  EXPECT_EQ(std::strlen(e.type), sizeof e.type - 1);
  EXPECT_EQ(std::strlen(e.comp_text), sizeof e.comp_text - 1);
  EXPECT_EQ(std::strlen(e.param_text), sizeof e.param_text - 1);
  EXPECT_EQ(std::strlen(e.raw_xml), sizeof e.raw_xml - 1);
  EXPECT_GT(r.events[0].raw.size(), 15000u);
  EXPECT_EQ(r.events[0].raw.substr(r.events[0].raw.size() - 8), "</Event>");
}

TEST(XmlReader, EmptyElementsEntitiesAndStrip) {
  Reader r;
  r.Feed("<EventList><Version/>" + Event(1, 1, "<EventString>&lt;&gt;&amp;&quot;&apos;&amp;lt;&#38;&x</EventString>") + "</EventList>");
  ASSERT_TRUE(r.errors.empty()) << r.errors[0];
  ASSERT_EQ(r.events.size(), 1u);
  EXPECT_STREQ(r.events[0].e.event_string, "<>&\"'&lt;&#38;&x");
  EXPECT_EQ(StripSpaces("  a b \n"), "a b");
}

}  // namespace
