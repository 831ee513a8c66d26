// Event file parsing on a hand-built table: the flag rules, drops and
// refusals, the exits and the decoding after the parse. The translation is
// a table of the test's own.
#include "event_parse.h"

#include <cstring>
#include <string>

#include "engine_test_fixture.h"

namespace {

int g_lookups = 0;

int FakeTranslate(long, const char*, const char* value, char* data1, size_t size, bool* is_null) {
  ++g_lookups;
  *is_null = false;
  if (std::strcmp(value, "dberror") == 0) return -400;
  if (std::strncmp(value, "comp_", 5) != 0 || std::strcmp(value, "comp_weird") == 0) return 100;
  std::snprintf(data1, size, "T_%s", value + 5);  // comp_hw_cage -> T_hw_cage
  return 0;
}

class EventParseTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_lookups = 0;
    Engine().seams.translate = FakeTranslate;
    InstallTags({{"Alias", flag_redirect | flag_catdata, ",", "Target"},
                 {"Cat", flag_catdata, ","},
                 {"CompId", flag_catdata | flag_makehex, ",", nullptr, Exit_translateCID},
                 {"CompType", flag_catdata, ",", nullptr, Exit_captureRawComponent},
                 {"Drop", flag_droptag}, {"Event"}, {"Nest"}, {"Quiet", flag_nodata},
                 {"ReleaseLevel"}, {"Rep", flag_repdata}, {"Sev"}, {"Target"}, {"Type"}});
  }

  // The event analysis's steps from the file text to the trim.
  int ParseFile(const std::string& file) {
    std::string xml;
    EventXmlParser parser;
    int rc = CutEventXml(file, xml);
    if (rc == 0) rc = PrepareEventXml(xml, parser);
    if (rc != 0) return rc;
    ResetEventParse(0);
    if ((rc = ParseEventXml(parser)) != 0) return rc;
    DecodePorts();
    TrimTagValues();
    return 0;
  }
  int Parse(const std::string& body) { return ParseFile("Text\nXML FORMAT:\n<Event>" + body + "</Event>\n"); }

  // `depth` open elements (Event and Nests) around `inner`, then `after`.
  int ParseNested(int depth, const std::string& inner, const std::string& after) {
    std::string open, close;
    for (int i = 1; i < depth; ++i) open += "<Nest>", close += "</Nest>";
    return Parse(open + inner + close + after);
  }
  std::string Pair(const std::string& type, const std::string& id) {
    return "<CompType>" + type + "</CompType><CompId>" + id + "</CompId>";
  }
};

// ------------------------------------------------------------ flag rules

TEST_F(EventParseTest, RepeatedElementsAndRedirectsFollowTheElementsOwnFlags) {
  ASSERT_EQ(0, Parse("<Sev>first</Sev><Sev>second</Sev><Rep>a</Rep><Rep>b</Rep><Cat>a</Cat><Cat>b</Cat>"
                     "<Type/><Type>late</Type><Alias>x</Alias><Alias>y</Alias><Target>z</Target>"));
  EXPECT_EQ("first", Tag("Sev").data);
  EXPECT_EQ("b", Tag("Rep").data);
  EXPECT_EQ("a,b", Tag("Cat").data);
  EXPECT_EQ("late", Tag("Type").data) << "an earlier occurrence without text leaves nothing to keep";
  EXPECT_EQ("x,y", Tag("Target").data) << "Alias's catdata and separator, Target's keep-first";
  EXPECT_EQ("<no value>", Tag("Alias").data);

  ASSERT_EQ(0, Parse("<Target>z</Target><Alias>x</Alias><Quiet>q</Quiet><Type/>"));
  EXPECT_EQ("z,x", Tag("Target").data) << "and the last event's values and bits are gone";
  EXPECT_EQ("", Tag("Quiet").data);
  EXPECT_EQ("", Tag("Type").data);
  EXPECT_FALSE(HasData("Quiet") || HasData("Type")) << "empty elements are not data";
  EXPECT_EQ("<no value>", Tag("Sev").data);
  EXPECT_FALSE(HasData("Sev"));
}

