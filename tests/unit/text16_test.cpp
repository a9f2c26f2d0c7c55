// Decimal values of the numbers typed into fields.
#include "app/text16.h"

#include <gtest/gtest.h>

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

}  // namespace
