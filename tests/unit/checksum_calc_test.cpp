#include <gtest/gtest.h>

#include <string>

#include "tools/checksum_calc.h"

namespace {

int latin1(void*, const char16_t* units, int count, uint8_t* out, int cap) {
  if (count > cap) return 0;
  for (int i = 0; i < count; i++) out[i] = units[i] <= 0xFF ? static_cast<uint8_t>(units[i]) : '?';
  return count;
}
const AnsiCodec kCodec = {nullptr, latin1};

struct Case {
  std::u16string input;
  int32_t kind, lower;
  std::u16string result, hex_text, asc_text, asc_copy, answer;
};

TEST(ChecksumCalc, ResultAndItsForms) {
  const Case cases[] = {
      {u"abc", kChecksumXor, 0, u"60", u"60,", u"36,30,", u"3630", u"answer HEX=60, : ASC=36,30,"},
      {u"abc", kChecksumCrc16, 0, u"4957", u"49,57,", u"34,39,35,37,", u"34393537",
       u"answer HEX=49,57, : ASC=34,39,35,37,"},
      {u"\xAB", kChecksumXor, 1, u"ab", u"ab,", u"61,62,", u"6162", u"answer HEX=ab, : ASC=61,62,"},
      {u"", kChecksumAdd, 0, u"00", u"00,", u"30,30,", u"3030", u"answer HEX=00, : ASC=30,30,"},
      // LRC reads the typed characters as hex pairs: 41 gives 256 - 0x41 = BF.
      {u"41", kChecksumLrc, 0, u"BF", u"BF,", u"42,46,", u"4246", u"answer HEX=BF, : ASC=42,46,"},
  };
  for (const Case& c : cases) {
    ChecksumResult r;
    checksum_calc_result(&kCodec, c.input.data(), static_cast<int32_t>(c.input.size()), c.kind, c.lower, &r);
    EXPECT_EQ(std::u16string(r.text, r.len), c.result);
    char16_t text[kChecksumTextUnits], answer[2 * kChecksumTextUnits];
    checksum_calc_hex_text(&r, text);
    EXPECT_EQ(std::u16string(text), c.hex_text);
    checksum_calc_asc_text(&r, text);
    EXPECT_EQ(std::u16string(text), c.asc_text);
    checksum_calc_asc_copy(&r, text);
    EXPECT_EQ(std::u16string(text), c.asc_copy);
    checksum_calc_hex_copy(&r, text);
    EXPECT_EQ(std::u16string(text), c.result);
    checksum_calc_answer(&r, answer);
    EXPECT_EQ(std::u16string(answer), c.answer);
  }
}

TEST(ChecksumCalc, NoResultYetCopiesNothing) {
  ChecksumResult r = {};
  char16_t text[kChecksumTextUnits];
  EXPECT_EQ(checksum_calc_asc_copy(&r, text), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(checksum_calc_hex_copy(&r, text), 0);
}

}  // namespace