TEST_F(EventParseTest, DroppedSubtreeIsSilentUnknownElementsAreLoggedEachTime) {
  ASSERT_EQ(0, Parse("<Drop>own<Sev>s</Sev><Bogus/></Drop><Rep>r</Rep>"));
  EXPECT_EQ("own", Tag("Drop").data);
  EXPECT_EQ("<no value>", Tag("Sev").data);
  EXPECT_EQ("r", Tag("Rep").data);
  EXPECT_EQ("", Log() + Alerts());

  ASSERT_EQ(0, Parse("<Bogus><Sev>inner</Sev></Bogus><Bogus/>"));
  EXPECT_EQ(2, Count(Log(), "QDA0040 A Message 0000002A: Encountered unknown XML tag 'Bogus'"));
  EXPECT_EQ("inner", Tag("Sev").data) << "an unknown element does not drop its children";
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"SN1234 EVENT parse error\",\"text\":\"Source file: /sp/store/e1\""));
}

TEST_F(EventParseTest, TenOpenElementsFitDeeperOnesAreRefusedWithTheirSubtree) {
  ASSERT_EQ(0, ParseNested(10, "deep", ""));
  EXPECT_EQ("deep", Tag("Nest").data);
  EXPECT_EQ("", Alerts());

  ASSERT_EQ(0, ParseNested(11, "<Nest><Sev>lost</Sev></Nest>", "<Rep>after</Rep>"));
  EXPECT_EQ("<no value>", Tag("Sev").data);
  EXPECT_EQ("after", Tag("Rep").data) << "the stack is whole again after the refused subtree";
  EXPECT_EQ(1, Count(Log(), "nested deeper than 10")) << "one message for the refused subtree";
  EXPECT_EQ(1, Count(Alerts(), "SN1234 EVENT parse error"));
}

// ------------------------------------------------------ cut and parser

TEST_F(EventParseTest, CutSplitsTheFileMalformedXmlIsARetryValuesAreTrimmed) {
  std::string xml;
  ASSERT_EQ(0, CutEventXml("\n Head\nXML FORMAT:\n<Event><Sev>1</Sev></Event>\nshowcage\n\n", xml));
  EXPECT_EQ("Head\n", Engine().result.AFormattedText);
  EXPECT_EQ("<Event><Sev>1</Sev></Event>", xml);
  EXPECT_EQ("\nshowcage", Engine().result.AAddedData);
  EXPECT_EQ(-1, CutEventXml("Head\nXML FORMAT: <Event/>", xml));
  EXPECT_EQ(1, Count(Log(), "QDA0040 2 Message 0000002A: Unable to find XML at all"));

  EXPECT_EQ(1, Parse("<Sev>x</Type>"));
  EXPECT_EQ(1, Count(Log(), "QDA0040 2 Message 0000002A: mismatched tag"));
  ASSERT_EQ(0, Parse("\n <Sev> \ta b \n</Sev>\n"));
  EXPECT_EQ("a b", Tag("Sev").data);
  EXPECT_EQ("", Tag("Event").data) << "whitespace between children is the parent's data";
  EXPECT_TRUE(HasData("Event"));
}

// ----------------------------------------------------------- exits

