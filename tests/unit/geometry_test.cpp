// Cell and row sizes of the data view, and areas too small for them.
#include "view/geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(ViewGeometry, CellsAndRowsAndTooSmallAreas) {
  ViewMetrics m{10, 9, 18, 45};
  EXPECT_EQ(view_cell_width(m), 18);
  EXPECT_EQ(view_strip_height(m), 10 + 36 + 5);
  EXPECT_EQ(view_row_pitch(m), 105);
  EXPECT_EQ(view_cells_per_row(800, m), (800 - 6 - 45 - 10) / 18);
  EXPECT_EQ(view_visible_rows(600, m), (600 - 40) / 105);
  EXPECT_EQ(view_cells_per_row(70, m), 0);
  EXPECT_EQ(view_cells_per_row(0, m), 0);
  EXPECT_EQ(view_visible_rows(100, m), 0);
  EXPECT_EQ(view_visible_rows(-5, m), 0);
  ViewMetrics none{0, 0, 0, 0};
  EXPECT_EQ(view_cells_per_row(800, none), 0);
}

}  // namespace
