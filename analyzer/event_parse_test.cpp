// Event file parsing: the cut, the flag rules of the tag table, drops and
// refusals, the exit routines and the decoding after the parse, on a
// hand-built table (no database: the translation is a table of the test's).
#include "event_parse.h"

#include <string>

#include "engine_test_fixture.h"
#include "tag_exits.h"

namespace {

int g_lookups = 0;

int FakeTranslate(long, const char* field, const char* value, char* data1, size_t size, bool* is_null) {
  ++g_lookups;
  static const struct { const char* from; const char* to; } kRows[] = {
      {"comp_hw_disk", "Disk"}, {"comp_sw_port", "Port"}, {"comp_hw_cage", "Cage"},
      {"comp_hw_cage_sled", "Sled"}, {"comp_sw_pd", "PD"}};
  if (std::string(field) != "CompType") return 100;
  if (std::string(value) == "dberror") return -400;
  for (const auto& row : kRows) {
    if (std::string(value) == row.from) {
      std::snprintf(data1, size, "%s", row.to);
      *is_null = false;
      return 0;
    }
  }
  return 100;
}

class EventParseTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_lookups = 0;
    SetTagTranslateLookup(FakeTranslate);
    InstallTags({
        {"Alias", flag_redirect | flag_catdata, ",", "Target"},
        {"Cat", flag_catdata, ","},
        {"CompId", flag_catdata | flag_makehex, ",", nullptr, Exit_translateCID},
        {"CompName", 0, "{", nullptr, Exit_endingSeparator},
        {"CompType", flag_catdata, ",", nullptr, Exit_captureRawComponent},
        {"Drop", flag_droptag},
        {"Event"},
        {"Nest"},
        {"Quiet", flag_nodata},
        {"ReleaseLevel"},
        {"Rep", flag_repdata},
        {"Sev"},
        {"Target"},
        {"Type"},
    });
  }

  // The steps of the event analysis from the file text to the trim.
  int ParseFile(const std::string& file) {
    std::string xml;
    int rc = CutEventXml(file, xml);
    if (rc != 0) return rc;
    EventXmlParser parser;
    if ((rc = PrepareEventXml(xml, parser)) != 0) return rc;
    ResetEventParse(0);
    if ((rc = ParseEventXml(parser)) != 0) return rc;
    DecodePorts();
    TrimTagValues();
    return 0;
  }
  int Parse(const std::string& body) {
    return ParseFile("Formatted text\nXML FORMAT:\n<Event>" + body + "</Event>\n");
  }

  // `depth` open elements (Event and Nests) around `inner`, then `after`
  // as the next child of Event.
  static std::string Nested(int depth, const std::string& inner, const std::string& after = "") {
    std::string open, close;
    for (int i = 1; i < depth; ++i) {
      open += "<Nest>";
      close += "</Nest>";
    }
    return "Formatted text\nXML FORMAT:\n<Event>" + open + inner + close + after + "</Event>";
  }
};

// ------------------------------------------------------------ flag rules

TEST_F(EventParseTest, RepeatedElementsKeepTheFirstReplaceOrConcatenate) {
  ASSERT_EQ(0, Parse("<Sev>first</Sev><Sev>second</Sev><Rep>a</Rep><Rep>b</Rep>"
                     "<Cat>a</Cat><Cat>b</Cat><Type/><Type>late</Type>"));
  EXPECT_EQ("first", Tag("Sev").data);
  EXPECT_TRUE(Tag("Sev").flags & TAG_KEEP_FIRST);
  EXPECT_EQ("b", Tag("Rep").data);
  EXPECT_EQ("a,b", Tag("Cat").data);
  // An earlier occurrence without text leaves nothing to keep.
  EXPECT_EQ("late", Tag("Type").data);
}