TEST_F(EventParseTest, ComponentTypesAreKeptRawAndTranslatedPerSegment) {
  std::string longer(300, 'x');
  ASSERT_EQ(0, Parse("<CompType>comp_hw_cage</CompType><CompType>comp_weird</CompType>"
                     "<CompType>dberror</CompType><CompType>" + longer + "</CompType>"));
  EXPECT_EQ("T_hw_cage,comp_weird,dberror," + longer, Tag("CompType").data);
  EXPECT_EQ("comp_hw_cage", Engine().RawComponent[0]);
  EXPECT_EQ(3, g_lookups) << "a value longer than the table's column is not looked up";
  EXPECT_EQ(1, Count(Alerts(), "\"urgency\":\"L\",\"abstract\":\"SN1234 'CompType' 'comp_weird' not found\""));
  EXPECT_EQ(1, Count(Alerts(), "'CompType' '" + longer + "' not found"));
  EXPECT_EQ(1, Count(Log(), "translate filetype 100 tag CompType value 'dberror'"));
  EXPECT_TRUE(st_.reconnect);
}

TEST_F(EventParseTest, DiskAndSledIdsAreReformatted) {
  auto sled = [](unsigned long long low, unsigned long long group, unsigned long long b40, unsigned long long b48) {
    return std::to_string(low | group << 32 | b40 << 40 | b48 << 48);
  };
  const std::string cage = Pair("comp_hw_cage", "cage2");
  const std::pair<std::string, std::string> cases[] = {
      {Pair("comp_hw_disk", "pd1234"), "pd00000000000004D2"},
      {cage + Pair("comp_hw_disk", "pd-1"), "cage2,pdFFFFFFFFFFFFFFFF"},
      {Pair("comp_hw_disk", "p"), "p"},
      {cage + Pair("comp_hw_cage_sled", "sl" + sled(3, 1, 5, 2)), "cage2,HD[3:0.5:2]"},
      {cage + Pair("comp_hw_cage_sled", "sl" + sled(7, 2, 0, 1)), "cage2,HD[7:1.0:1]"},
      {cage + Pair("comp_hw_cage_sled", "sl" + sled(7, 9, 0, 1)), "cage2,HD[7:0:1]"},
      {cage + Pair("comp_hw_cage_sled", "sl" + sled(0xFFFFFFFAull, 1, 5, 2)), "cage2,HD?"},
      {Pair("comp_hw_cage_sled", "sl" + sled(3, 1, 5, 2)), "sl" + sled(3, 1, 5, 2)},  // first segment
      {"<CompId>pd1234</CompId>", "pd1234"},  // no component type yet
  };
  for (const auto& c : cases) {
    ASSERT_EQ(0, Parse(c.first));
    EXPECT_EQ(c.second, Tag("CompId").data) << c.first;
  }
}

TEST_F(EventParseTest, PortTokensDecodeByTheReleaseLayout) {
  const std::string body = Pair("comp_hw_cage", "cage2") + Pair("comp_sw_port", "port73");
  ASSERT_EQ(0, Parse(body));
  EXPECT_EQ("cage2,port[1:1:1]", Tag("CompId").data);
  EXPECT_STREQ("port[1:1:1]", Engine().capture[1]);
  ASSERT_EQ(0, Parse(body + "<ReleaseLevel>2.3.1.45</ReleaseLevel>"));
  EXPECT_EQ("cage2,port[0:9:1]", Tag("CompId").data);
  ASSERT_EQ(0, Parse(body + "<ReleaseLevel>2.3.1</ReleaseLevel>"));
  EXPECT_EQ("cage2,port[1:1:1]", Tag("CompId").data);
}

TEST_F(EventParseTest, MoreThanTenComponentsKeepTheRestOfTheId) {
  std::string body, want;
  for (int i = 0; i < 12; ++i) body += Pair("comp_sw_port", "port" + std::to_string(i));
  for (int i = 0; i < 9; ++i) want += "port[0:" + std::to_string(i >> 3) + ":" + std::to_string(i & 7) + "],";
  ASSERT_EQ(0, Parse(body));
  EXPECT_EQ(want + "port9,port10,port11", Tag("CompId").data);
  EXPECT_EQ(kRawComponents, Engine().ComponentNumber);
  EXPECT_EQ(kRawComponents - 1, Engine().PortCompNumber);
}

}  // namespace
