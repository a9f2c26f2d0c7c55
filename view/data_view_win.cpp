// The main data view: one record per cell, rows of an upper ("READ:") and a
// lower ("SEND:") strip with the gap markers between them. Where things go
// is decided in view/data_view.cpp; this file draws it with the fonts, pens
// and brushes of the active palette.
#include "view/data_view_win.h"

#include <cstdio>

#include "app/chrome_win.h"
#include "codec/convert.h"
#include "view/cell_tip.h"
#include "view/data_view.h"
#include "view/fonts_win.h"
#include "view/highlight_win.h"
#include "record/record_view_win.h"

namespace {

// The capture on show: the live one, or the window of an open recording.
Capture& shown() { return *view_capture(); }

// Which record each cell shows, for the cell tooltip's hit test.
ViewCellMap g_cell_map = {};

// The capture's line events as the latest paint copied them (under the
// capture's lock: a wrap on a receive thread drops some).
LineEvent g_events[kCaptureEvents];
int32_t g_event_count = 0;
int64_t g_event_base = 0;
// The event marker drawn at the end cell, which the next paint takes away
// with the end marker: its left edge and the row's top; 0, 0 when none.
int32_t g_end_mark_x = 0, g_end_mark_top = 0;

void events_refresh() { g_event_count = capture_copy_events(&shown(), g_events, &g_event_base); }

// The highlight rules' colours of the records the latest paint drew (with
// its look-back), and what colouring them takes; the rules look only at
// those records, never the rest of the capture.
HighlightMarks g_marks = {};
HighlightWork g_highlight_work;
// Colours records first .. hi - 1 (and what the look-back takes in) by
// `rules` into *marks.
void marks_by(const HighlightRules* rules, int32_t first, int32_t hi, HighlightMarks* marks, int32_t shown_hi = 0) {
  const Capture& c = shown();
  const int32_t lo = highlight_window_start(c.records, hi, first, highlight_longest(rules), highlight_lead(rules),
                                            recording_before());
  g_highlight_work.shown_hi = shown_hi;
  highlight_frames_use(&g_highlight_work, highlight_frames());
  g_highlight_work.before = recording_before();
  g_highlight_work.edges = recording_edges();
  // The next window is read on into only by a paint that reaches this one's end.
  const int at_end = hi >= capture_write_position(&shown());
  g_highlight_work.after = at_end ? recording_after() : nullptr;
  g_highlight_work.after_last = recording_after_last();
  g_highlight_work.complete = at_end && recording_shown();
  LineShape shape[2];
  line_shapes_of(g_app.settings.port, shape);
  highlight_mark(rules, c.records, c.times, lo, first, hi, g_events, g_event_count, g_event_base, shape,
                 &g_highlight_work, marks);
}

void marks_compute(int32_t first, int32_t hi) {
  g_marks.lo = g_marks.hi = 0;
  g_marks.any_before = 0;
  if (!highlight_any_on() || first >= hi) return;
  marks_by(highlight_rules(), first, hi, &g_marks);
}

struct Painter {
  HDC dc;
  // What is selected into dc now, so each cell sets only what changes.
  HGDIOBJ font;
  COLORREF back, text;
  ViewMetrics m;
  RowLayout l;
  int32_t cell_w;
  int32_t pitch;
  int32_t view_w;
  int32_t n, rows;
};

int32_t g_reserved_right = 0;

Painter painter_for(HWND hwnd, HDC dc) {
  Painter p;
  p.dc = dc;
  p.m = g_app.metrics;
  p.l = view_row_layout(p.m);
  p.cell_w = view_cell_width(p.m);
  p.pitch = view_row_pitch(p.m);
  RECT r;
  view_client_rect(hwnd, &r);
  p.view_w = view_width(r.right, p.m);
  p.n = shown().view.cells_per_row;
  p.rows = shown().view.visible_rows;
  p.font = nullptr;
  p.back = p.text = CLR_INVALID;
  SetBkMode(dc, OPAQUE);
  return p;
}

void use_font(Painter& p, HGDIOBJ font) {
  if (p.font != font) SelectObject(p.dc, font), p.font = font;
}

void use_rgb(Painter& p, COLORREF back, COLORREF text) {
  if (p.back != back) SetBkColor(p.dc, back), p.back = back;
  if (p.text != text) SetTextColor(p.dc, text), p.text = text;
}

void use_colors(Painter& p, int back_slot, int text_slot) { use_rgb(p, slot_color(back_slot), slot_color(text_slot)); }

COLORREF colorref_of(uint32_t rgb) { return RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF); }