TEST_F(EventParseTest, RedirectFillsTheTargetUnderTheElementsOwnFlags) {
  ASSERT_EQ(0, Parse("<Alias>x</Alias><Alias>y</Alias><Target>z</Target>"));
  EXPECT_EQ("x,y", Tag("Target").data);  // Alias's catdata and separator
  EXPECT_TRUE(HasData("Target"));
  EXPECT_TRUE(Tag("Target").flags & TAG_KEEP_FIRST);  // its own rule: keep first
  EXPECT_EQ("<no value>", Tag("Alias").data);
  EXPECT_FALSE(HasData("Alias"));

  ASSERT_EQ(0, Parse("<Target>z</Target><Alias>x</Alias>"));
  EXPECT_EQ("z,x", Tag("Target").data);
  EXPECT_FALSE(Tag("Target").flags & TAG_KEEP_FIRST) << "per-event bits are reset";
}

TEST_F(EventParseTest, AbsentElementKeepsThePlaceholderEmptyOneHasNoData) {
  ASSERT_EQ(0, Parse("<Sev>x</Sev>"));
  ASSERT_EQ(0, Parse("<Type/><Quiet>ignored</Quiet>"));
  EXPECT_EQ("<no value>", Tag("Sev").data) << "values do not leak into the next event";
  EXPECT_FALSE(HasData("Sev"));
  EXPECT_EQ("", Tag("Type").data);
  EXPECT_FALSE(HasData("Type"));
  EXPECT_EQ("", Tag("Quiet").data);
  EXPECT_FALSE(HasData("Quiet"));
  EXPECT_EQ("<no value>", Tag("RV3").data);
}

TEST_F(EventParseTest, DroppedSubtreeNeverReachesTheTableNorTheLog) {
  ASSERT_EQ(0, Parse("<Drop>own<Sev>s</Sev><Bogus><Type>t</Type></Bogus></Drop><Rep>r</Rep>"));
  EXPECT_EQ("own", Tag("Drop").data);
  EXPECT_EQ("<no value>", Tag("Sev").data);
  EXPECT_EQ("<no value>", Tag("Type").data);
  EXPECT_EQ("r", Tag("Rep").data);
  EXPECT_EQ(0, Count(Log(), "unknown XML tag"));
  EXPECT_EQ("", Alerts());
}

TEST_F(EventParseTest, UnknownElementIsLoggedEachTimeAndMarksTheEventOnce) {
  ASSERT_EQ(0, Parse("<Bogus><Sev>inner</Sev></Bogus><Bogus/>"));
  EXPECT_EQ(2, Count(Log(), "QDA0040 A Message 0000002A: Encountered unknown XML tag 'Bogus'"));
  EXPECT_EQ("inner", Tag("Sev").data) << "an unknown element does not drop its children";
  EXPECT_EQ(1, Count(Alerts(), "\"abstract\":\"SN1234 EVENT parse error\""));
  EXPECT_EQ(1, Count(Alerts(), "Source file: /sp/store/e1"));
}

TEST_F(EventParseTest, TenOpenElementsFitAnEleventhIsRefusedWithItsSubtree) {
  ASSERT_EQ(0, ParseFile(Nested(10, "deep")));
  EXPECT_EQ("deep", Tag("Nest").data);
  EXPECT_EQ("", Alerts());

  ASSERT_EQ(0, ParseFile(Nested(11, "<Sev>lost</Sev>", "<Rep>after</Rep>")));
  EXPECT_EQ("<no value>", Tag("Sev").data);
  EXPECT_EQ("after", Tag("Rep").data) << "the stack is whole again after the refused subtree";
  EXPECT_EQ(1, Count(Log(), "nested deeper than 10"));
  EXPECT_EQ(1, Count(Alerts(), "SN1234 EVENT parse error"));

  ASSERT_EQ(0, ParseFile(Nested(60, "x", "<Rep>after</Rep>")));
  EXPECT_EQ(2, Count(Log(), "nested deeper than 10")) << "one message per refused subtree";
}

TEST_F(EventParseTest, ValuesAreTrimmedOnlyWhereTheEventGaveData) {
  ASSERT_EQ(0, Parse("\n  <Sev> \t x y \n</Sev>\n"));
  EXPECT_EQ("x y", Tag("Sev").data);
  EXPECT_EQ("", Tag("Event").data) << "the whitespace between children reached the parent";
  EXPECT_TRUE(HasData("Event"));
  EXPECT_EQ("<no value>", Tag("Type").data);
}

// ------------------------------------------------------ cut and parser

