// Cell metrics and the grid geometry of the main data view.
#pragma once

#include <cstdint>

#include "ui/scale.h"

struct ViewMetrics {
  int32_t small_h;  // height of "W" in the small font
  int32_t big_w;    // width of "W" in the big font
  int32_t big_h;    // height of "W" in the big font
  int32_t margin;   // width of "SEND:" in the big font: left edge of column 0
  int32_t dpi = kBaseDpi;  // the window's: the fixed sizes below are scaled to it
};

inline int32_t view_cell_width(const ViewMetrics& m) { return 2 * m.big_w; }
inline int32_t view_strip_height(const ViewMetrics& m) { return m.small_h + 2 * m.big_h + px(5, m.dpi); }
inline int32_t view_row_pitch(const ViewMetrics& m) { return 2 * view_strip_height(m) + px(3, m.dpi); }

// Cells per row for a client area `client_w` pixels wide; 0 when not even
// one cell fits (callers must not divide by it then).
int32_t view_cells_per_row(int32_t client_w, const ViewMetrics& m);
// The view's width in a client area `client_w` pixels wide.
inline int32_t view_width(int32_t client_w, const ViewMetrics& m) { return client_w - px(6, m.dpi); }
// Whole rows that fit in `client_h` pixels; 0 when none does.
int32_t view_visible_rows(int32_t client_h, const ViewMetrics& m);
