// The cell tooltip: a TTF_TRACK tooltip that the main window moves and
// refills on WM_MOUSEMOVE when the mouse enters another cell, and hides
// when it leaves the grid or the window (TrackMouseEvent's WM_MOUSELEAVE).
// No timer and no repaint of the view: while the mouse is still, nothing
// runs. The records and times are read below the write position without
// the lock, as the painter reads them (app/capture.h).
#include "view/cell_tip_win.h"

#include "ui/dpi_win.h"

#include "record/record_view_win.h"

#include <cwchar>

#include "app/chrome_win.h"
#include "serial/port_win.h"
#include "view/cell_tip.h"
#include "view/data_view.h"
#include "view/data_view_win.h"
#include "timeline/chunks.h"
#include "timeline/export_win.h"

namespace {

constexpr UINT_PTR kCellTipTool = 1;
constexpr int kLineUnits = kMessageTextUnits + 3 * kCellTipArgUnits;
constexpr int kTipUnits = kCellTipLines * (kLineUnits + 2);

HWND g_tip = nullptr;
HWND g_owner = nullptr;
int32_t g_shown = -1;      // record (or event cell) the tooltip shows; -1: hidden
int g_shown_events = 0;    // 1: it shows the events at the left edge of that cell
uint32_t g_layout = 0;     // the cell map's layout it was shown in
int g_tracking = 0;        // WM_MOUSELEAVE asked for
wchar_t g_text[kTipUnits] = L"";

TOOLINFOW tool_info() {
  TOOLINFOW ti = {};
  // The version 2 size is the one every comctl32 version takes.
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  // Transparent: a pointer moving onto the tooltip still moves over the view.
  ti.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
  ti.hwnd = g_owner;
  ti.uId = kCellTipTool;
  ti.lpszText = g_text;
  return ti;
}

void tip_hide() {
  if (g_shown < 0) return;
  TOOLINFOW ti = tool_info();
  SendMessageW(g_tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
  g_shown = -1;
}

// One line in the current language, its fields filled; a text whose fields
// are not the ones expected (an edited message file) stands as it is.
void line_text(const CellTipLine& line, wchar_t out[kLineUnits]) {
  wchar_t format[kMessageTextUnits] = L"";
  get_text(line.text, format);
  wchar_t args[3][kCellTipArgUnits];
  for (int k = 0; k < 3; k++) {
    int i = 0;
    for (; i < kCellTipArgUnits - 1 && line.args[k][i]; i++) args[k][i] = static_cast<unsigned char>(line.args[k][i]);
    args[k][i] = 0;
  }
  if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(line.text)))
    _snwprintf(out, kLineUnits - 1, format, args[0], args[1], args[2]);
  else
    lstrcpynW(out, format, kLineUnits);
  out[kLineUnits - 1] = 0;
}

// Joins the lines of a tooltip in the current language.
void lines_text(const CellTipLine* lines, int n, wchar_t text[kTipUnits]) {
  text[0] = 0;
  for (int i = 0; i < n; i++) {
    wchar_t line[kLineUnits];
    line_text(lines[i], line);
    if (i) wcsncat(text, L"\r\n", kTipUnits - 1 - wcslen(text));
    wcsncat(text, line, kTipUnits - 1 - wcslen(text));
  }
}

// The tooltip's text for the n events at a marker.
void events_text(const LineEvent* events, int32_t n, wchar_t text[kTipUnits]) {
  const int64_t offset = view_capture()->wall_offset_us;
  const int64_t wall = time_add_us(events[0].time_us, offset);
  const int32_t zone = wall != kTimeUnknown ? local_zone_minutes_at(wall) : 0;
  CellTipLine lines[kCellTipLines];
  lines_text(lines, event_tip_lines(events, n, offset, zone, lines), text);
}

