#include "text_util.h"

#include <gtest/gtest.h>

#include <expat.h>

#include <cstring>
#include <random>
#include <string>

#include "err_text.h"
#include "hw_arch.h"

namespace {

// --- trimming --------------------------------------------------------------

TEST(Trim, BothEndsLeftAndRight) {
  char out[32];
  EXPECT_EQ(3, Trim(out, sizeof out, " \t\nabc \r\n", nullptr));
  EXPECT_STREQ("abc", out);
  EXPECT_EQ(5, TrimLeft(out, sizeof out, " \t\nabc \n", nullptr));
  EXPECT_STREQ("abc \n", out);
  EXPECT_EQ(6, TrimRight(out, sizeof out, " \t\nabc \n", nullptr));
  EXPECT_STREQ(" \t\nabc", out);
  EXPECT_EQ(4, Trim(out, sizeof out, "xxa xbxy", "xy"));
  EXPECT_STREQ("a xb", out);
  EXPECT_EQ(3, Trim(out, sizeof out, " a ", ""));  // an empty set removes nothing
}

TEST(Trim, EmptyAndOnlyTrimmedCharacters) {
  char out[8] = "junk";
  EXPECT_EQ(0, Trim(out, sizeof out, "", nullptr));
  EXPECT_STREQ("", out);
  using TrimFn = int (*)(char*, size_t, const char*, const char*);
  TrimFn all[] = {Trim, TrimLeft, TrimRight};
  for (TrimFn fn : all) {
    std::strcpy(out, "junk");
    EXPECT_EQ(0, fn(out, sizeof out, " \t \n ", nullptr));
    EXPECT_STREQ("", out);
  }
}

TEST(Trim, OutputLengthIsNeverExceeded) {
  char out[8];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(0, Trim(out, 1, "  abc  ", nullptr));  // room for the NUL only
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ('#', out[1]);
  EXPECT_EQ(3, Trim(out, 4, " abc ", nullptr));  // exactly fits
  EXPECT_STREQ("abc", out);
  EXPECT_EQ(2, Trim(out, 3, " abc ", nullptr));  // cut
  EXPECT_STREQ("ab", out);
  EXPECT_EQ(-1, Trim(kTrimRefuse, out, 3, " abc ", -1, nullptr));
  EXPECT_STREQ("", out);
  EXPECT_EQ(3, TrimRight(kTrimRefuse, out, 4, "abc  ", -1, nullptr));
  EXPECT_EQ(-1, Trim(out, 0, "abc", nullptr));
  EXPECT_EQ(-1, Trim(nullptr, 4, "abc", nullptr));
  EXPECT_EQ(-1, Trim(out, 4, nullptr, nullptr));
}

TEST(Trim, CountedInputAndInPlace) {
  const char raw[] = {' ', 'a', 'b', ' ', 'c', 'd'};  // no NUL
  char out[8];
  EXPECT_EQ(2, Trim(kTrimCut, out, sizeof out, raw, 4, nullptr));
  EXPECT_STREQ("ab", out);
  EXPECT_EQ(0, Trim(kTrimCut, out, sizeof out, raw, 0, nullptr));
  char text[] = "   keep me  ";
  EXPECT_EQ(7, Trim(text, sizeof text, text, nullptr));
  EXPECT_STREQ("keep me", text);
}

// --- tokens ----------------------------------------------------------------

TEST(GetTokens, BlankSeparatedTextSkipsEmptyTokens) {
  char text[] = "  flusher_speed+0x000: \t 0   ok  ";
  char* tokens[4];
  ASSERT_EQ(3, GetTokens(text, " \t", tokens, 4, true, false));
  EXPECT_STREQ("flusher_speed+0x000:", tokens[0]);
  EXPECT_STREQ("0", tokens[1]);
  EXPECT_STREQ("ok", tokens[2]);
}

TEST(GetTokens, PositionalFieldsKeepEmptyTokens) {
  char text[] = "a,,b,";
  char* tokens[8];
  ASSERT_EQ(4, GetTokens(text, ",", tokens, 8, false, false));
  EXPECT_STREQ("a", tokens[0]);
  EXPECT_STREQ("", tokens[1]);
  EXPECT_STREQ("b", tokens[2]);
  EXPECT_STREQ("", tokens[3]);
  char lead[] = ",x";
  ASSERT_EQ(2, GetTokens(lead, ",", tokens, 8, false, false));
  EXPECT_STREQ("", tokens[0]);
  EXPECT_STREQ("x", tokens[1]);
}

TEST(GetTokens, EmptyAndOnlyDelimiters) {
  char* tokens[4] = {nullptr, nullptr, nullptr, nullptr};
  char empty[] = "";
  EXPECT_EQ(0, GetTokens(empty, " ", tokens, 4, true, false));
  EXPECT_EQ(0, GetTokens(empty, " ", tokens, 4, false, false));
  char blanks[] = " \t ";
  EXPECT_EQ(0, GetTokens(blanks, " \t", tokens, 4, true, false));
  char dots[] = "..";
  EXPECT_EQ(3, GetTokens(dots, ".", tokens, 4, false, false));
  char whole[] = "no delimiters";
  ASSERT_EQ(1, GetTokens(whole, nullptr, tokens, 4, true, false));
  EXPECT_STREQ("no delimiters", tokens[0]);
  EXPECT_EQ(-1, GetTokens(nullptr, " ", tokens, 4, true, false));
  EXPECT_EQ(-1, GetTokens(whole, " ", nullptr, 4, true, false));
  EXPECT_EQ(-1, GetTokens(whole, " ", tokens, -1, true, false));
  EXPECT_EQ(0, GetTokens(whole, " ", tokens, 0, true, false));
}

TEST(GetTokens, AtMostMaxTokensAreWritten) {
  char* sentinel = reinterpret_cast<char*>(0x1);
  char* tokens[4] = {nullptr, nullptr, nullptr, sentinel};
  char exact[] = "1.2.3";
  ASSERT_EQ(3, GetTokens(exact, ".", tokens, 3, false, false));
  EXPECT_STREQ("3", tokens[2]);
  EXPECT_EQ(sentinel, tokens[3]);

  char more[] = "1.2.3.4";
  ASSERT_EQ(3, GetTokens(more, ".", tokens, 3, false, false));
  EXPECT_STREQ("3", tokens[2]);  // the rest is dropped
  EXPECT_EQ(sentinel, tokens[3]);

  char rest[] = "a b  c d ";
  ASSERT_EQ(3, GetTokens(rest, " ", tokens, 3, true, true));
  EXPECT_STREQ("a", tokens[0]);
  EXPECT_STREQ("c d ", tokens[2]);  // the rest, unsplit
  EXPECT_EQ(sentinel, tokens[3]);

  // A release level has exactly four parts: asking for five tells.
  char* parts[5];
  char four[] = "2.3.1.77";
  EXPECT_EQ(4, GetTokens(four, ".", parts, 5, false, false));
  char six[] = "2.3.1.77.1.2";
  EXPECT_EQ(5, GetTokens(six, ".", parts, 5, false, false));
  char trailing[] = "1,";
  EXPECT_EQ(1, GetTokens(trailing, ",", parts, 1, false, false));
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

TEST(PrepTextForXML, ScrubDropsForbiddenControlCharacters) {
  for (int c = 0; c < 0x20; ++c) {
    std::string in = std::string("a") + static_cast<char>(c) + "b";
    bool allowed = c == 0x09 || c == 0x0A || c == 0x0D;
    EXPECT_EQ(allowed ? in : "ab", Scrub(in)) << c;
  }
  EXPECT_EQ("a\x7f\xc2\x80z", Scrub("a\x7f\xc2\x80z"));  // DEL and C1 controls are XML 1.0 text
  EXPECT_EQ("ab", Scrub("a\xef\xbf\xbe\xef\xbf\xbf" "b"));  // U+FFFE, U+FFFF
}

TEST(PrepTextForXML, ScrubMendsMalformedUtf8) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},  // é € 😀
      {"\xef\xbf\xbd\xf4\x8f\xbf\xbf", "\xef\xbf\xbd\xf4\x8f\xbf\xbf"},  // U+FFFD, U+10FFFF
      {"x\x80y", "x?y"},                        // stray continuation
      {"\xc0\x80", "??"},                       // overlong NUL
      {"\xc1\xbf", "??"},                       // overlong
      {"\xe0\x80\x80", "???"},                  // overlong three bytes
      {"\xf0\x80\x80\x80", "????"},             // overlong four bytes
      {"\xed\xa0\x80", "???"},                  // encoded surrogate
      {"\xf4\x90\x80\x80", "????"},             // above U+10FFFF
      {"\xf5\xff\xfe", "???"},                  // never in UTF-8
      {"a\xe2\x82", "a?"},                      // truncated at the end
      {"\xe2\x82" "A", "?A"},                   // truncated in the middle
      {"\xf0\x9f\x98", "?"},                    // truncated four-byte
      {"\xc3", "?"},
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

TEST(TextCase, AsciiLettersOnly) {
  char text[] = "Disk 7 \xc3\xa9tat ok";
  EXPECT_EQ(text, strupr(text));
  EXPECT_STREQ("DISK 7 \xc3\xa9TAT OK", text);
  EXPECT_EQ(text, strlwr(text));
  EXPECT_STREQ("disk 7 \xc3\xa9tat ok", text);
  EXPECT_EQ(nullptr, strupr(nullptr));
}

TEST(HWArch, ThisMachineHasACode) {
  char err[kErrTextSize] = "";
  char code = GetHWArch(err);
  EXPECT_NE(0, code) << err;
  EXPECT_EQ('X', HWArchCode("x86_64"));
  EXPECT_EQ('R', HWArchCode("armv7l"));
  EXPECT_EQ('A', HWArchCode("aarch64"));
  EXPECT_EQ(0, HWArchCode("vax"));
  EXPECT_EQ(0, HWArchCode(nullptr));
}

}  // namespace