void text_at(HDC dc, int32_t x, int32_t y, const wchar_t* text, int count) { TextOutW(dc, x, y, text, count); }

// One cleared row, drawn once and copied: the view background from
// x = margin to the view width and from the clear top to the clear bottom of
// the row (y = 27 to pitch + 23 at 96 DPI),
// with the background rectangles of the N cells of its four character and
// hexadecimal lines in their alternating colors. Copying it is the same as
// clearing the rectangle and drawing every cell's rectangles, at a fraction
// of the cost. Rebuilt when the grid or the window width changes.
struct RowImage {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old_bitmap;
  int32_t n, width, height, pitch;
};
RowImage g_row_image = {};

void row_image_release() {
  if (g_row_image.dc) {
    SelectObject(g_row_image.dc, g_row_image.old_bitmap);
    DeleteDC(g_row_image.dc);
  }
  if (g_row_image.bitmap) DeleteObject(g_row_image.bitmap);
  g_row_image = {};
}

void row_image_prepare(const Painter& p) {
  const int32_t width = p.view_w - p.m.margin;
  const int32_t height = p.l.clear_bottom - p.l.clear_top;
  if (g_row_image.dc && g_row_image.n == p.n && g_row_image.width == width && g_row_image.height == height &&
      g_row_image.pitch == p.pitch)
    return;
  row_image_release();
  if (width <= 0 || height <= 0) return;
  g_row_image.dc = CreateCompatibleDC(p.dc);
  g_row_image.bitmap = CreateCompatibleBitmap(p.dc, width, height);
  if (!g_row_image.dc || !g_row_image.bitmap) {
    row_image_release();
    return;
  }
  g_row_image.old_bitmap = SelectObject(g_row_image.dc, g_row_image.bitmap);
  g_row_image.n = p.n;
  g_row_image.width = width;
  g_row_image.height = height;
  g_row_image.pitch = p.pitch;
  HDC dc = g_row_image.dc;
  RECT all = {0, 0, width, height};
  FillRect(dc, &all, g_brush[kSlotBackground]);
  const int32_t char_lines[2] = {p.l.upper_char_back, p.l.lower_char_back};
  const int32_t hex_lines[2] = {p.l.upper_hex_back, p.l.lower_hex_back};
  for (int32_t c = 0; c < p.n; c++) {
    const int odd = c & 1;
    RECT r;
    r.left = c * p.cell_w;
    r.right = r.left + p.cell_w;
    for (int k = 0; k < 2; k++) {
      r.top = char_lines[k] - p.l.clear_top;
      r.bottom = r.top + p.m.big_h;
      FillRect(dc, &r, g_brush[odd ? kSlotAscBack1 : kSlotAscBack2]);
      r.top = hex_lines[k] - p.l.clear_top;
      r.bottom = r.top + p.m.big_h;
      FillRect(dc, &r, g_brush[odd ? kSlotHexBack1 : kSlotHexBack2]);
    }
  }
}

// Clears row `row` and draws its cells' background rectangles.
void clear_row(const Painter& p, int32_t row) {
  view_map_clear_row(&g_cell_map, row);
  row_image_prepare(p);
  if (!g_row_image.dc) return;
  BitBlt(p.dc, p.m.margin, row * p.pitch + p.l.clear_top, g_row_image.width, g_row_image.height, g_row_image.dc, 0, 0,
         SRCCOPY);
}

// Draws the marker of the events that stand at the left edge of the cell at
// x, top (the row's top), whose record is `index`, when the cell before it
// shows `prev`. Returns 1 when there was one.
int event_mark_draw(Painter& p, int32_t x, int32_t top, int32_t prev, int32_t index) {
  int32_t first = 0;
  if (g_event_count == 0 || view_events_at(g_events, g_event_count, g_event_base, prev, index, &first) == 0) return 0;
  HBRUSH brush = CreateSolidBrush(slot_color(kSlotEofBack));
  if (!brush) return 0;
  // Below the index line, whose digits it would cover.
  RECT bar = {x, top + p.l.upper_char_back, x + kEventMarkWidth, top + p.l.lower_hex_back + p.m.big_h};
  FillRect(p.dc, &bar, brush);
  RECT flag = {x, top + p.l.marker + 1, x + p.l.event_flag_w, top + p.l.marker + p.m.big_h - 1};
  FillRect(p.dc, &flag, brush);
  DeleteObject(brush);
  return 1;
}

