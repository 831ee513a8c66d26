#include "text_util.h"

#include <gtest/gtest.h>

#include <expat.h>

#include <cstring>
#include <random>
#include <string>

#include "err_text.h"
#include "hw_arch.h"

namespace {

// --- trimming and tokens ------------------------------------------------

TEST(Trim, EndsEdgesAndOutputLength) {
  char out[8];
  EXPECT_EQ(3, Trim(out, sizeof out, " \t\nabc \r\n", nullptr));
  EXPECT_STREQ("abc", out);
  EXPECT_EQ(5, TrimLeft(out, sizeof out, " \t\nabc \n", nullptr));
  EXPECT_STREQ("abc \n", out);
  EXPECT_EQ(4, TrimRight(out, sizeof out, " abcxy", "xy"));
  EXPECT_STREQ(" abc", out);
  EXPECT_EQ(0, Trim(out, sizeof out, " \t \n ", nullptr));  // only trimmed characters
  EXPECT_EQ(0, TrimLeft(out, sizeof out, "", nullptr));
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(0, Trim(out, 1, "  abc  ", nullptr));  // room for the NUL only
  EXPECT_EQ('#', out[1]);
  EXPECT_EQ(3, Trim(out, 4, " abc ", nullptr));  // exactly fits
  EXPECT_EQ(2, Trim(out, 3, " abc ", nullptr));  // cut
  EXPECT_STREQ("ab", out);
  EXPECT_EQ(-1, Trim(kTrimRefuse, out, 3, " abc ", -1, nullptr));
  EXPECT_STREQ("", out);
  const char raw[] = {' ', 'a', 'b', ' ', 'c'};  // counted, no NUL
  EXPECT_EQ(2, Trim(kTrimCut, out, sizeof out, raw, 4, nullptr));
  EXPECT_STREQ("ab", out);
  char text[] = "   keep me  ";
  EXPECT_EQ(7, Trim(text, sizeof text, text, nullptr));  // in place
  EXPECT_STREQ("keep me", text);
}

TEST(GetTokens, EmptyTokensRunsAndLimits) {
  char* t[4];
  char blanks[] = "  state: \t 0   ok  ";
  ASSERT_EQ(3, GetTokens(blanks, " \t", t, 4, true, false));
  EXPECT_STREQ("0", t[1]);
  EXPECT_STREQ("ok", t[2]);
  char fields[] = "a,,b,";
  ASSERT_EQ(4, GetTokens(fields, ",", t, 4, false, false));
  EXPECT_STREQ("", t[1]);
  EXPECT_STREQ("b", t[2]);
  EXPECT_STREQ("", t[3]);
  char empty[] = "", only[] = " \t ", dots[] = "..";
  EXPECT_EQ(0, GetTokens(empty, " ", t, 4, false, false));
  EXPECT_EQ(0, GetTokens(only, " \t", t, 4, true, false));
  EXPECT_EQ(3, GetTokens(dots, ".", t, 4, false, false));

  char* sentinel = reinterpret_cast<char*>(0x1);
  char* u[4] = {nullptr, nullptr, nullptr, sentinel};
  char exact[] = "1.2.3", more[] = "1.2.3.4", rest[] = "a b  c d ";
  ASSERT_EQ(3, GetTokens(exact, ".", u, 3, false, false));
  ASSERT_EQ(3, GetTokens(more, ".", u, 3, false, false));
  EXPECT_STREQ("3", u[2]);  // the rest dropped
  ASSERT_EQ(3, GetTokens(rest, " ", u, 3, true, true));
  EXPECT_STREQ("c d ", u[2]);  // the rest, unsplit
  EXPECT_EQ(sentinel, u[3]);
  char trailing[] = "1,";
  EXPECT_EQ(1, GetTokens(trailing, ",", u, 1, false, false));
  EXPECT_EQ(-1, GetTokens(nullptr, " ", u, 3, true, false));
  EXPECT_EQ(-1, GetTokens(trailing, " ", u, -1, true, false));
}

// --- XML -------------------------------------------------------------------

bool ExpatAccepts(const std::string& content) {
  std::string doc = "<?xml version='1.0'?><r>" + content + "</r>";
  XML_Parser parser = XML_ParserCreate(nullptr);
  bool ok = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

std::string Scrub(std::string text) {
  EXPECT_GE(PrepTextForXML(text, "scrub"), 0);
  return text;
}

TEST(PrepTextForXML, ScrubMendsMalformedUtf8) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"a\x01\x1f\x7f\t\n\r" "b", "a\x7f\t\n\r" "b"},  // controls; DEL is XML text
      {"a\xef\xbf\xbe\xef\xbf\xbf" "b", "ab"},          // U+FFFE, U+FFFF
      {"\xc2\x80\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\xc2\x80\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},
      {"\xef\xbf\xbd\xf4\x8f\xbf\xbf", "\xef\xbf\xbd\xf4\x8f\xbf\xbf"},  // U+FFFD, U+10FFFF
      {"x\x80y", "x?y"},                        // stray continuation
      {"\xc0\x80", "??"},                       // overlong NUL
      {"\xe0\x80\x80", "???"},                  // overlong three bytes
      {"\xf0\x80\x80\x80", "????"},             // overlong four bytes
      {"\xed\xa0\x80", "???"},                  // encoded surrogate
      {"\xf4\x90\x80\x80", "????"},             // above U+10FFFF
      {"\xf5\xff\xfe", "???"},                  // never in UTF-8
      {"a\xe2\x82", "a?"},                      // truncated at the end
      {"\xe2\x82" "A", "?A"},                   // truncated in the middle
  };
  for (const Case& c : cases) {
    std::string got = Scrub(c.in);
    EXPECT_EQ(c.out, got) << c.in;
    EXPECT_TRUE(ExpatAccepts(got)) << c.in;
  }
}