TEST_F(EventParseTest, CutSplitsFormattedTextXmlAndAddedData) {
  std::string xml;
  ASSERT_EQ(0, CutEventXml("\n Head line\nXML FORMAT:\n<Event><Sev>1</Sev></Event>\nshowcage\n\n", xml));
  const AnalysisResult& r = Engine().result;
  EXPECT_EQ("Head line\nXML FORMAT:\n<Event><Sev>1</Sev></Event>\nshowcage", r.AText);
  EXPECT_EQ("Head line\n", r.AFormattedText);
  EXPECT_EQ("\nXML FORMAT:\n<Event><Sev>1</Sev></Event>\nshowcage", r.AXMLText);
  EXPECT_EQ("<Event><Sev>1</Sev></Event>", xml);
  EXPECT_EQ("\nshowcage", r.AAddedData);

  Engine().result.AExtraText = "stale";
  EXPECT_EQ(-1, CutEventXml("no marker here\nXML FORMAT: <Event/>", xml));
  EXPECT_EQ(1, Count(Log(), "QDA0040 2 Message 0000002A: Unable to find XML at all"));
  EXPECT_EQ("no marker here\nXML FORMAT: <Event/>", Engine().result.AText);
  EXPECT_EQ("stale", Engine().result.AExtraText) << "nothing but AText is touched";
}

TEST_F(EventParseTest, MalformedXmlIsARetryWithTheParsersWords) {
  EXPECT_EQ(1, Parse("<Sev>x</Type>"));
  EXPECT_EQ(1, Count(Log(), "QDA0040 2 Message 0000002A: mismatched tag"));
  EventXmlParser unused;
  EXPECT_EQ(1, ParseEventXml(unused));
}

TEST_F(EventParseTest, ForbiddenAndMalformedBytesAreScrubbedNotFatal) {
  ASSERT_EQ(0, Parse(std::string("<Sev>a\x01") + "b\xff" + std::string(1, '\0') + "c</Sev>"));
  EXPECT_EQ("ab?c", Tag("Sev").data);
}

// ----------------------------------------------------------- exits

TEST_F(EventParseTest, EndingSeparatorClosesOpenersAndRepeatsOthers) {
  const char* const cases[][2] = {{"(", "n)"}, {"{", "n}"}, {"[", "n]"}, {"<", "n>"},
                                  {"|", "n|"}, {"((", "n(("}, {"", "n"}};
  for (const auto& c : cases) {
    Tag("CompName").separator = c[0];
    ASSERT_EQ(0, Parse("<CompName>n</CompName>"));
    EXPECT_EQ(c[1], Tag("CompName").data) << "separator " << c[0];
  }
}

TEST_F(EventParseTest, ComponentTypesAreRecordedRawAndTranslatedPerSegment) {
  ASSERT_EQ(0, Parse("<CompType>comp_hw_cage</CompType><CompType>comp_sw_port</CompType>"));
  EXPECT_EQ("Cage,Port", Tag("CompType").data);
  EXPECT_EQ(2, Engine().ComponentNumber);
  EXPECT_EQ("comp_hw_cage", Engine().RawComponent[0]);
  EXPECT_EQ("comp_sw_port", Engine().RawComponent[1]);
}

TEST_F(EventParseTest, TranslationMissesAndErrorsKeepTheValue) {
  std::string longer(300, 'x');
  ASSERT_EQ(0, Parse("<CompType>comp_weird</CompType><CompType>dberror</CompType><CompType>" +
                     longer + "</CompType>"));
  EXPECT_EQ("comp_weird,dberror," + longer, Tag("CompType").data);
  EXPECT_EQ(2, g_lookups) << "a value longer than the table's column is not looked up";
  EXPECT_EQ(1, Count(Alerts(), "\"urgency\":\"L\",\"abstract\":\"SN1234 'CompType' 'comp_weird' not found\""));
  EXPECT_EQ(1, Count(Alerts(), "'CompType' '" + longer + "' not found"));
  EXPECT_EQ(1, Count(Log(), "QDZ0100 2 Database error"));
  EXPECT_EQ(1, Count(Log(), "translate filetype 100 tag CompType value 'dberror'"));
  EXPECT_TRUE(st_.reconnect);
}