// The cell of record `index` at x, top (the row's top): its text and
// backgrounds, or its gap marker characters.
void paint_cell_content(Painter& p, int32_t index, int32_t x, int32_t top) {
  const CaptureRecord& rec = shown().records[index];
  CaptureView& v = shown().view;
  const int place = cell_place(rec.kind, settings_line_monitor(&g_app.settings));
  if (place == kPlaceMarker) {
    use_font(p, g_font_big);
    use_colors(p, kSlotBackground, kSlotGapText);
    wchar_t text[2] = {static_cast<wchar_t>(capture_byte(rec)), static_cast<wchar_t>(capture_marker2(rec))};
    text_at(p.dc, x, top + p.l.marker, text, 2);
    if (rec.kind == kKindGapHigh) v.gap_x = x, v.gap_y = top + p.l.marker, v.gap_index = index;
    if (rec.kind == kKindGapLow) v.gap2_x = x, v.gap2_y = top + p.l.marker;
    return;
  }
  if (place == kPlaceEmpty) return;
  const int lower = place == kPlaceLower;
  wchar_t index_text[8];
  _snwprintf(index_text, 8, L"%03d", rec.position);
  use_font(p, g_font_small);
  use_colors(p, kSlotBackground, kSlotText);
  text_at(p.dc, x, top + (lower ? p.l.lower_index : p.l.upper_index), index_text, 3);

  char16_t shown[3], hex[3];
  const uint8_t data = capture_byte(rec);
  int count = byte_display_text(data, shown);
  byte_hex_text(data, hex);
  const int odd = v.cursor_col & 1;
  const int text_slot = cell_text_slot(rec.kind);
  // A selected cell shows its text color as background and the other way round.
  const int selected = v.select_anchor >= 0 &&
                       static_cast<int64_t>(index - v.select_anchor) * (index - v.select_end) <= 0;
  // The match Find shows stands out in the end marker's colours, white on
  // blue in either palette: the grid's own backgrounds hold every pale colour.
  const int marked = !selected && v.mark_first >= 0 && index >= v.mark_first && index <= v.mark_last;
  // Below both, the first highlight rule that covers the byte, its text
  // black or white to stay legible on the rule's colour.
  const int rule = selected || marked ? 0 : highlight_rule_at(g_marks, index);
  const uint32_t rule_rgb = rule ? highlight_rules()->rules[rule - 1].rgb : 0;
  use_font(p, g_font_big);
  const int char_back = odd ? kSlotAscBack1 : kSlotAscBack2, hex_back = odd ? kSlotHexBack1 : kSlotHexBack2;
  if (selected) use_colors(p, text_slot, char_back);
  else if (marked) use_colors(p, kSlotEofBack, kSlotEofText);
  else if (rule) use_rgb(p, colorref_of(rule_rgb), colorref_of(highlight_text_rgb(rule_rgb)));
  else use_colors(p, char_back, text_slot);
  // The whole character line of the cell, so that a one-character byte is
  // marked as wide as a two-letter one.
  RECT char_box = {x, top + (lower ? p.l.lower_char_back : p.l.upper_char_back), x + p.cell_w, 0};
  char_box.bottom = char_box.top + p.m.big_h;
  ExtTextOutW(p.dc, x + (count == 1 ? p.m.big_w / 2 : 0), top + (lower ? p.l.lower_char : p.l.upper_char),
              ETO_OPAQUE, &char_box, wide(shown), count, nullptr);
  if (selected) use_colors(p, text_slot, hex_back);
  else if (marked) use_colors(p, kSlotEofBack, kSlotEofText);
  else if (rule) use_rgb(p, colorref_of(rule_rgb), colorref_of(highlight_text_rgb(rule_rgb)));
  else use_colors(p, hex_back, text_slot);
  RECT hex_box = {x, top + (lower ? p.l.lower_hex_back : p.l.upper_hex_back), x + p.cell_w, 0};
  hex_box.bottom = hex_box.top + p.m.big_h;
  ExtTextOutW(p.dc, x, top + (lower ? p.l.lower_hex : p.l.upper_hex), ETO_OPAQUE, &hex_box, wide(hex), 2, nullptr);
}

