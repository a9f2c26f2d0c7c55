// The preset strings send window (dialog 115, modeless): ten rows of the
// preset list as cell strips, each with a CH1 and a CH2 send button, paged
// by ten over the 200 entries. Each opening reads "mdata.txt" from the
// program directory; "別Load" reads any other strings file. The list lives
// in g_presets for the whole run and is never written by this window.
#include "send/preset_send_win.h"

#include <algorithm>

#include "resources/resource.h"
#include "send/transmit_win.h"
#include "serial/port_win.h"
#include "tools/cell_strip_win.h"
#include "send/preset_list.h"
#include "send/repeat_win.h"
#include "send/strings_file_win.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"

namespace {

constexpr int kNarrowWidth = 155;
constexpr UINT_PTR kRepeatTimer = 1;
constexpr int kStripX = 55;  // left edge of the cells; the row's buttons sit left of it

struct PresetSendState {
  StringEntry list[kStringsListEntries];
  int32_t first;  // entry shown in row 1: 0 ... 190, steps of 10
  int32_t full_w, full_h;
  HWND window;
};
PresetSendState g_presets = {};

int row_top(const StripGeometry& g, int r) { return px(42, g.dpi) + g.pitch * r; }

// The window's width when narrowed to its send buttons (155 at 96 DPI).
int narrow_width() { return px(kNarrowWidth, g_app.metrics.dpi); }

// Row r: its number above the two send buttons, which stand where the
// window's narrow form still shows them.
void layout(HWND dlg) {
  const StripGeometry g = strip_geometry();
  auto at = [&g](int32_t v) { return px(v, g.dpi); };
  strip_place(dlg, IDC_PS_HEAD, at(5), at(4), at(200), at(16));
  for (int r = 0; r < kPresetRows; r++) {
    const int y = row_top(g, r);
    strip_place(dlg, IDC_PS_ROW1 + r, at(2), y - g.s - 1, at(40), g.s + 1);
    strip_place(dlg, IDC_PS_CH1 + r, at(2), y, at(kStripX - 5), g.h);
    strip_place(dlg, IDC_PS_CH2 + r, at(2), y + g.h, at(kStripX - 5), g.h);
  }
  const int bottom = row_top(g, kPresetRows) + at(2);
  static const int kBottom[] = {IDC_PS_NARROW, IDC_PS_PAGE_BACK, IDC_PS_PAGE_NEXT, IDC_PS_RELOAD,
                                IDC_PS_LOAD_OTHER, IDC_PS_CLOSE};
  static const int kWidth[] = {40, 120, 120, 100, 120, 100};
  int x = at(2);
  for (int k = 0; k < 6; k++) {
    strip_place(dlg, kBottom[k], x, bottom, at(kWidth[k]), at(24));
    x += at(kWidth[k] + 4);
  }
  const int right = at(kStripX) + g.cell * kStripCells + at(8);
  // The repeat in the room right of the bottom buttons.
  strip_place(dlg, IDC_REPEAT_OPEN, x, bottom, at(100), at(24));
  strip_place(dlg, IDC_REPEAT_COUNTS, x + at(104), bottom + at(4), std::max(0, right - x - at(112)), at(16));
  strip_fit_window(dlg, std::max(right, x + at(4)), bottom + at(30));
}

void relabel(HWND dlg) {
  for (int r = 0; r < kPresetRows; r++) {
    char16_t label[kPresetLabelUnits];
    preset_row_label(g_presets.first, r, -1, label);
    SetDlgItemTextW(dlg, IDC_PS_ROW1 + r, wide(label));
  }
}

void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  const StripGeometry g = strip_geometry();
  HGDIOBJ old_font = GetCurrentObject(dc, OBJ_FONT);
  for (int r = 0; r < kPresetRows; r++) {
    const int y = row_top(g, r);
    const StringEntry& e = g_presets.list[g_presets.first + r];
    strip_row(dc, g, px(kStripX, g.dpi), y, y - px(12, g.dpi), e.units, e.count, kSlotText);  // units past the 64th are sent, not shown
  }
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

void repaint(HWND dlg) { InvalidateRect(dlg, nullptr, TRUE); }

void load(HWND dlg, const wchar_t* name, int relative) {
  strings_file_load(dlg, name, relative, g_presets.list);
  repaint(dlg);
}

// The repeat sends the chosen row's exact bytes, as its CH1/CH2 buttons do.
int repeat_frame(int row, RepeatFrame* out) {
  const StringEntry& e = g_presets.list[row - 1];
  *out = {e.units, e.count, 0};
  return 0;
}

void close_window(HWND dlg) {
  KillTimer(dlg, kRepeatTimer);
  g_app.tool_open[kToolPresetSend] = 0;
  g_presets.window = nullptr;
  DestroyWindow(dlg);
}

void toggle_narrow(HWND dlg) {
  RECT r;
  GetWindowRect(dlg, &r);
  const int narrow = r.right - r.left >= px(201, g_app.metrics.dpi);
  SetWindowPos(dlg, nullptr, 0, 0, narrow ? narrow_width() : g_presets.full_w, g_presets.full_h,
               SWP_NOMOVE | SWP_NOZORDER);
  g_app.settings.dlg5_short = narrow;
}

void on_command(HWND dlg, int id) {
  if (id >= IDC_PS_CH1 && id < IDC_PS_CH1 + 2 * kPresetRows) {
    const int channel = id < IDC_PS_CH2 ? 1 : 2;
    const StringEntry& e = g_presets.list[g_presets.first + (id - (channel == 1 ? IDC_PS_CH1 : IDC_PS_CH2))];
    if (e.count > 0) send_characters(dlg, e.count, e.units, channel, 0, 0);
    repaint(dlg);
    return;
  }
  switch (id) {
    case IDC_PS_PAGE_BACK: case IDC_PS_PAGE_NEXT:
      g_presets.first = preset_page(g_presets.first, id == IDC_PS_PAGE_BACK ? -kPresetRows : kPresetRows);
      relabel(dlg);
      repaint(dlg);
      break;
    case IDC_PS_RELOAD: load(dlg, L"mdata.txt", 1); break;
    case IDC_PS_LOAD_OTHER: {
      wchar_t path[MAX_PATH] = L"";
      if (file_chooser(dlg, kChooseOpenStrings, path)) load(dlg, path, 0);
      break;
    }
    case IDC_PS_NARROW: toggle_narrow(dlg); break;
    case IDC_REPEAT_OPEN:
      repeat_dialog_run(dlg, kRepeatPresetSend, repeat_frame, g_presets.first + 1);
      repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatPresetSend);
      break;
    case IDC_PS_CLOSE: close_window(dlg); break;
    default: break;
  }
}

