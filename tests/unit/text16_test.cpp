// Decimal values of the numbers typed into fields.
#include "app/text16.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "app/commands.h"

namespace {

TEST(Text16, DecimalValuesOfFieldTexts) {
  EXPECT_EQ(text16_to_int(u"50", 4), 50);
  EXPECT_EQ(text16_to_int(u"12345", 4), 1234);  // a five-digit entry is read by its first four digits
  EXPECT_EQ(text16_to_int(u"", 4), 0);
  EXPECT_EQ(text16_to_int(u"abc", 7), 0);
  EXPECT_EQ(text16_to_int(u" -7x", 7), -7);
  EXPECT_EQ(text16_to_int(u"99999999999", 20), INT32_MAX);
  EXPECT_EQ(timer_repaint_period(text16_to_int(u"5000", 4)), 1000);
  EXPECT_EQ(timer_repaint_period(text16_to_int(u"", 4)), 100);
}

TEST(Text16, AMenuTextAsATitleLosesItsAccessKeyAndDots) {
  struct Case { const char16_t* in; const char16_t* out; } cases[] = {
      {u"&Record to Disk...", u"Record to Disk"}, {u"記録フォルダを開く(&F)...", u"記録フォルダを開く"},
      {u"Save && Quit", u"Save & Quit"}, {u"Wait\u2026", u"Wait"}, {u"", u""}, {u"&", u""}, {u"(&", u"("}};
  for (const Case& c : cases) {
    char16_t s[64];
    text16_copy(s, 64, c.in);
    text16_menu_plain(s);
    EXPECT_TRUE(text16_len(s) == text16_len(c.out) && std::equal(s, s + text16_len(s), c.out));
  }
}

}  // namespace