// Draws record `index` at the cursor; 1 when it takes no cell.
int paint_cell(Painter& p, int32_t index) {
  const CaptureRecord& rec = shown().records[index];
  CaptureView& v = shown().view;
  int place = cell_place(rec.kind, settings_line_monitor(&g_app.settings));
  if (place == kPlaceHidden) return 1;
  const int32_t x = p.m.margin + v.cursor_col * p.cell_w;
  const int32_t top = v.cursor_row * p.pitch;
  const int32_t prev = view_map_before(&g_cell_map, v.cursor_row, v.cursor_col);
  paint_cell_content(p, index, x, top);
  if (place != kPlaceEmpty) view_map_put(&g_cell_map, v.cursor_row, v.cursor_col, index);
  event_mark_draw(p, x, top, prev, index);
  return 0;
}

// Draws again, in place, every data cell on the screen whose record is in
// first .. last: the cell map says where each one is.
void cells_redraw(HWND hwnd, int32_t first, int32_t last, int coloured_only = 0) {
  if (first > last) return;
  CaptureView& v = shown().view;
  const int32_t n = g_cell_map.cells_per_row;
  if (n < 1) return;
  const int32_t count = capture_write_position(&shown());
  HDC dc = GetDC(hwnd);
  Painter p = painter_for(hwnd, dc);
  HGDIOBJ old_font = SelectObject(dc, g_font_small);
  const int32_t row = v.cursor_row, col = v.cursor_col;
  const int32_t cells = n * g_cell_map.rows < kViewMapCells ? n * g_cell_map.rows : kViewMapCells;
  for (int32_t c = 0; c < cells; c++) {
    const int32_t index = g_cell_map.record[c];
    if (index < first || index > last || index >= count || shown().records[index].kind >= 128) continue;
    if (coloured_only && !highlight_rule_at(g_marks, index)) continue;
    v.cursor_row = c / n;
    v.cursor_col = c % n;
    paint_cell(p, index);
  }
  v.cursor_row = row;
  v.cursor_col = col;
  SelectObject(dc, old_font);
  ReleaseDC(hwnd, dc);
}

// The records on the screen, first .. end - 1, as the cell map says: 0 when none.
int screen_records(int32_t count, int32_t* first, int32_t* end) {
  const int32_t cells = g_cell_map.cells_per_row * g_cell_map.rows < kViewMapCells
                            ? g_cell_map.cells_per_row * g_cell_map.rows : kViewMapCells;
  int32_t last = -1;
  *first = -1;
  for (int32_t c = 0; c < cells; c++) {
    const int32_t index = g_cell_map.record[c];
    if (index < 0 || index >= count) continue;
    if (*first < 0 || index < *first) *first = index;
    if (index > last) last = index;
  }
  if (*first < 0) return 0;
  *end = last + 1;
  return 1;
}

// Past the records shown: far enough that a match begun among them is seen
// to end there.
int32_t marks_end(const HighlightRules* rules, int32_t first, int32_t end, int32_t count) {
  return highlight_window_end(shown().records, count, first, end, highlight_longest(rules));
}

// The highlight colours of the records on the screen.
void marks_for_screen(int32_t count) {
  int32_t first = 0, end = 0;
  if (screen_records(count, &first, &end)) marks_compute(first, marks_end(highlight_rules(), first, end, count));
}

// Sets the selection to anchor .. end and draws the cells that changed.
void selection_set(HWND hwnd, int32_t anchor, int32_t end) {
  CaptureView& v = shown().view;
  const int32_t count = capture_write_position(&shown());
  int32_t old_first = 0, old_last = -1;
  view_selection_range(v, count, &old_first, &old_last);
  v.select_anchor = anchor;
  v.select_end = end;
  int32_t first = 0, last = -1;
  view_selection_range(v, count, &first, &last);
  marks_for_screen(count);
  cells_redraw(hwnd, old_first, old_last);
  cells_redraw(hwnd, first, last);
}

int32_t record_at(int x, int y) {
  const Capture& cap = shown();
  return view_hit_record(&g_cell_map, g_app.metrics, cap.records, capture_write_position(&cap),
                         settings_line_monitor(&g_app.settings), x, y);
}

int g_drag_moved = 0;  // the drag reached another record than where it began

