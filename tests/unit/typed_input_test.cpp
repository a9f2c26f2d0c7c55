#include <gtest/gtest.h>

#include <string>

#include "tools/typed_input.h"

namespace {

int take(TypedInput* in, const std::u16string& s) { return typed_input_take(in, s.data(), static_cast<int>(s.size())); }

TEST(TypedInput, AscAndHexEntry) {
  TypedInput in = {};
  EXPECT_EQ(take(&in, u"abc"), 3);
  EXPECT_EQ(std::u16string(in.units, in.count), u"abc");
  hex_entry_set_mode(&in.entry, 1);
  EXPECT_EQ(take(&in, u"4"), 0);  // waits for its partner
  EXPECT_EQ(take(&in, u"1"), 1);
  EXPECT_EQ(in.units[3], 0x41);
  typed_input_backspace(&in);
  typed_input_backspace(&in);
  EXPECT_EQ(std::u16string(in.units, in.count), u"ab");
  EXPECT_EQ(in.units[2], 0);
  typed_input_clear(&in);
  EXPECT_EQ(in.count, 0);
  typed_input_backspace(&in);  // nothing to remove
  EXPECT_EQ(in.count, 0);
  EXPECT_EQ(in.entry.state, kEntryHexFirst);  // CLR keeps the entry state
}

TEST(TypedInput, FullInputTakesNothing) {
  TypedInput in = {};
  EXPECT_EQ(take(&in, std::u16string(300, u'x')), kInputUnits);
  EXPECT_EQ(in.count, kInputUnits);
  EXPECT_EQ(take(&in, u"y"), 0);
  EXPECT_EQ(in.units[kInputUnits - 1], u'x');
}

TEST(TypedInput, ViewFollowsTheEndUnlessScrolled) {
  TypedInput in = {};
  const struct { int count; int32_t view; } cases[] = {{0, 0}, {31, 0}, {32, 0}, {63, 0}, {64, 32}, {70, 32},
                                                      {256, 192}};
  for (const auto& c : cases) {
    in.count = c.count;
    EXPECT_EQ(typed_input_view(&in), c.view) << c.count;
  }
  in.count = 70;
  typed_input_view(&in);
  typed_input_scroll(&in, +1);
  EXPECT_EQ(typed_input_view(&in), 64);  // for one repaint
  EXPECT_EQ(typed_input_view(&in), 32);
  in.view_offset = 192;
  typed_input_scroll(&in, +1);
  EXPECT_EQ(in.view_offset, 192);
  in.view_offset = 0;
  typed_input_scroll(&in, -1);
  EXPECT_EQ(typed_input_view(&in), 0);
}

}  // namespace