// The tooltip's text for record `index` into text; 1 when it has none.
int tip_text(int32_t index, wchar_t text[kTipUnits]) {
  const Capture& cap = *view_capture();
  const int32_t count = capture_write_position(&cap);
  const int open = channel_is_open(0) || channel_is_open(1);
  const int32_t latest = open ? cap.last_marker_index.load(std::memory_order_relaxed) : -1;
  CellInfo info;
  LineShape shape[2];
  line_shapes_of(g_app.settings.port, shape);
  if (cell_info(cap.records, cap.times, count, latest, index, shape, &info)) return 1;
  int32_t zone = 0;
  const int64_t wall = time_add_us(info.time_us, cap.wall_offset_us);
  if (wall != kTimeUnknown) zone = local_zone_minutes_at(wall);
  CellTipLine lines[kCellTipLines];
  lines_text(lines, cell_tip_lines(info, cap.wall_offset_us, zone, lines), text);
  return 0;
}

}  // namespace

void cell_tip_create(HWND owner) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  g_owner = owner;
  g_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, g_instance,
                          nullptr);
  if (!g_tip) return;
  TOOLINFOW ti = tool_info();
  if (!SendMessageW(g_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti))) {
    DestroyWindow(g_tip);
    g_tip = nullptr;
    return;
  }
  // Wide enough for the longest line: without a width, line breaks in the
  // text would not break the tooltip's lines.
  SendMessageW(g_tip, TTM_SETMAXTIPWIDTH, 0, window_px(owner, 1000));
  // In the palette's colors, so that the dark theme has a dark tooltip.
  SendMessageW(g_tip, TTM_SETTIPBKCOLOR, slot_color(kSlotBackground), 0);
  SendMessageW(g_tip, TTM_SETTIPTEXTCOLOR, slot_color(kSlotText), 0);
}

void cell_tip_mouse_move(HWND owner, int x, int y) {
  if (!g_tip) return;
  if (!g_tracking) {
    TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, owner, 0};
    g_tracking = TrackMouseEvent(&t) ? 1 : 0;
  }
  const Capture& cap = *view_capture();
  const ViewCellMap* map = view_cell_map();
  const int32_t count = capture_write_position(&cap);
  // An event marker at the left edge of a cell comes before the cell.
  int32_t prev = -1, first = 0, events = 0, event_count = 0;
  int64_t base = 0;
  const LineEvent* all = view_events(&event_count, &base);
  const int32_t edge = view_hit_edge(map, g_app.metrics, count, cap.view.cursor_row, cap.view.cursor_col, x, y, &prev);
  if (edge >= 0) events = view_events_at(all, event_count, base, prev, edge, &first);
  const int32_t index =
      events ? edge : view_hit_record(map, g_app.metrics, cap.records, count, settings_line_monitor(&g_app.settings), x, y);
  const int shows_events = events > 0;
  // The same cell of the same layout: what it shows is up already.
  if (index == g_shown && shows_events == g_shown_events && map->layout == g_layout) return;
  if (index < 0) {
    tip_hide();
    return;
  }
  wchar_t text[kTipUnits];
  if (shows_events) {
    events_text(all + first, events, text);
  } else if (tip_text(index, text)) {
    tip_hide();
    return;
  }
  g_layout = map->layout;
  if (index == g_shown && shows_events == g_shown_events && wcscmp(text, g_text) == 0) return;
  lstrcpynW(g_text, text, kTipUnits);
  TOOLINFOW ti = tool_info();
  SendMessageW(g_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  // Below and right of the pointer, so that the mouse never lands on it.
  POINT at = {x, y};
  ClientToScreen(owner, &at);
  SendMessageW(g_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x + window_px(owner, 16), at.y + window_px(owner, 20)));
  if (g_shown < 0) SendMessageW(g_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
  g_shown = index;
  g_shown_events = shows_events;
}

void cell_tip_mouse_leave() {
  g_tracking = 0;
  if (g_tip) tip_hide();
}

int cell_tip_notifies(const NMHDR* hdr) { return g_tip && hdr->hwndFrom == g_tip; }