TEST(PrepTextForXML, ScrubbedBytesAlwaysParseAndNeverGrow) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      std::string in = {static_cast<char>(a), static_cast<char>(b)};
      std::string out = Scrub(in);
      ASSERT_LE(out.size(), in.size());
      // Markup characters are the "meta" mode's business.
      if (a == '<' || a == '&' || b == '<' || b == '&') continue;
      ASSERT_TRUE(ExpatAccepts(out)) << a << " " << b;
    }
  }
  std::mt19937 random(20240229);
  for (int i = 0; i < 20000; ++i) {
    std::string in(1 + random() % 12, '\0');
    for (char& c : in) {
      c = static_cast<char>(random() % 2 ? 0x80 + random() % 0x80 : random() % 0x100);
      if (c == '<' || c == '&' || c == '>') c = 'x';
    }
    std::string out = Scrub(in);
    ASSERT_LE(out.size(), in.size());
    ASSERT_TRUE(ExpatAccepts(out)) << i;
  }
}

TEST(PrepTextForXML, ScrubInPlaceAndOtherModes) {
  char buffer[] = "<?xml version='1.0'?><Event>\x01" "bad\xff</Event>";
  EXPECT_EQ(2, PrepTextForXML(buffer, "scrub"));
  EXPECT_STREQ("<?xml version='1.0'?><Event>bad?</Event>", buffer);
  char meta[] = "a<b";
  EXPECT_EQ(-1, PrepTextForXML(meta, "meta"));  // would grow: refused in place
  EXPECT_STREQ("a<b", meta);

  std::string text = "Tom & \"Jerry\" <b>'s</b>";
  EXPECT_EQ(8, PrepTextForXML(text, "meta"));
  EXPECT_EQ("Tom &amp; &quot;Jerry&quot; &lt;b&gt;&apos;s&lt;/b&gt;", text);
  EXPECT_TRUE(ExpatAccepts(text));
  std::string same = "plain";
  EXPECT_EQ(0, PrepTextForXML(same, "meta"));
  EXPECT_EQ(-1, PrepTextForXML(same, "shred"));
  EXPECT_EQ(-1, PrepTextForXML(same, nullptr));
  EXPECT_EQ("plain", same);
}

// --- case and architecture ------------------------------------------------

TEST(TextCase, AsciiLettersOnlyAndTheArchitectureCode) {
  char text[] = "Disk 7 \xc3\xa9tat";
  EXPECT_STREQ("DISK 7 \xc3\xa9TAT", strupr(text));
  EXPECT_STREQ("disk 7 \xc3\xa9tat", strlwr(text));
  char err[kErrTextSize] = "";
  EXPECT_NE(0, GetHWArch(err)) << err;
  EXPECT_EQ('R', HWArchCode("armv7l"));
  EXPECT_EQ(0, HWArchCode("vax"));
}

}  // namespace