TEST_F(EventParseTest, DiskIdNumberBecomesSixteenHexDigits) {
  ASSERT_EQ(0, Parse("<CompType>comp_hw_disk</CompType><CompId>pd1234</CompId>"));
  EXPECT_EQ("pd00000000000004D2", Tag("CompId").data);
  ASSERT_EQ(0, Parse("<CompType>comp_hw_disk</CompType><CompId>pdabc</CompId>"));
  EXPECT_EQ("pdabc", Tag("CompId").data);
  ASSERT_EQ(0, Parse("<CompType>comp_hw_disk</CompType><CompId>p</CompId>"));
  EXPECT_EQ("p", Tag("CompId").data);
  ASSERT_EQ(0, Parse("<CompType>comp_hw_cage</CompType><CompId>c1</CompId>"
                     "<CompType>comp_hw_disk</CompType><CompId>pd-1</CompId>"));
  EXPECT_EQ("c1,pdFFFFFFFFFFFFFFFF", Tag("CompId").data);
}

TEST_F(EventParseTest, CageSledIdInALaterSegmentBecomesItsPosition) {
  auto sled = [](unsigned long long low, unsigned long long group, unsigned long long b40,
                 unsigned long long b48) {
    return std::to_string(low | group << 32 | b40 << 40 | b48 << 48);
  };
  const std::string head = "<CompType>comp_hw_cage</CompType><CompId>cage2</CompId>"
                           "<CompType>comp_hw_cage_sled</CompType><CompId>sl";
  const struct { std::string number, want; } cases[] = {
      {sled(3, 1, 5, 2), "cage2,HD[3:0.5:2]"},
      {sled(3, 2, 5, 2), "cage2,HD[3:1.5:2]"},
      {sled(7, 9, 0, 1), "cage2,HD[7:0:1]"},
      {sled(0xFFFFFFFAull, 1, 5, 2), "cage2,HD?"},
      {"xyz", "cage2,slxyz"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(0, Parse(head + c.number + "</CompId>"));
    EXPECT_EQ(c.want, Tag("CompId").data) << c.number;
  }
  // In the first segment the id is not a sled position.
  ASSERT_EQ(0, Parse("<CompType>comp_hw_cage_sled</CompType><CompId>sl" + sled(3, 1, 5, 2) + "</CompId>"));
  EXPECT_EQ("sl" + sled(3, 1, 5, 2), Tag("CompId").data);
}

TEST_F(EventParseTest, PortTokensDecodeByTheReleaseLayout) {
  const std::string body = "<CompType>comp_hw_cage</CompType><CompId>cage2</CompId>"
                           "<CompType>comp_sw_port</CompType><CompId>port73</CompId>";
  ASSERT_EQ(0, Parse(body));
  EXPECT_EQ("cage2,port[1:1:1]", Tag("CompId").data);
  EXPECT_STREQ("port[1:1:1]", Engine().capture[1]);
  ASSERT_EQ(0, Parse(body + "<ReleaseLevel>2.3.1.45</ReleaseLevel>"));
  EXPECT_EQ("cage2,port[0:9:1]", Tag("CompId").data);
  ASSERT_EQ(0, Parse(body + "<ReleaseLevel>2.3.1</ReleaseLevel>"));
  EXPECT_EQ("cage2,port[1:1:1]", Tag("CompId").data);
}

TEST_F(EventParseTest, IdBeforeAnyTypeAndOverlongListsAreLeftIntact) {
  ASSERT_EQ(0, Parse("<CompId>pd1234</CompId>"));
  EXPECT_EQ("pd1234", Tag("CompId").data);

  std::string body, want;
  for (int i = 0; i < 12; ++i) {
    body += "<CompType>comp_sw_port</CompType><CompId>port" + std::to_string(i) + "</CompId>";
  }
  ASSERT_EQ(0, Parse(body));
  for (int i = 0; i < 9; ++i) want += "port[0:" + std::to_string(i >> 3) + ":" + std::to_string(i & 7) + "],";
  EXPECT_EQ(want + "port9,port10,port11", Tag("CompId").data);
  EXPECT_EQ(kRawComponents, Engine().ComponentNumber);
  EXPECT_EQ(kRawComponents - 1, Engine().PortCompNumber);
}

}  // namespace
