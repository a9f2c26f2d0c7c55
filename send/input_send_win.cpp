// The input character send window (dialog 114, modeless): a strip of up to
// 64 cells of what was typed (ASC characters or HEX byte pairs), sending it
// framed on CH1 or CH2, single control characters, and the send history.
//
// Its state lives in g_input for the whole run, so closing and reopening the
// window shows the same input and history. Controls are declared in the
// resource script and placed here in pixels, beside the strips this
// procedure paints with the data view's fonts.
#include "send/input_send_win.h"

#include <algorithm>

#include "app/chrome_win.h"
#include "codec/convert.h"
#include "resources/resource.h"
#include "send/repeat_win.h"
#include "send/send_format_dialog_win.h"
#include "send/transmit_win.h"
#include "serial/port_win.h"
#include "tools/cell_strip_win.h"
#include "send/strings_file_win.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "view/fonts_win.h"

namespace {

constexpr int kShortHeight = 158;
constexpr UINT_PTR kFocusTimer = 1;
constexpr UINT_PTR kRepeatTimer = 2;
constexpr TypedStripIds kStripIds = {IDC_INPUT_FIELD, IDC_IN_LEFT, IDC_IN_RIGHT, IDC_IN_MODE_HEAD,
                                     IDC_IN_ASC,      IDC_IN_HEX,  IDC_IN_CLR,   IDC_IN_BS};

struct InputSendState {
  TypedInput input;
  TypedField field;
  int32_t history_first;  // history entry shown in the first row, 0 to 15
  int32_t full_w, full_h;
  HWND window;
};
InputSendState g_input = {};

// The window's height when shortened to its input strip (158 at 96 DPI).
int short_height() { return px(kShortHeight, g_app.metrics.dpi); }

const uint8_t kControlBytes[9] = {0x05, 0x06, 0x15, 0x02, 0x03, 0x04, 0x05, 0x17, 0x0D};

int history_top(const StripGeometry& g, int r) { return px(163, g.dpi) + g.pitch * r; }

// Puts every control in its place beside the painted strips and sizes the
// window to hold them.
void layout(HWND dlg) {
  const StripGeometry g = strip_geometry();
  auto at = [&g](int32_t v) { return px(v, g.dpi); };
  const int x0 = typed_strip_layout(dlg, g, kStripIds);
  strip_place(dlg, IDC_IN_SHORT, x0 + at(104), at(50), at(48), at(22));
  // Two rows of buttons between the input strip and the history heading
  // at y = 130.
  const int mid = at(40) + 2 * g.h + at(4);
  const int row_h = std::max(at(16), (at(126) - mid) / 2);
  strip_place(dlg, IDC_IN_SEND_CH1, at(5), mid, at(80), row_h - 1);
  strip_place(dlg, IDC_IN_SEND_CH2, at(5), mid + row_h, at(80), row_h - 1);
  strip_place(dlg, IDC_IN_CTRL_HEAD, at(92), mid + row_h / 2, at(90), at(16));
  strip_place(dlg, IDC_IN_CH1_LABEL, at(186), mid + at(2), at(30), at(16));
  strip_place(dlg, IDC_IN_CH2_LABEL, at(186), mid + row_h + at(2), at(30), at(16));
  for (int k = 0; k < 9; k++) {
    strip_place(dlg, IDC_IN_CTRL_CH1 + k, at(216 + 58 * k), mid, at(56), row_h - 1);
    strip_place(dlg, IDC_IN_CTRL_CH2 + k, at(216 + 58 * k), mid + row_h, at(56), row_h - 1);
  }
  const int preview = 216 + 58 * 9 + 6;
  static const int kValues[6] = {IDC_IN_PREVIEW_START, IDC_IN_PREVIEW_HEADER, 414, IDC_IN_PREVIEW_END,
                                 IDC_IN_PREVIEW_SUM, IDC_IN_PREVIEW_TERM};
  for (int k = 0; k < 6; k++) {
    strip_place(dlg, IDC_IN_PREVIEW_HEAD + k, at(preview + 84 * k), mid + at(2), at(82), at(16));
    strip_place(dlg, kValues[k], at(preview + 84 * k), mid + row_h + at(2), at(82), at(16));
  }
  strip_place(dlg, IDC_IN_FORMAT, at(preview + 84 * 6), mid, at(110), 2 * row_h - 1);
  for (int r = 0; r < 5; r++) {
    const int y = history_top(g, r);
    strip_place(dlg, IDC_IN_ROW1 + r, at(2), y, at(36), 2 * g.h);
    strip_place(dlg, IDC_IN_HIST_CH1 + r, x0, y, at(50), 2 * g.h);
    strip_place(dlg, IDC_IN_HIST_CH2 + r, x0 + at(54), y, at(50), 2 * g.h);
  }
  const int bottom = history_top(g, 5) + at(4);
  strip_place(dlg, IDC_IN_PAGE_BACK, at(40), bottom, at(120), at(24));
  strip_place(dlg, IDC_IN_PAGE_NEXT, at(164), bottom, at(120), at(24));
  strip_place(dlg, IDC_IN_HIST_CLEAR, at(300), bottom, at(100), at(24));
  strip_place(dlg, IDC_IN_HIST_SAVE, at(404), bottom, at(100), at(24));
  // The repeat in the room between the history's buttons and Close.
  strip_place(dlg, IDC_REPEAT_OPEN, at(520), bottom, at(100), at(24));
  strip_place(dlg, IDC_REPEAT_COUNTS, at(626), bottom + at(4), std::max(0, g.right - at(104) - at(626)), at(16));
  strip_place(dlg, IDC_IN_CLOSE, g.right - at(100), bottom, at(100), at(24));
  strip_fit_window(dlg, std::max(x0 + at(110), at(preview + 84 * 6 + 116)), bottom + at(30));
}

void repaint(HWND dlg) { InvalidateRect(dlg, nullptr, TRUE); }

// The units here, typed and sent, are drawn in CH1's text color.
void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  if (!g_font_big) {
    EndPaint(dlg, &ps);
    return;
  }
  const StripGeometry g = strip_geometry();
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  typed_strip_paint(dc, g, &g_input.input, 60, kSlotCh1Text);
  strip_heading(dc, px(5, g.dpi), px(130, g.dpi), 61);
  for (int r = 0; r < 5; r++) {
    const StringEntry& e = g_send_history.entry[g_input.history_first + r];
    strip_row(dc, g, px(40, g.dpi), history_top(g, r), px(152, g.dpi) + g.pitch * r, e.units, e.count, kSlotCh1Text);
  }
  frame_preview_update(dlg);
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

void focus_field(HWND dlg) { SetFocus(GetDlgItem(dlg, IDC_INPUT_FIELD)); }

// The repeat sends the input strip framed, as Send CH1/CH2 do.
int repeat_frame(int, RepeatFrame* out) {
  *out = {g_input.input.units, g_input.input.count, 1};
  return 0;
}

void close_window(HWND dlg) {
  KillTimer(dlg, kFocusTimer);
  KillTimer(dlg, kRepeatTimer);
  g_app.tool_open[kToolInputSend] = 0;
  g_input.window = nullptr;
  DestroyWindow(dlg);
}

void send_units(HWND dlg, const char16_t* units, int count, int channel, int framed) {
  send_characters(dlg, count, units, channel, framed, framed);
  repaint(dlg);
}

void history_relabel(HWND dlg) {
  for (int r = 0; r < 5; r++) {
    wchar_t label[8];
    _snwprintf(label, 8, L"%02d", g_input.history_first + r + 1);
    SetDlgItemTextW(dlg, IDC_IN_ROW1 + r, label);
  }
}

void toggle_short(HWND dlg) {
  RECT r;
  GetWindowRect(dlg, &r);
  if (r.bottom - r.top < px(201, g_app.metrics.dpi)) {
    SetWindowPos(dlg, nullptr, 0, 0, g_input.full_w, g_input.full_h, SWP_NOMOVE | SWP_NOZORDER);
    g_app.settings.dlg4_short = 0;
  } else {
    SetWindowPos(dlg, nullptr, 0, 0, r.right - r.left, short_height(), SWP_NOMOVE | SWP_NOZORDER);
    g_app.settings.dlg4_short = 1;
  }
}

void on_command(HWND dlg, int id) {
  if (typed_strip_command(dlg, kStripIds, &g_input.field, id)) return;
  if (id >= IDC_IN_CTRL_CH1 && id < IDC_IN_CTRL_CH1 + 18) {
    const int k = (id - IDC_IN_CTRL_CH1) % 9;
    const char16_t unit = kControlBytes[k];
    send_units(dlg, &unit, 1, id < IDC_IN_CTRL_CH2 ? 1 : 2, 0);
    return;
  }
  if (id >= IDC_IN_HIST_CH1 && id < IDC_IN_HIST_CH1 + 10) {
    const int n = (id - IDC_IN_HIST_CH1) % 5;
    const StringEntry& e = g_send_history.entry[g_input.history_first + n];
    if (e.count > 0) send_units(dlg, e.units, e.count, id < IDC_IN_HIST_CH2 ? 1 : 2, 0);
    return;
  }
  if (id >= IDC_IN_ROW1 && id < IDC_IN_ROW1 + 5) {
    if (strip_ask_delete(dlg)) send_history_delete(&g_send_history, g_input.history_first + id - IDC_IN_ROW1);
    repaint(dlg);
    return;
  }
  switch (id) {
    case IDC_IN_CLOSE: close_window(dlg); break;
    case IDC_IN_SEND_CH1: case IDC_IN_SEND_CH2:
      send_units(dlg, g_input.input.units, g_input.input.count, id == IDC_IN_SEND_CH1 ? 1 : 2, 1);
      break;
    case IDC_IN_PAGE_BACK: case IDC_IN_PAGE_NEXT:
      g_input.history_first += id == IDC_IN_PAGE_BACK ? -5 : 5;
      g_input.history_first = std::min(std::max(g_input.history_first, 0), 15);
      history_relabel(dlg);
      repaint(dlg);
      break;
    case IDC_IN_FORMAT:
      send_format_dialog_run(dlg);
      repaint(dlg);
      break;
    case IDC_IN_SHORT: toggle_short(dlg); break;
    case IDC_IN_HIST_CLEAR:
      if (strip_ask_delete(dlg)) send_history_clear(&g_send_history);
      repaint(dlg);
      break;
    case IDC_IN_HIST_SAVE: strings_file_save_as(dlg, g_send_history.entry, kHistoryEntries); break;
    case IDC_REPEAT_OPEN:
      repeat_dialog_run(dlg, kRepeatInputSend, repeat_frame, 0);
      repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatInputSend);
      break;
    default: break;
  }
}

