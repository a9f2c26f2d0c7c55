#include "codec/notation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Read {
  NotationResult r;
  std::string bytes;
};

Read read(const std::u16string& text, int most = 64) {
  uint8_t out[64] = {};
  Read got{notation_read(text.data(), static_cast<int>(text.size()), out, most), ""};
  got.bytes.assign(reinterpret_cast<const char*>(out), static_cast<size_t>(got.r.count));
  return got;
}

TEST(Notation, ReadsQuotedTextAndHexPairsWithBlanksBetween) {
  EXPECT_EQ(read(u"\"PING\"0D0a").bytes, "PING\r\n");
  EXPECT_EQ(read(u"50 49 4E 47").bytes, "PING");  // was 50 04 09 4E 04
  EXPECT_EQ(read(u"'say \"hi\"' 00").bytes, std::string("say \"hi\"\0", 9));
  EXPECT_EQ(read(u"\"\"41").bytes, "A");
  EXPECT_EQ(read(u"\t01\t").bytes, "\x01");
}

TEST(Notation, RefusesEverythingElseWithWhereAndWhy) {
  struct Case {
    std::u16string text;
    int fault, at;
  } cases[] = {
      {u"PING", kNotationNotHex, 0},           // was read as 00 00
      {u"41 4", kNotationLoneDigit, 3},
      {u"4 1", kNotationLoneDigit, 0},         // never a pair across a blank
      {u"4G", kNotationNotHex, 1},
      {u"41\"OK", kNotationOpenQuote, 2},
      {u"\"\u3042\"", kNotationNotByte, 1},
      {u"", kNotationEmpty, 0},
      {u"  \"\" ", kNotationEmpty, 0},
      {u"0x41", kNotationNotHex, 1},
  };
  for (const Case& c : cases) {
    const Read got = read(c.text);
    EXPECT_EQ(got.r.fault, c.fault) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(got.r.at, c.at) << std::string(c.text.begin(), c.text.end());
  }
  EXPECT_EQ(read(u"010203", 2).r.fault, kNotationTooLong);
  EXPECT_EQ(read(u"\"abc\"", 2).r.fault, kNotationTooLong);
  EXPECT_EQ(read(u"0102", 2).r.fault, kNotationOk);
}

TEST(Notation, WhatIsWrittenReadsBackByteForByte) {
  uint8_t all[256];
  for (int i = 0; i < 256; i++) all[i] = static_cast<uint8_t>(i);
  char16_t text[512];
  const int n = notation_write(all, 256, text);
  EXPECT_LE(n, 512);
  uint8_t back[256];
  const NotationResult r = notation_read(text, n, back, 256);
  ASSERT_EQ(r.fault, kNotationOk);
  ASSERT_EQ(r.count, 256);
  for (int i = 0; i < 256; i++) EXPECT_EQ(back[i], i);
  const uint8_t pong[] = {'P', 'O', 'N', 'G', 0x0D, '"', '"'};
  EXPECT_EQ(std::u16string(text, static_cast<size_t>(notation_write(pong, 7, text))), u"\"PONG\"0D2222");
}

}  // namespace
