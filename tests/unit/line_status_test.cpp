#include "serial/line_status.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct Expect {
  LineColumn column;
  uint32_t flag;
  int x, y, label;
};

const Expect kAll[] = {
    {kLineColumnErrors, 0x0010, 10, 10, 401},  {kLineColumnErrors, 0x0008, 10, 30, 402},
    {kLineColumnErrors, 0x0002, 10, 50, 403},  {kLineColumnErrors, 0x8000, 10, 70, 404},
    {kLineColumnErrors, 0x0400, 10, 90, 405},  {kLineColumnErrors, 0x0001, 10, 110, 406},
    {kLineColumnErrors, 0x0004, 10, 130, 407}, {kLineColumnErrors, 0x0100, 10, 150, 408},
    {kLineColumnHolds, kHoldCts, 145, 10, 409},  {kLineColumnHolds, kHoldDsr, 145, 30, 410},
    {kLineColumnHolds, kHoldRlsd, 145, 50, 412}, {kLineColumnHolds, kHoldXoff, 145, 70, 413},
    {kLineColumnHolds, kHoldXoffSent, 145, 90, 414}, {kLineColumnHolds, kHoldEof, 145, 110, 415},
    {kLineColumnHolds, kHoldTxim, 145, 130, 416},
    {kLineColumnModem, 0x10, 305, 10, 417}, {kLineColumnModem, 0x20, 305, 30, 418},
    {kLineColumnModem, 0x40, 305, 50, 419}, {kLineColumnModem, 0x80, 305, 70, 420},
};

int count(LineColumn column) { return column == kLineColumnErrors ? 8 : column == kLineColumnHolds ? 7 : 4; }

// Each flag lights exactly its own circle, at its own place, and none other.
TEST(LineStatus, EachFlagLightsOnlyItsCircle) {
  for (const Expect& e : kAll) {
    LineIndicator out[kLineColumnMax];
    int n = line_status_column(e.column, e.flag, out);
    ASSERT_EQ(n, count(e.column));
    int lit = 0;
    for (int i = 0; i < n; i++) {
      if (!out[i].on) continue;
      lit++;
      EXPECT_EQ(out[i].x, e.x) << std::hex << e.flag;
      EXPECT_EQ(out[i].y, e.y) << std::hex << e.flag;
      EXPECT_EQ(out[i].label, e.label) << std::hex << e.flag;
    }
    EXPECT_EQ(lit, 1) << std::hex << e.flag;
  }
}

TEST(LineStatus, AllAndNoneAndForeignBits) {
  for (LineColumn column : {kLineColumnErrors, kLineColumnHolds, kLineColumnModem}) {
    LineIndicator out[kLineColumnMax];
    int n = line_status_column(column, 0xFFFFFFFFu, out);
    for (int i = 0; i < n; i++) EXPECT_EQ(out[i].on, 1) << column << " " << i;
    n = line_status_column(column, 0, out);
    for (int i = 0; i < n; i++) EXPECT_EQ(out[i].on, 0) << column << " " << i;
  }
  // Flags the dialog has no circle for light nothing: CE_PTO, CE_DNS, CE_OOP
  // among the errors; bits above fTxim among the holds; the modem's delta bits.
  struct {
    LineColumn column;
    uint32_t bits;
  } foreign[] = {{kLineColumnErrors, 0x0200 | 0x0800 | 0x1000 | 0x00E0},
                 {kLineColumnHolds, ~0x7Fu},
                 {kLineColumnModem, 0x0F | 0xFF00}};
  for (const auto& f : foreign) {
    LineIndicator out[kLineColumnMax];
    int n = line_status_column(f.column, f.bits, out);
    for (int i = 0; i < n; i++) EXPECT_EQ(out[i].on, 0) << f.column << " " << i;
  }
}

TEST(LineStatus, EveryLabelOnceAndGlyphs) {
  std::set<int> labels;
  for (LineColumn column : {kLineColumnErrors, kLineColumnHolds, kLineColumnModem}) {
    LineIndicator out[kLineColumnMax];
    int n = line_status_column(column, 0, out);
    for (int i = 0; i < n; i++) labels.insert(out[i].label);
  }
  std::set<int> expected;
  for (int id = 401; id <= 420; id++)
    if (id != 411) expected.insert(id);
  EXPECT_EQ(labels, expected);
  EXPECT_EQ(line_status_glyph(1), u'\u25CF');
  EXPECT_EQ(line_status_glyph(0), u'\u25CB');
}

std::u16string title(const char16_t* base, int channel, size_t size) {
  char16_t out[64];
  for (auto& c : out) c = u'#';
  line_status_title(base, channel, out, size);
  return std::u16string(out);
}

TEST(LineStatus, TitleNamesTheChannelAndFits) {
  EXPECT_EQ(title(u"Line Status", 1, 64), u"Line Status (CH1)");
  EXPECT_EQ(title(u"回線状態", 2, 64), u"回線状態 (CH2)");
  EXPECT_EQ(title(u"", 2, 64), u" (CH2)");
  EXPECT_EQ(title(u"Line", 1, 8), u"Line (C");  // 7 units and the terminator
  EXPECT_EQ(title(u"Line Status", 1, 4), u"Lin");
  EXPECT_EQ(title(u"Line", 2, 1), u"");
}

}  // namespace