void end_marker_draw(Painter& p) {
  CaptureView& v = shown().view;
  v.eof_x = p.m.margin + v.cursor_col * p.cell_w;
  v.eof_y = v.cursor_row * p.pitch + p.l.upper_index;
  v.eof_y2 = v.cursor_row * p.pitch + p.l.lower_index;
  v.eof_drawn = 1;
  use_font(p, g_font_small);
  use_colors(p, kSlotEofBack, kSlotEofText);
  wchar_t text[4];
  for (int i = 0; i < 3; i++) text[i] = static_cast<wchar_t>(v.end_marker[i]);
  SIZE size = {};
  GetTextExtentPoint32W(p.dc, text, 3, &size);
  v.eof_w = size.cx;
  v.eof_h = size.cy;
  text_at(p.dc, v.eof_x, v.eof_y, text, 3);
  text_at(p.dc, v.eof_x, v.eof_y2, text, 3);
  // Events after the last record stand at the end cell, where the next
  // record will go.
  const int32_t top = v.cursor_row * p.pitch;
  const int32_t count = capture_write_position(&shown());
  if (event_mark_draw(p, v.eof_x, top, view_map_before(&g_cell_map, v.cursor_row, v.cursor_col), count))
    g_end_mark_x = v.eof_x, g_end_mark_top = top;
}

void end_marker_erase(Painter& p) {
  CaptureView& v = shown().view;
  if (!v.eof_drawn) return;
  use_font(p, g_font_small);
  use_colors(p, kSlotBackground, kSlotText);
  // Four blanks, opaque over the whole marker: in a proportional font the
  // blanks alone are narrower than "EOF" and would leave part of it.
  for (int32_t y : {v.eof_y, v.eof_y2}) {
    RECT r = {v.eof_x, y, v.eof_x + v.eof_w, y + v.eof_h};
    ExtTextOutW(p.dc, v.eof_x, y, ETO_OPAQUE, &r, L"    ", 4, nullptr);
  }
  v.eof_drawn = 0;
  // The end cell's event marker: the cell's backgrounds from the cleared
  // row's image (past the last column, the view's background). A record
  // drawn there next draws the marker again.
  if (g_end_mark_x || g_end_mark_top) {
    const int32_t left = g_end_mark_x - p.m.margin, top = g_end_mark_top + p.l.clear_top;
    if (g_row_image.dc && left >= 0 && left + p.l.event_flag_w <= g_row_image.width) {
      BitBlt(p.dc, g_end_mark_x, top, p.l.event_flag_w, g_row_image.height, g_row_image.dc, left, 0, SRCCOPY);
    } else {
      RECT r = {g_end_mark_x, top, g_end_mark_x + p.l.event_flag_w, top + p.l.clear_bottom - p.l.clear_top};
      HBRUSH back = CreateSolidBrush(slot_color(kSlotBackground));
      if (back) FillRect(p.dc, &r, back), DeleteObject(back);
    }
    g_end_mark_x = g_end_mark_top = 0;
  }
}

// Draws the digits of the gap markers at index m and m + 1 where the
// latest ones were drawn.
void gap_digits_draw(HDC dc, int32_t m) {
  const CaptureView& v = shown().view;
  const CaptureRecord* r = shown().records;
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, slot_color(kSlotBackground));
  SetTextColor(dc, slot_color(kSlotGapText));
  wchar_t high[2] = {static_cast<wchar_t>(capture_byte(r[m])), static_cast<wchar_t>(capture_marker2(r[m]))};
  wchar_t low[2] = {static_cast<wchar_t>(capture_byte(r[m + 1])), static_cast<wchar_t>(capture_marker2(r[m + 1]))};
  text_at(dc, v.gap_x, v.gap_y, high, 2);
  text_at(dc, v.gap2_x, v.gap2_y, low, 2);
  SelectObject(dc, old_font);
}

bool view_ready() { return shown().records && g_font_big && g_pen[0]; }

}  // namespace

void view_client_rect(HWND hwnd, RECT* r) {
  GetClientRect(hwnd, r);
  if (r->right - r->left > g_reserved_right) r->right -= g_reserved_right;
}

void view_reserve_right(int32_t px) { g_reserved_right = px > 0 ? px : 0; }