// Keeps the laid-out size as the full one, and narrows the window when
// the user narrowed it.
void size_to_layout(HWND dlg) {
  RECT r;
  GetWindowRect(dlg, &r);
  g_presets.full_w = r.right - r.left;
  g_presets.full_h = r.bottom - r.top;
  if (g_app.settings.dlg5_short == 1)
    SetWindowPos(dlg, nullptr, 0, 0, narrow_width(), g_presets.full_h, SWP_NOMOVE | SWP_NOZORDER);
}

void on_init(HWND dlg) {
  set_dialog_text(dlg, 0, kTextPresetSendTitle);
  set_dialog_text(dlg, IDC_PS_HEAD, kTextPresetStrings);
  for (int r = 0; r < kPresetRows; r++) {
    set_dialog_text(dlg, IDC_PS_CH1 + r, kTextSendCh1);
    set_dialog_text(dlg, IDC_PS_CH2 + r, kTextSendCh2);
  }
  static const struct { int id, text; } kLabels[] = {{IDC_PS_CLOSE, kTextClose}, {IDC_PS_PAGE_BACK, kTextPageBack},
                                                     {IDC_PS_PAGE_NEXT, kTextPageNext}, {IDC_PS_RELOAD, kTextReload},
                                                     {IDC_PS_LOAD_OTHER, kTextLoadOtherFile}, {IDC_REPEAT_OPEN, kTextRepeatOpen}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  // Which channels can send is decided once, as the window opens.
  for (int ch = 0; ch < 2; ch++)
    if (g_channel[ch].open.load() == 0)
      for (int r = 0; r < kPresetRows; r++) EnableWindow(GetDlgItem(dlg, (ch ? IDC_PS_CH2 : IDC_PS_CH1) + r), FALSE);
  g_presets.first = 0;
  relabel(dlg);
  layout(dlg);
  load(dlg, L"mdata.txt", 1);
  g_app.tool_open[kToolPresetSend] = 1;
  SetTimer(dlg, kRepeatTimer, kRepeatShowMs, nullptr);
  repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatPresetSend);
  size_to_layout(dlg);
  dialog_look_init(dlg);
}

INT_PTR CALLBACK preset_send_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case kMessageRescaled:
      layout(dlg);
      size_to_layout(dlg);
      repaint(dlg);
      return TRUE;
    case WM_COMMAND: on_command(dlg, LOWORD(wp)); return TRUE;
    case WM_PAINT: paint(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kRepeatTimer) repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatPresetSend);
      return TRUE;
    case WM_CLOSE: close_window(dlg); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void preset_send_window_open(HWND owner) {
  if (g_app.tool_open[kToolPresetSend] == 1) return;
  g_presets.window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_PRESET_SEND), owner, preset_send_proc, 0);
  if (g_presets.window) ShowWindow(g_presets.window, SW_SHOW);
}
