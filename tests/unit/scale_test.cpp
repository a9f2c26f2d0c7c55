// Sizes at 96 DPI scaled to the display, and the data view laid out with
// them at 100, 125, 150 and 200 %.
#include "ui/scale.h"

#include <gtest/gtest.h>

#include "view/data_view.h"
#include "view/geometry.h"

namespace {

TEST(Scale, PixelsRoundToTheNearest) {
  EXPECT_EQ(px(27, 96), 27);
  EXPECT_EQ(px(27, 120), 34);  // 33.75
  EXPECT_EQ(px(27, 144), 41);  // 40.5 rounds up
  EXPECT_EQ(px(27, 192), 54);
  EXPECT_EQ(px(-6, 144), -9);
  EXPECT_EQ(px(-3, 144), -5);  // -4.5 away from zero, as 4.5 rounds to 5
  EXPECT_EQ(px(1220, 0), 1220);  // an unknown DPI counts as 96
  EXPECT_EQ(px(2000000, 480), 10000000);
}

TEST(Scale, ToolbarStripNearestToTheScale) {
  EXPECT_EQ(toolbar_image_size(96), 16);
  EXPECT_EQ(toolbar_image_size(108), 16);
  EXPECT_EQ(toolbar_image_size(120), 24);  // 20: a tie takes the larger
  EXPECT_EQ(toolbar_image_size(144), 24);
  EXPECT_EQ(toolbar_image_size(168), 32);  // 28
  EXPECT_EQ(toolbar_image_size(192), 32);
  EXPECT_EQ(toolbar_image_size(288), 32);
}

// The fonts' measures grow with the scale; a layout at each DPI must keep
// every offset within the rounding of its parts (a pixel each) of the
// 96-DPI one scaled, its lines in order and apart, and the same grid in a
// window scaled with it, give or take the last cell or row.
TEST(Scale, DataViewLayoutAtEveryScale) {
  const ViewMetrics at96{12, 8, 20, 40};
  const RowLayout base = view_row_layout(at96);
  const int32_t base_pitch = view_row_pitch(at96);
  for (int32_t dpi : {96, 120, 144, 192}) {
    ViewMetrics m{px(12, dpi), px(8, dpi), px(20, dpi), px(40, dpi), dpi};
    const RowLayout l = view_row_layout(m);
    const double k = dpi / 96.0;
    EXPECT_EQ(view_cell_width(m), 2 * px(8, dpi));
    EXPECT_NEAR(view_row_pitch(m), base_pitch * k, 3.0) << dpi;
    const int32_t RowLayout::*lines[] = {&RowLayout::upper_index, &RowLayout::upper_char,  &RowLayout::upper_hex,
                                         &RowLayout::marker,      &RowLayout::lower_index, &RowLayout::lower_char,
                                         &RowLayout::lower_hex,   &RowLayout::separator};
    for (size_t i = 0; i < sizeof lines / sizeof lines[0]; i++) {
      EXPECT_NEAR(l.*lines[i], base.*lines[i] * k, 3.0) << dpi << " line " << i;
      if (i > 0) EXPECT_GT(l.*lines[i], l.*lines[i - 1]) << dpi << " line " << i;
    }
    // A line's background is a big-font line high and ends before the next.
    EXPECT_LE(l.upper_char_back + m.big_h, l.upper_hex_back);
    EXPECT_LE(l.lower_hex_back + m.big_h, l.separator);
    EXPECT_EQ(l.separator_lines, px(2, dpi));
    EXPECT_EQ(l.clear_bottom - l.clear_top, view_row_pitch(m) - px(4, dpi));
    EXPECT_NEAR(l.clear_bottom - l.clear_top, (base.clear_bottom - base.clear_top) * k, 2.0);
    EXPECT_NEAR(view_cells_per_row(px(1000, dpi), m), view_cells_per_row(1000, at96), 1) << dpi;
    EXPECT_NEAR(view_visible_rows(px(700, dpi), m), view_visible_rows(700, at96), 1) << dpi;
    if (dpi == 192) {  // twice as large, exactly
      EXPECT_EQ(view_row_pitch(m), 2 * base_pitch);
      EXPECT_EQ(l.marker, 2 * base.marker);
      EXPECT_EQ(view_cells_per_row(2000, m), view_cells_per_row(1000, at96));
    }
  }
}

}  // namespace
