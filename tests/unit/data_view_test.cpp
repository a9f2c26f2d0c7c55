#include "view/data_view.h"

#include "app/capture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CellPlacement, ByKindAndLineMonitorMode) {
  EXPECT_EQ(cell_place(1, 0), kPlaceUpper);
  EXPECT_EQ(cell_place(3, 0), kPlaceUpper);
  EXPECT_EQ(cell_place(2, 0), kPlaceLower);
  EXPECT_EQ(cell_place(4, 0), kPlaceLower);
  EXPECT_EQ(cell_place(1, 1), kPlaceUpper);
  EXPECT_EQ(cell_place(3, 1), kPlaceLower);
  EXPECT_EQ(cell_place(2, 1), kPlaceHidden);
  EXPECT_EQ(cell_place(4, 1), kPlaceHidden);
  for (uint8_t k : {128, 129, 130}) EXPECT_EQ(cell_place(k, 0), kPlaceMarker);
  for (uint8_t k : {0, 5, 127, 131, 255}) EXPECT_EQ(cell_place(k, 0), kPlaceEmpty);
  EXPECT_EQ(cell_text_slot(1), 18);
  EXPECT_EQ(cell_text_slot(2), 18);
  EXPECT_EQ(cell_text_slot(3), 19);
  EXPECT_EQ(cell_text_slot(4), 19);
}

TEST(ViewPage, FollowModeShowsTheEnd) {
  ViewPage p = view_page(1000, 40, 10, 1, 0);
  EXPECT_EQ(p.end_view_position, 600);
  EXPECT_EQ(p.first, 600);
  EXPECT_EQ(p.last, 1000);
  p = view_page(1001, 40, 10, 1, 0);  // 26 lines
  EXPECT_EQ(p.first, 640);
  p = view_page(100, 40, 10, 1, 0);  // fewer lines than rows
  EXPECT_EQ(p.end_view_position, 0);
  EXPECT_EQ(p.first, 0);
  p = view_page(0, 40, 10, 1, 0);
  EXPECT_GE(p.first, p.last);
}

TEST(ViewPage, ViewPositionRulesOutsideFollowMode) {
  ViewPage p = view_page(1000, 40, 10, 0, 80);
  EXPECT_EQ(p.first, 80);
  EXPECT_EQ(p.last, 480);
  p = view_page(1000, 40, 10, 0, 960);
  EXPECT_EQ(p.last, 1000);
  p = view_page(1000, 40, 10, 0, 2000);
  EXPECT_GE(p.first, p.last);
  p = view_page(131200, 1, 1000000, 0, 0);  // no overflow for huge pages
  EXPECT_EQ(p.last, 131200);
}

TEST(Cursor, WrapsFromTheLastRowToTheFirst) {
  int32_t row = 0, col = 38;
  EXPECT_EQ(view_cursor_advance(&row, &col, 40, 3), 0);
  EXPECT_EQ(col, 39);
  EXPECT_EQ(view_cursor_advance(&row, &col, 40, 3), 1);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(col, 0);
  row = 2, col = 39;
  EXPECT_EQ(view_cursor_advance(&row, &col, 40, 3), 1);
  EXPECT_EQ(row, 0);
  // A cursor left in column N by a full repaint wraps on its next cell.
  row = 1, col = 40;
  EXPECT_EQ(view_cursor_advance(&row, &col, 40, 3), 1);
  EXPECT_EQ(row, 2);
  EXPECT_EQ(col, 0);
}

TEST(RowLayout, LinesStackInOrder) {
  ViewMetrics m{10, 9, 18, 45};
  RowLayout l = view_row_layout(m);
  int32_t half = 10 + 36 + 5, pitch = 2 * half + 3;
  EXPECT_EQ(l.upper_index, 28);
  EXPECT_EQ(l.upper_char, 39);
  EXPECT_EQ(l.upper_hex, 57);
  EXPECT_EQ(l.marker, 75);
  EXPECT_EQ(l.lower_index, half + 28);
  EXPECT_EQ(l.lower_char_back, half + 39);
  EXPECT_EQ(l.lower_hex, half + 58);
  EXPECT_EQ(l.separator, pitch + 24);
  EXPECT_EQ(l.read_label, half - 9 - 18 + 25);
  EXPECT_EQ(l.send_label, half + 10 + 9 + 28);
  EXPECT_LT(l.lower_hex_back + 18, l.separator);
}

}  // namespace

namespace {

// Skipping k cells lands where k single advances land, and asks for a clear
// exactly when the last of those advances entered a new row.
TEST(Cursor, SkipMatchesSingleSteps) {
  for (int32_t n : {1, 3, 7}) {
    for (int32_t rows : {1, 2, 5}) {
      for (int32_t start_col = 0; start_col <= n; start_col++) {
        for (int64_t k = 1; k < 3 * n * rows + 2; k++) {
          int32_t r1 = rows - 1, c1 = start_col, r2 = rows - 1, c2 = start_col;
          int entered = 0;
          for (int64_t i = 0; i < k; i++) entered = view_cursor_advance(&r1, &c1, n, rows);
          int clear = view_cursor_skip(&r2, &c2, n, rows, k);
          ASSERT_EQ(r1, r2) << n << " " << rows << " " << start_col << " " << k;
          ASSERT_EQ(c1, c2) << n << " " << rows << " " << start_col << " " << k;
          ASSERT_EQ(entered, clear) << n << " " << rows << " " << start_col << " " << k;
        }
      }
    }
  }
  int32_t r = 0, c = 0;
  EXPECT_EQ(view_cursor_skip(&r, &c, 40, 10, 0), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(c, 0);
}

TEST(ViewSelection, RangeInEitherOrderHeldBelowTheWritePosition) {
  CaptureView v;
  int32_t first = -7, last = -7;
  EXPECT_EQ(view_selection_range(v, 100, &first, &last), 0) << "nothing selected at first";
  v.select_anchor = 40, v.select_end = 12;
  ASSERT_EQ(view_selection_range(v, 100, &first, &last), 1);
  EXPECT_EQ(first, 12);
  EXPECT_EQ(last, 40);
  // The capture was cleared or is shorter now: only records that exist.
  ASSERT_EQ(view_selection_range(v, 30, &first, &last), 1);
  EXPECT_EQ(last, 29);
  EXPECT_EQ(view_selection_range(v, 12, &first, &last), 0);
  v.select_anchor = v.select_end = 5;  // one record
  ASSERT_EQ(view_selection_range(v, 6, &first, &last), 1);
  EXPECT_EQ(first, 5);
  EXPECT_EQ(last, 5);
}

TEST(ViewSelection, FollowsAWrapAndLosesWhatLeftTheBuffer) {
  CaptureView v;
  v.select_anchor = 900, v.select_end = 1200;
  view_selection_shift(&v, 1000);  // the part before 1000 left the buffer
  int32_t first = 0, last = 0;
  ASSERT_EQ(view_selection_range(v, 5000, &first, &last), 1);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 200);
  view_selection_shift(&v, 1000);  // now all of it
  EXPECT_EQ(v.select_anchor, -1);
  EXPECT_EQ(v.select_end, -1);
  view_selection_shift(&v, 1000);  // nothing selected stays so
  EXPECT_EQ(view_selection_range(v, 5000, &first, &last), 0);
}

}  // namespace