// Lays the window out (again, after a change of scale) and gives it its
// full size, or its short one when the user shortened it.
void lay_out_and_size(HWND dlg) {
  layout(dlg);
  RECT r;
  GetWindowRect(dlg, &r);
  g_input.full_w = r.right - r.left;
  g_input.full_h = r.bottom - r.top;
  if (g_app.settings.dlg4_short == 1)
    SetWindowPos(dlg, nullptr, 0, 0, g_input.full_w, short_height(), SWP_NOMOVE | SWP_NOZORDER);
  InvalidateRect(dlg, nullptr, TRUE);
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {IDC_IN_MODE_HEAD, kTextEntryMode}, {IDC_IN_SEND_CH1, kTextSendCh1}, {IDC_IN_SEND_CH2, kTextSendCh2}, {IDC_IN_CTRL_HEAD, kTextSendControlChar},
      {IDC_IN_FORMAT, kTextSendFormat},    {IDC_IN_PAGE_BACK, kTextPageBack}, {IDC_IN_PAGE_NEXT, kTextPageNext}, {IDC_IN_HIST_CLEAR, kTextClearHistory},
      {IDC_IN_HIST_SAVE, kTextSaveHistory}, {IDC_IN_CLOSE, kTextClose}, {IDC_REPEAT_OPEN, kTextRepeatOpen}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  set_dialog_text(dlg, 0, kTextInputSendTitle);
  g_input.field.in = &g_input.input;
  g_input.field.edit_keys = 1;
  g_input.field.repaint_each_key = 1;
  typed_strip_open(dlg, kStripIds, &g_input.field, 30, 16);
  if (g_channel[0].open.load() == 0) {
    for (int id : {IDC_IN_SEND_CH1, IDC_IN_CH1_LABEL}) EnableWindow(GetDlgItem(dlg, id), FALSE);
    for (int k = 0; k < 9; k++) EnableWindow(GetDlgItem(dlg, IDC_IN_CTRL_CH1 + k), FALSE);
    for (int k = 0; k < 5; k++) EnableWindow(GetDlgItem(dlg, IDC_IN_HIST_CH1 + k), FALSE);
  }
  if (g_channel[1].open.load() == 0) {
    for (int id : {IDC_IN_SEND_CH2, IDC_IN_CH2_LABEL}) EnableWindow(GetDlgItem(dlg, id), FALSE);
    for (int k = 0; k < 9; k++) EnableWindow(GetDlgItem(dlg, IDC_IN_CTRL_CH2 + k), FALSE);
    for (int k = 0; k < 5; k++) EnableWindow(GetDlgItem(dlg, IDC_IN_HIST_CH2 + k), FALSE);
  }
  g_input.history_first = 0;
  history_relabel(dlg);
  SetTimer(dlg, kFocusTimer, 3000, nullptr);
  SetTimer(dlg, kRepeatTimer, kRepeatShowMs, nullptr);
  repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatInputSend);
  g_app.tool_open[kToolInputSend] = 1;
  g_app.send_format_open = 0;
  lay_out_and_size(dlg);
  dialog_look_init(dlg);
}

INT_PTR CALLBACK input_send_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return FALSE;
    case kMessageRescaled: lay_out_and_size(dlg); return TRUE;
    case WM_COMMAND: on_command(dlg, LOWORD(wp)); return TRUE;
    case WM_TIMER:
      if (wp == kFocusTimer && send_focus_may_return())
        focus_field(dlg);
      if (wp == kRepeatTimer) repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatInputSend);
      return TRUE;
    case WM_PAINT:
      paint(dlg);
      focus_field(dlg);
      return TRUE;
    case WM_CLOSE: close_window(dlg); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void input_send_window_open(HWND owner) {
  if (g_app.tool_open[kToolInputSend] == 1) return;
  g_input.window = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_INPUT_SEND), owner, input_send_proc, 0);
  if (g_input.window) ShowWindow(g_input.window, SW_SHOW);
}
