// A window moved off a part of the screen it must leave clear.
#include "ui/place.h"

#include <gtest/gtest.h>

namespace {

TEST(Place, MovesToTheNearestSideThatLeavesTheMarkClear) {
  const PlaceRect work = {0, 0, 1280, 1024};
  int32_t x = 0, y = 0;
  // Clear already: stays.
  EXPECT_EQ(place_clear_of({100, 600, 600, 900}, {0, 100, 1000, 160}, work, 8, &x, &y), 0);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 600);
  // Over a row near the top: below it.
  EXPECT_EQ(place_clear_of({100, 50, 600, 350}, {0, 100, 1000, 160}, work, 8, &x, &y), 1);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 168);
  // Over a row near the bottom, no room below: above it.
  EXPECT_EQ(place_clear_of({100, 700, 600, 1000}, {0, 900, 1000, 960}, work, 8, &x, &y), 1);
  EXPECT_EQ(y, 900 - 8 - 300);
  // A mark as tall as the screen: beside it, on the side that fits.
  EXPECT_EQ(place_clear_of({700, 100, 1050, 400}, {0, 0, 900, 1024}, work, 8, &x, &y), 1);
  EXPECT_EQ(x, 908);
  EXPECT_EQ(y, 100);
  // Nowhere clear: inside the screen, covering least (above: 200 rows of
  // the mark, below: 276).
  EXPECT_EQ(place_clear_of({0, 100, 1280, 700}, {0, 400, 1280, 700}, work, 8, &x, &y), 1);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

}  // namespace
