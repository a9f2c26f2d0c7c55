#include "serial/dcb_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string shown(int i, const LineDcb& d, const LineTimeouts& t) {
  char16_t out[kDcbTextUnits];
  dcb_field_show(i, &d, &t, out);
  return out;
}

// A port as an open leaves it: no flow control, the fixed limits,
// characters and time-outs.
LineDcb opened() {
  LineDcb d = {};
  d.baud_rate = 9600;
  d.flags = 0x0011;
  d.xon_lim = 2048, d.xoff_lim = 512;
  d.byte_size = 8;
  d.xon_char = 0x11, d.xoff_char = 0x13, d.evt_char = 0x0D;
  return d;
}

int index_of(int id) {
  for (int i = 0; i < kDcbFields; i++)
    if (kDcbField[i].id == id) return i;
  return -1;
}

TEST(DcbFields, ShownAsTheTableSays) {
  LineDcb d = opened();
  d.flags |= (3u << 12) | (5u << 15);
  d.error_char = 0xAB;
  LineTimeouts t = kLineTimeouts;
  t.write_total_constant = 0xFFFFFFFF;
  d.baud_rate = 3000000;
  const char16_t* expect[kDcbFields] = {u"1",  u"3",  u"5",       u"2048", u"512", u"11",  u"13",
                                        u"ab", u"0",  u"d",       u"3000000", u"8", u"0", u"0",
                                        u"100", u"2", u"100",     u"10",   u"-1"};
  for (int i = 0; i < kDcbFields; i++) EXPECT_EQ(shown(i, d, t), expect[i]) << kDcbField[i].name;
}

TEST(DcbFields, ShowThenReadLeavesEveryFieldUnchanged) {
  LineDcb samples[3] = {opened(), opened(), {}};
  samples[1].flags = 0xFFFFFFFF;  // every flag, fDummy2 all ones
  samples[1].xon_lim = 0xFFFF;
  samples[1].xon_char = 0xFF;
  samples[1].baud_rate = 0x80000000;
  samples[1].stop_bits = 2, samples[1].parity = 4, samples[1].byte_size = 255;
  LineTimeouts times[3] = {kLineTimeouts, {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0, 1}, {}};
  for (int k = 0; k < 3; k++) {
    LineDcb d = samples[k];
    LineTimeouts t = times[k];
    char16_t text[kDcbFields][kDcbTextUnits];
    const char16_t* texts[kDcbFields];
    for (int i = 0; i < kDcbFields; i++) {
      dcb_field_show(i, &d, &t, text[i]);
      texts[i] = text[i];
    }
    uint8_t checked[kDcbChecks];
    for (int i = 0; i < kDcbChecks; i++) checked[i] = (d.flags & kDcbCheck[i].bit) != 0;
    LineDcb back = {};
    LineTimeouts tback = {};
    back.flags = d.flags ^ 0x7FFF;  // every low flag wrong before the read
    ASSERT_EQ(dcb_form_read(checked, texts, &back, &tback), -1) << k;
    EXPECT_EQ(back.flags, d.flags) << k;
    EXPECT_EQ(back.baud_rate, d.baud_rate);
    EXPECT_EQ(back.xon_lim, d.xon_lim);
    EXPECT_EQ(back.xoff_lim, d.xoff_lim);
    EXPECT_EQ(back.byte_size, d.byte_size);
    EXPECT_EQ(back.parity, d.parity);
    EXPECT_EQ(back.stop_bits, d.stop_bits);
    EXPECT_EQ(back.xon_char, d.xon_char);
    EXPECT_EQ(back.xoff_char, d.xoff_char);
    EXPECT_EQ(back.error_char, d.error_char);
    EXPECT_EQ(back.eof_char, d.eof_char);
    EXPECT_EQ(back.evt_char, d.evt_char);
    EXPECT_EQ(tback.read_interval, t.read_interval);
    EXPECT_EQ(tback.read_total_multiplier, t.read_total_multiplier);
    EXPECT_EQ(tback.read_total_constant, t.read_total_constant);
    EXPECT_EQ(tback.write_total_multiplier, t.write_total_multiplier);
    EXPECT_EQ(tback.write_total_constant, t.write_total_constant);
  }
}

TEST(DcbFields, EachCheckBoxCarriesItsOwnBit) {
  uint32_t all = 0;
  for (int i = 0; i < kDcbChecks; i++) {
    EXPECT_EQ(kDcbCheck[i].id, 201 + i);
    EXPECT_EQ(kDcbCheck[i].bit & (kDcbCheck[i].bit - 1), 0u);  // one bit
    EXPECT_EQ(all & kDcbCheck[i].bit, 0u);
    all |= kDcbCheck[i].bit;
  }
  // Only the two 2-bit controls and fDummy2 are not check boxes.
  EXPECT_EQ(all, 0x7FFFu & ~((3u << 4) | (3u << 12)));
}

