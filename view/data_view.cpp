#include "view/data_view.h"

#include "app/capture.h"
#include "view/cell_tip.h"

int cell_place(uint8_t kind, int32_t lm_mode) {
  switch (kind) {
    case 1: return kPlaceUpper;
    case 3: return lm_mode == 1 ? kPlaceLower : kPlaceUpper;
    case 2: case 4: return lm_mode == 1 ? kPlaceHidden : kPlaceLower;
    case 128: case 129: case 130: return kPlaceMarker;
    default: return kPlaceEmpty;
  }
}

int cell_text_slot(uint8_t kind) { return kind == 3 || kind == 4 ? 19 : 18; }

ViewPage view_page(int32_t count, int32_t n, int32_t rows, int32_t follow, int32_t view) {
  ViewPage p;
  int64_t lines = (static_cast<int64_t>(count) + n - 1) / n;
  int64_t end = static_cast<int64_t>(n) * (lines - rows);
  p.end_view_position = end < 0 ? 0 : static_cast<int32_t>(end);
  if (follow == 1) {
    p.first = p.end_view_position;
    p.last = count;
  } else {
    p.first = view;
    int64_t page_end = static_cast<int64_t>(view) + static_cast<int64_t>(rows) * n;
    p.last = page_end < count ? static_cast<int32_t>(page_end) : count;
  }
  return p;
}

int view_cursor_advance(int32_t* row, int32_t* col, int32_t n, int32_t rows) {
  if (++*col < n) return 0;
  *col = 0;
  *row = *row + 1 >= rows ? 0 : *row + 1;
  return 1;
}

int view_cursor_skip(int32_t* row, int32_t* col, int32_t n, int32_t rows, int64_t skip) {
  if (skip <= 0) return 0;
  if (*col >= n) {  // the cell past the last column wraps first
    view_cursor_advance(row, col, n, rows);
    if (--skip == 0) return 1;
  }
  const int64_t cells = static_cast<int64_t>(n) * rows;
  const int64_t pos = (static_cast<int64_t>(*row) * n + *col + skip) % cells;
  *row = static_cast<int32_t>(pos / n);
  *col = static_cast<int32_t>(pos % n);
  return *col == 0;
}

RowLayout view_row_layout(const ViewMetrics& m) {
  const int32_t s = m.small_h, b = m.big_h, half = view_strip_height(m);
  auto at = [&m](int32_t y) { return px(y, m.dpi); };
  RowLayout l;
  l.upper_index = at(28);
  l.upper_char = s + at(29);
  l.upper_char_back = s + at(30);
  l.upper_hex = s + b + at(29);
  l.upper_hex_back = s + b + at(30);
  l.marker = s + 2 * b + at(29);
  l.lower_index = half + at(28);
  l.lower_char = half + s + at(30);
  l.lower_char_back = half + s + at(29);
  l.lower_hex = half + s + b + at(30);
  l.lower_hex_back = half + s + b + at(29);
  l.separator = view_row_pitch(m) + at(24);
  l.separator_lines = at(2);
  l.read_label = half - b / 2 - b + at(25);
  l.send_label = half + s + b / 2 + at(28);
  l.clear_top = at(27);
  l.clear_bottom = view_row_pitch(m) + at(23);
  l.row_number_x = at(5);
  l.event_flag_w = at(kEventFlagWidth);
  return l;
}

int view_selection_range(const CaptureView& v, int32_t count, int32_t* first, int32_t* last) {
  if (v.select_anchor < 0 || v.select_end < 0) return 0;
  int32_t lo = v.select_anchor < v.select_end ? v.select_anchor : v.select_end;
  int32_t hi = v.select_anchor < v.select_end ? v.select_end : v.select_anchor;
  if (hi >= count) hi = count - 1;
  if (lo > hi) return 0;
  *first = lo;
  *last = hi;
  return 1;
}

void view_selection_shift(CaptureView* v, int32_t shift) {
  if (v->mark_first >= 0) {
    v->mark_first -= shift;
    v->mark_last -= shift;
    if (v->mark_last < 0) v->mark_first = v->mark_last = -1;
    else if (v->mark_first < 0) v->mark_first = 0;
  }
  if (v->select_anchor < 0 || v->select_end < 0) return;
  v->select_anchor -= shift;
  v->select_end -= shift;
  if (v->select_anchor < 0 && v->select_end < 0) {
    v->select_anchor = v->select_end = -1;
    return;
  }
  if (v->select_anchor < 0) v->select_anchor = 0;
  if (v->select_end < 0) v->select_end = 0;
}

int32_t view_events_at(const LineEvent* events, int32_t event_count, int64_t base, int32_t prev, int32_t index,
                       int32_t* first) {
  const int64_t from = base + (prev >= 0 && prev < index ? prev + 1 : index), to = base + index;
  const int32_t lo = line_event_first_at(events, event_count, from);
  *first = lo;
  int32_t n = 0;
  while (lo + n < event_count && events[lo + n].place <= to) n++;
  return n;
}
