#include "nd_munge.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// nDmunge's result and what it printed to standard error.
struct Munged {
  const char* result;
  std::string text;
  std::string stderrText;
};

Munged Munge(const std::string& text, int decode, int key) {
  testing::internal::CaptureStderr();
  Munged m;
  m.result = nDmunge(text.c_str(), decode, key);
  m.text = m.result ? m.result : "";
  m.stderrText = testing::internal::GetCapturedStderr();
  return m;
}

TEST(NdMunge, KeysAtAndBeyondTheRangeEnds) {
  for (int key : {-1, 129}) {
    Munged m = Munge("abc", 0, key);
    EXPECT_EQ(m.result, nullptr) << key;
    EXPECT_EQ(m.stderrText, "nDmunge: invalid key value (" + std::to_string(key) + ")\n");
    EXPECT_EQ(Munge("414243", 1, key).result, nullptr);
  }
  // Key 0: plain hexadecimal, reversed. "AB" is 41 42, so "4142" backwards.
  EXPECT_EQ(Munge("AB", 0, 0).text, "2414");
  EXPECT_EQ(Munge("2414", 1, 0).text, "AB");
  // Key 128: 'A' + 128 = 0xC1, 'B' + 128 = 0xC2.
  EXPECT_EQ(Munge("AB", 0, 128).text, "2C1C");
  EXPECT_EQ(Munge("2C1C", 1, 128).text, "AB");
}

TEST(NdMunge, EveryByteRoundTripsWithEveryKey) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (int key : {0, 1, 43, 127, 128}) {
    // Texts over 255 bytes encode beyond the decoder's input limit: halves.
    for (const std::string& part : {all.substr(0, 128), all.substr(128)}) {
      Munged enc = Munge(part, 0, key);
      ASSERT_NE(enc.result, nullptr) << key;
      EXPECT_EQ(enc.text.size(), 2 * part.size());
      EXPECT_EQ(enc.text.find_first_not_of("0123456789ABCDEF"), std::string::npos);
      EXPECT_EQ(Munge(enc.text, 1, key).text, part) << key;
    }
  }
}

TEST(NdMunge, InputLengthLimit) {
  Munged ok = Munge(std::string(511, 'x'), 0, 43);
  ASSERT_NE(ok.result, nullptr);
  EXPECT_EQ(ok.text.size(), 1022u);
  EXPECT_EQ(ok.stderrText, "");

  Munged tooLong = Munge(std::string(512, 'x'), 0, 43);
  EXPECT_EQ(tooLong.result, nullptr);
  EXPECT_EQ(tooLong.stderrText, "nDmunge: input src length exceeds 511\n");
  EXPECT_EQ(ndmBuff[0], '\0');

  // Decoding: 510 hex digits are 255 bytes; 511 is odd; 512 is too long.
  std::string hex510;
  for (int i = 0; i < 255; ++i) hex510 += "4A";
  EXPECT_EQ(Munge(hex510, 1, 0).text, std::string(255, '\xA4'));
  EXPECT_EQ(Munge(hex510 + "4", 1, 0).stderrText, "nDmunge: malformed input\n");
  EXPECT_EQ(Munge(hex510 + "4A", 1, 0).stderrText, "nDmunge: input src length exceeds 511\n");
}

TEST(NdMunge, MalformedScrambledTextGivesNoResult) {
  for (const char* bad : {"414", "41G2", "4 42", "00", "B2", "41-2"}) {
    // "00" and "B2" (0x2B with key 43) decode to a NUL byte.
    Munged m = Munge(bad, 1, bad[0] == 'B' ? 43 : 0);
    EXPECT_EQ(m.result, nullptr) << bad;
    EXPECT_EQ(m.stderrText, "nDmunge: malformed input\n") << bad;
    EXPECT_EQ(ndmBuff[0], '\0') << bad;
  }
  // Lower-case digits are still hexadecimal.
  EXPECT_EQ(Munge("2a4a", 1, 0).text, "\xA4\xA2");
  EXPECT_EQ(Munge("", 1, 0).text, "");
}

}  // namespace
