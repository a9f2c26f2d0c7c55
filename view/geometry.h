// Cell metrics and the grid geometry of the main data view.
#pragma once

#include <cstdint>

struct ViewMetrics {
  int32_t small_h;  // height of "W" in the small font
  int32_t big_w;    // width of "W" in the big font
  int32_t big_h;    // height of "W" in the big font
  int32_t margin;   // width of "SEND:" in the big font: left edge of column 0
};

inline int32_t view_cell_width(const ViewMetrics& m) { return 2 * m.big_w; }
inline int32_t view_strip_height(const ViewMetrics& m) { return m.small_h + 2 * m.big_h + 5; }
inline int32_t view_row_pitch(const ViewMetrics& m) { return 2 * view_strip_height(m) + 3; }

// Cells per row for a client area `client_w` pixels wide; 0 when not even
// one cell fits (callers must not divide by it then).
int32_t view_cells_per_row(int32_t client_w, const ViewMetrics& m);
// Whole rows that fit in `client_h` pixels; 0 when none does.
int32_t view_visible_rows(int32_t client_h, const ViewMetrics& m);