void view_full_repaint(HWND hwnd, HDC dc) {
  if (!view_ready()) return;
  CaptureView& v = shown().view;
  RECT client;
  view_client_rect(hwnd, &client);
  v.cells_per_row = view_cells_per_row(client.right, g_app.metrics);
  v.visible_rows = view_visible_rows(client.bottom, g_app.metrics);
  Painter p = painter_for(hwnd, dc);
  view_map_reset(&g_cell_map, p.n, p.rows);
  events_refresh();
  g_end_mark_x = g_end_mark_top = 0;
  HGDIOBJ old_font = SelectObject(dc, GetStockObject(SYSTEM_FONT));
  // Too small a window for one whole cell or row: nothing but the
  // background; painting resumes with the next full repaint that fits.
  if (p.n < 1 || p.rows < 1) {
    v.painted_position = capture_write_position(&shown());
    SelectObject(dc, old_font);
    return;
  }
  for (int32_t k = 0; k < p.rows; k++) {
    SelectObject(dc, g_pen[kSlotText]);
    for (int32_t i = 0; i < p.l.separator_lines; i++) {
      const int32_t y = k * p.pitch + p.l.separator + i;
      MoveToEx(dc, 0, y, nullptr);
      LineTo(dc, p.view_w, y);
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, slot_color(kSlotText));
    text_at(dc, 0, k * p.pitch + p.l.read_label, L"READ:", 5);
    text_at(dc, 0, k * p.pitch + p.l.send_label, L"SEND:", 5);
    clear_row(p, k);
  }
  SetBkMode(dc, OPAQUE);
  p.font = nullptr;
  p.text = CLR_INVALID;

  const int32_t count = capture_write_position(&shown());
  ViewPage page = view_page(count, p.n, p.rows, v.follow_mode, v.view_position);
  v.end_view_position = page.end_view_position;
  if (page.first >= page.last) {
    v.painted_position = count;
    v.view_position = page.first;
    v.cursor_row = v.cursor_col = 0;
    if (page.last == count) end_marker_draw(p);
    SelectObject(dc, old_font);
    return;
  }
  marks_compute(page.first, marks_end(highlight_rules(), page.first, page.last, count));
  int32_t d = 0;
  for (int32_t i = page.first; i < page.last; i++) {
    v.cursor_row = d / p.n;
    v.cursor_col = d % p.n;
    if (paint_cell(p, i) != 0) continue;
    d++;
    if (v.cursor_col == 0) {
      wchar_t number[16];
      int len = _snwprintf(number, 16, L"%04d", i / p.n);
      SelectObject(dc, GetStockObject(SYSTEM_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, slot_color(kSlotText));
      text_at(dc, p.l.row_number_x, v.cursor_row * p.pitch + p.l.marker, number, len);
      SetBkMode(dc, OPAQUE);
      p.font = nullptr;
      p.text = CLR_INVALID;
    }
  }
  if (d == 0) {
    v.cursor_row = v.cursor_col = 0;
  } else {
    v.cursor_row = (d - 1) / p.n;
    v.cursor_col = (d - 1) % p.n + 1;  // may stand in column N until the next cell
  }
  const int32_t now = capture_write_position(&shown());
  v.painted_position = now;
  if (v.follow_mode == 1) v.view_position = v.end_view_position;
  if (page.last == now) end_marker_draw(p);
  SelectObject(dc, old_font);
}

void view_release() { row_image_release(); }

void view_select_press(HWND hwnd, int x, int y) {
  if (!view_ready()) return;
  const int32_t index = record_at(x, y);
  g_drag_moved = 0;
  selection_set(hwnd, index, index);
  if (index >= 0) SetCapture(hwnd);
}

void view_select_drag(HWND hwnd, int x, int y) {
  if (GetCapture() != hwnd || !view_ready()) return;
  const CaptureView& v = shown().view;
  const int32_t index = record_at(x, y);
  if (index < 0 || index == v.select_end || v.select_anchor < 0) return;
  g_drag_moved = 1;
  selection_set(hwnd, v.select_anchor, index);
}

void view_select_release(HWND hwnd) {
  if (GetCapture() != hwnd) return;
  ReleaseCapture();
  // A click without a drag takes the selection away.
  if (!g_drag_moved) view_select_clear(hwnd);
}

void view_select_clear(HWND hwnd) {
  if (shown().view.select_anchor < 0 || !view_ready()) {
    shown().view.select_anchor = shown().view.select_end = -1;
    return;
  }
  selection_set(hwnd, -1, -1);
}

const ViewCellMap* view_cell_map() { return &g_cell_map; }

int32_t view_first_shown() {
  const int64_t cells = static_cast<int64_t>(g_cell_map.cells_per_row) * g_cell_map.rows;
  for (int64_t c = 0; c < cells && c < kViewMapCells; c++)
    if (g_cell_map.record[c] >= 0) return g_cell_map.record[c];
  return -1;
}

int view_mark_rect(RECT* r) {
  const CaptureView& v = shown().view;
  int32_t top = 0, bottom = 0;
  if (v.mark_first < 0 || !view_map_rows_of(&g_cell_map, v.mark_first, v.mark_last, &top, &bottom)) return 0;
  const ViewMetrics& m = g_app.metrics;
  const int32_t pitch = view_row_pitch(m), clear_top = view_row_layout(m).clear_top;
  r->left = m.margin;
  r->right = m.margin + g_cell_map.cells_per_row * view_cell_width(m);
  r->top = top * pitch + clear_top;
  r->bottom = (bottom + 1) * pitch + clear_top;
  return 1;
}

void view_highlight_matches(const HighlightRules* rules, int32_t out[kHighlightRules]) {
  static HighlightMarks counted;
  for (int r = 0; r < kHighlightRules; r++) out[r] = 0;
  int32_t first = 0, end = 0;
  const int32_t count = capture_write_position(&shown());
  if (!view_ready() || !screen_records(count, &first, &end)) return;
  marks_by(rules, first, marks_end(rules, first, end, count), &counted, end);
  for (int r = 0; r < kHighlightRules; r++) out[r] = counted.matches[r];
}

const LineEvent* view_events(int32_t* count, int64_t* base) {
  *count = g_event_count;
  *base = g_event_base;
  return g_events;
}

void view_incremental_paint(HWND hwnd) {
  if (!view_ready()) return;
  CaptureView& v = shown().view;
  const int32_t w = capture_write_position(&shown());
  if (v.cells_per_row < 1 || v.visible_rows < 1) {
    v.painted_position = w;
    return;
  }
  // Only a wrap moves the write position below what was painted: the
  // screen still shows the records it moved down.
  if (v.painted_position > w) {
    view_map_shift(&g_cell_map, kCaptureWrapShift);
    view_selection_shift(&v, kCaptureWrapShift);
  }
  HDC dc = GetDC(hwnd);
  Painter p = painter_for(hwnd, dc);
  HGDIOBJ old_font = SelectObject(dc, g_font_small);
  events_refresh();
  end_marker_erase(p);
  // The gap after the chunk drawn last is final now that more has come:
  // show its last digits, not the ones it had when it was drawn.
  if (v.gap_x && v.gap_index >= 0 && v.gap_index + 1 < v.painted_position && v.painted_position <= w) {
    gap_digits_draw(dc, v.gap_index);
    p.font = nullptr;  // gap_digits_draw set its own font and colors
    p.back = p.text = CLR_INVALID;
  }
  int32_t from = v.painted_position;
  // Only the last screenful of many new records stays visible: move the
  // cursor past the others instead of drawing them.
  const int64_t cells = static_cast<int64_t>(p.n) * p.rows;
  if (w - from > cells) {
    if (view_cursor_skip(&v.cursor_row, &v.cursor_col, p.n, p.rows, w - from - cells)) clear_row(p, v.cursor_row);
    from = static_cast<int32_t>(w - cells);
  }
  marks_compute(from, w);
  for (int32_t i = from; i < w; i++) {
    paint_cell(p, i);
    if (view_cursor_advance(&v.cursor_row, &v.cursor_col, p.n, p.rows)) clear_row(p, v.cursor_row);
  }
  v.painted_position = w;
  end_marker_draw(p);
  SelectObject(dc, old_font);
  ReleaseDC(hwnd, dc);
  // A match whose last byte came now colours its bytes drawn before, whole.
  // Only its cells: below `from` the marks hold no finds painted before.
  if (g_marks.any_before) cells_redraw(hwnd, g_marks.lo, from - 1, 1);
}

void view_live_gap_redraw(HWND hwnd) {
  if (!view_ready()) return;
  CaptureView& v = shown().view;
  const int32_t w = capture_write_position(&shown());
  if (v.gap_x == 0 || v.gap_y == 0 || w < 1) return;
  const CaptureRecord* r = shown().records;
  if (r[w - 1].kind != kKindGapLow) return;
  const int32_t m = shown().last_marker_index.load(std::memory_order_relaxed);
  if (m < 0 || m + 1 >= w) return;
  HDC dc = GetDC(hwnd);
  gap_digits_draw(dc, m);
  ReleaseDC(hwnd, dc);
}