TEST(DcbFields, ReadAcceptsNumbersThatFit) {
  struct Case {
    int id;
    const char16_t* text;
    uint32_t flags;  // expected flag word from 0x0011
    uint32_t value;  // expected field value where not a flag field
  } cases[] = {
      {321, u"3", 0x0031, 0},       {321, u"0", 0x0001, 0},        {322, u"2", 0x2011, 0},
      {323, u"1", 0x8011, 0},       {323, u"131071", 0xFFFF8011, 0},
      {324, u"65535", 0x0011, 65535}, {326, u"7f", 0x0011, 0x7F},  {326, u"FF", 0x0011, 0xFF},
      {326, u"0x1b", 0x0011, 0x1B}, {330, u" d ", 0x0011, 0x0D},   {331, u"115200", 0x0011, 115200},
      {331, u"-1", 0x0011, 0xFFFFFFFF}, {331, u"4294967295", 0x0011, 0xFFFFFFFF},
      {331, u"+19200", 0x0011, 19200}, {332, u"7", 0x0011, 7},     {339, u"-2147483648", 0x0011, 0x80000000},
  };
  for (const Case& c : cases) {
    LineDcb d = opened();
    LineTimeouts t = kLineTimeouts;
    int i = index_of(c.id);
    ASSERT_EQ(dcb_field_read(i, c.text, &d, &t), 0) << c.id;
    EXPECT_EQ(d.flags, c.flags) << c.id;
    // The value landed in its own field.
    uint32_t got = c.id == 324   ? d.xon_lim
                   : c.id == 326 ? d.xon_char
                   : c.id == 330 ? d.evt_char
                   : c.id == 331 ? d.baud_rate
                   : c.id == 332 ? d.byte_size
                   : c.id == 339 ? t.write_total_constant
                                 : c.value;
    EXPECT_EQ(got, c.value) << c.id;
  }
}

TEST(DcbFields, BadTextIsRefusedAndChangesNothing) {
  struct Case {
    int id;
    const char16_t* text;
  } cases[] = {
      {331, u""},      {331, u"abc"},   {331, u"96OO"},  {331, u"4294967296"}, {331, u"-2147483649"},
      {331, u"99999999999999999999"},   {321, u"4"},     {321, u"5"},          {322, u"-1"},
      {323, u"131072"}, {324, u"65536"}, {325, u"-1"},   {326, u"100"},        {326, u"g"},
      {326, u"-1"},    {326, u"0x"},    {332, u"256"},   {333, u"1.5"},        {334, u" "},
  };
  for (const Case& c : cases) {
    LineDcb d = opened();
    LineTimeouts t = kLineTimeouts;
    int i = index_of(c.id);
    EXPECT_EQ(dcb_field_read(i, c.text, &d, &t), 1) << c.id;
    EXPECT_EQ(d.flags, 0x0011u);
    EXPECT_EQ(d.baud_rate, 9600u);
    EXPECT_EQ(d.xon_char, 0x11);
    EXPECT_EQ(d.byte_size, 8);
  }
}

TEST(DcbFields, FormReadIsAllOrNothing) {
  LineDcb d = opened();
  LineTimeouts t = kLineTimeouts;
  char16_t text[kDcbFields][kDcbTextUnits];
  const char16_t* texts[kDcbFields];
  for (int i = 0; i < kDcbFields; i++) {
    dcb_field_show(i, &d, &t, text[i]);
    texts[i] = text[i];
  }
  texts[index_of(331)] = u"19200";
  texts[index_of(338)] = u"ten";
  uint8_t checked[kDcbChecks] = {1, 1};  // fBinary and fOutxCtsFlow
  EXPECT_EQ(dcb_form_read(checked, texts, &d, &t), index_of(338));
  EXPECT_EQ(d.baud_rate, 9600u);
  EXPECT_EQ(d.flags, 0x0011u);
  texts[index_of(338)] = u"20";
  EXPECT_EQ(dcb_form_read(checked, texts, &d, &t), -1);
  EXPECT_EQ(d.baud_rate, 19200u);
  EXPECT_EQ(d.flags, 0x0015u);
  EXPECT_EQ(t.write_total_multiplier, 20u);
}

TEST(DcbFields, RangesNamedInTheMessage) {
  char16_t low[24], high[24];
  dcb_field_range(index_of(331), low, high);
  EXPECT_EQ(std::u16string(low), u"-2147483648");
  EXPECT_EQ(std::u16string(high), u"4294967295");
  dcb_field_range(index_of(326), low, high);
  EXPECT_EQ(std::u16string(high), u"ff");
  dcb_field_range(index_of(321), low, high);
  EXPECT_EQ(std::u16string(low), u"0");
  EXPECT_EQ(std::u16string(high), u"3");
}

TEST(DcbFields, StandardStateShowsNineSixHundredEightNoneOne) {
  LineDcb d = {};
  d.flags = 0xFFFFFFFF;
  LineTimeouts t = {};
  dcb_standard_state(&d, &t);
  const char16_t* expect[kDcbFields] = {u"1",  u"0", u"0",  u"2048", u"512", u"11",  u"13", u"0", u"0",  u"d",
                                        u"9600", u"8", u"0", u"0",   u"100", u"2",   u"100", u"10", u"1000"};
  for (int i = 0; i < kDcbFields; i++) EXPECT_EQ(shown(i, d, t), expect[i]) << kDcbField[i].name;
  for (int i = 0; i < kDcbChecks; i++) EXPECT_EQ((d.flags & kDcbCheck[i].bit) != 0, i == 0) << kDcbCheck[i].name;
}

}  // namespace
