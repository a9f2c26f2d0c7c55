#include "view/geometry.h"

int32_t view_cells_per_row(int32_t client_w, const ViewMetrics& m) {
  int32_t cell = view_cell_width(m);
  if (cell <= 0) return 0;
  int32_t n = (view_width(client_w, m) - m.margin - px(10, m.dpi)) / cell;
  return n < 1 ? 0 : n;
}

int32_t view_visible_rows(int32_t client_h, const ViewMetrics& m) {
  int32_t pitch = view_row_pitch(m);
  if (pitch <= 0) return 0;
  int32_t r = (client_h - px(40, m.dpi)) / pitch;
  return r < 1 ? 0 : r;
}
