// The input character send window (dialog 114, modeless): a strip of up to
// 64 cells of what was typed (ASC characters or HEX byte pairs), sending it
// framed on CH1 or CH2, single control characters, and the send history.
//
// Its state lives in g_input for the whole run, so closing and reopening the
// window shows the same input and history. Controls are declared in the
// resource script and placed here in pixels, beside the strips this
// procedure paints with the data view's fonts.
#include "tools/input_send_win.h"

#include <algorithm>

#include "app/chrome_win.h"
#include "codec/checksum.h"
#include "codec/convert.h"
#include "resources/resource.h"
#include "serial/port_win.h"
#include "serial/transmit_win.h"
#include "settings/dialog_look_win.h"
#include "tools/strings_file_win.h"
#include "view/fonts_win.h"

namespace {

constexpr int kStripCells = 64;
constexpr int kShortHeight = 158;
constexpr UINT_PTR kFocusTimer = 1;

struct InputSendState {
  char16_t units[kEntryUnits];
  int32_t count;
  HexEntry entry;
  int32_t view_offset;    // first unit shown: a multiple of 32, 0 to 192
  int32_t user_scrolled;  // "<" or ">" chose the offset for the next repaint
  int32_t history_first;  // history entry shown in the first row, 0 to 15
  int32_t full_w, full_h;
  HWND window;
  WNDPROC field_proc;     // the input field's own procedure
};
InputSendState g_input = {};

const uint8_t kControlBytes[9] = {0x05, 0x06, 0x15, 0x02, 0x03, 0x04, 0x05, 0x17, 0x0D};

struct Geometry {
  int32_t w, h, s, cell, pitch;  // big "W", its height, small height, cell width, history row pitch
  int32_t right;                 // right edge of the 64-cell strip
  int32_t history_top(int r) const { return 163 + pitch * r; }
};

Geometry geometry() {
  Geometry g;
  g.w = g_app.metrics.big_w;
  g.h = g_app.metrics.big_h;
  g.s = g_app.metrics.small_h;
  g.cell = 2 * g.w;
  g.pitch = g.s + 2 * g.h + 5;
  g.right = 40 + g.cell * kStripCells;
  return g;
}

void place(HWND dlg, int id, int x, int y, int w, int h) {
  HWND c = GetDlgItem(dlg, id);
  if (c) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Puts every control in its place beside the painted strips and sizes the
// window to hold them.
void layout(HWND dlg) {
  const Geometry g = geometry();
  const int x0 = g.right + 8;
  place(dlg, IDC_IN_LEFT, x0, 22, 30, 22);
  place(dlg, IDC_IN_RIGHT, x0 + 34, 22, 30, 22);
  place(dlg, IDC_IN_MODE_HEAD, x0 + 70, 4, 120, 16);
  place(dlg, IDC_IN_ASC, x0 + 70, 22, 55, 18);
  place(dlg, IDC_IN_HEX, x0 + 128, 22, 55, 18);
  place(dlg, IDC_IN_CLR, x0, 50, 48, 22);
  place(dlg, IDC_IN_BS, x0 + 52, 50, 48, 22);
  place(dlg, IDC_IN_SHORT, x0 + 104, 50, 48, 22);
  // Two rows of buttons between the input strip and the history heading
  // at y = 130.
  const int mid = 40 + 2 * g.h + 4;
  const int row_h = std::max(16, (126 - mid) / 2);
  place(dlg, IDC_IN_SEND_CH1, 5, mid, 80, row_h - 1);
  place(dlg, IDC_IN_SEND_CH2, 5, mid + row_h, 80, row_h - 1);
  place(dlg, IDC_IN_CTRL_HEAD, 92, mid + row_h / 2, 90, 16);
  place(dlg, IDC_IN_CH1_LABEL, 186, mid + 2, 30, 16);
  place(dlg, IDC_IN_CH2_LABEL, 186, mid + row_h + 2, 30, 16);
  for (int k = 0; k < 9; k++) {
    place(dlg, IDC_IN_CTRL_CH1 + k, 216 + 58 * k, mid, 56, row_h - 1);
    place(dlg, IDC_IN_CTRL_CH2 + k, 216 + 58 * k, mid + row_h, 56, row_h - 1);
  }
  const int px = 216 + 58 * 9 + 6;
  static const int kValues[6] = {IDC_IN_PREVIEW_START, IDC_IN_PREVIEW_HEADER, 414, IDC_IN_PREVIEW_END,
                                 IDC_IN_PREVIEW_SUM, IDC_IN_PREVIEW_TERM};
  for (int k = 0; k < 6; k++) {
    place(dlg, IDC_IN_PREVIEW_HEAD + k, px + 84 * k, mid + 2, 82, 16);
    place(dlg, kValues[k], px + 84 * k, mid + row_h + 2, 82, 16);
  }
  place(dlg, IDC_IN_FORMAT, px + 84 * 6, mid, 110, 2 * row_h - 1);
  for (int r = 0; r < 5; r++) {
    const int y = g.history_top(r);
    place(dlg, IDC_IN_ROW1 + r, 2, y, 36, 2 * g.h);
    place(dlg, IDC_IN_HIST_CH1 + r, x0, y, 50, 2 * g.h);
    place(dlg, IDC_IN_HIST_CH2 + r, x0 + 54, y, 50, 2 * g.h);
  }
  const int bottom = g.history_top(5) + 4;
  place(dlg, IDC_IN_PAGE_BACK, 40, bottom, 120, 24);
  place(dlg, IDC_IN_PAGE_NEXT, 164, bottom, 120, 24);
  place(dlg, IDC_IN_HIST_CLEAR, 300, bottom, 100, 24);
  place(dlg, IDC_IN_HIST_SAVE, 404, bottom, 100, 24);
  place(dlg, IDC_IN_CLOSE, g.right - 100, bottom, 100, 24);
  RECT want = {0, 0, std::max<LONG>(x0 + 110, px + 84 * 6 + 116), bottom + 30};
  AdjustWindowRectEx(&want, static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_EXSTYLE)));
  SetWindowPos(dlg, nullptr, 0, 0, want.right - want.left, want.bottom - want.top, SWP_NOMOVE | SWP_NOZORDER);
}

void set_text(HWND dlg, int id, int message) {
  wchar_t text[kMessageTextUnits] = L"";
  get_text(message, text);
  SetDlgItemTextW(dlg, id, text);
}

void repaint(HWND dlg) { InvalidateRect(dlg, nullptr, TRUE); }

// Draws cells for `count` units from `units` at (40, y): characters above,
// hex digits below, on the alternating cell colors.
void draw_cells(HDC dc, const Geometry& g, int y, const char16_t* units, int count) {
  SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  for (int i = 0; i < count && i < kStripCells; i++) {
    const int x = 40 + g.cell * i, odd = i & 1;
    CellTexts t;
    cell_texts(&ansi_codec_win, &units[i], 1, &t);
    const int n = t.display_len;
    SetTextColor(dc, slot_color(kSlotCh1Text));
    SetBkColor(dc, slot_color(odd ? kSlotAscBack1 : kSlotAscBack2));
    TextOutW(dc, x + (n == 1 ? g.w / 2 : 0), y, wide(t.display), n);
    SetBkColor(dc, slot_color(odd ? kSlotHexBack1 : kSlotHexBack2));
    TextOutW(dc, x, y + g.h, wide(t.hex), 2);
  }
}

void draw_grid(HDC dc, const Geometry& g, int y) {
  for (int i = 0; i < kStripCells; i++) {
    const int x = 40 + g.cell * i, odd = i & 1;
    RECT ch = {x, y, x + g.cell, y + g.h}, hx = {x, y + g.h, x + g.cell, y + 2 * g.h};
    FillRect(dc, &ch, g_brush[odd ? kSlotAscBack1 : kSlotAscBack2]);
    FillRect(dc, &hx, g_brush[odd ? kSlotHexBack1 : kSlotHexBack2]);
  }
}

void draw_column_numbers(HDC dc, const Geometry& g, int y, int first, int count) {
  SelectObject(dc, g_font_small);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  for (int i = 0; i < count; i++) {
    wchar_t n[8];
    int len = _snwprintf(n, 8, L"%03d", first + i);
    TextOutW(dc, 40 + g.cell * i, y, n, len);
  }
}

void preview_update(HWND dlg) {
  static const int kHeadings[6] = {62, 81, 89, 63, 64, 65};
  for (int k = 0; k < 6; k++) set_text(dlg, IDC_IN_PREVIEW_HEAD + k, kHeadings[k]);
  const Settings& s = g_app.settings;
  wchar_t none[kMessageTextUnits] = L"", text[64];
  get_text(0, none);
  _snwprintf(text, 64, L"%02X", s.rs_stchar);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_START, s.rs_stchar_on ? text : none);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_HEADER, s.rs_hdchar_on ? wide(s.rs_hdchar) : none);
  _snwprintf(text, 64, L"%02X", s.rs_spchar);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_END, s.rs_spchar_on ? text : none);
  _snwprintf(text, 64, L"%ls/%ls", wide(checksum_kind_name(s.rs_scchar_mode)),
             wide(checksum_form_name(s.rs_scchar_type)));
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_SUM, s.rs_scchar_on ? text : none);
  _snwprintf(text, 64, L"%02X", s.rs_endchar);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_TERM,
                  s.rs_endchar_on == 1 ? text : s.rs_endchar_on == 3 ? L"0D0A" : none);
}

void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  if (!g_font_big) {
    EndPaint(dlg, &ps);
    return;
  }
  const Geometry g = geometry();
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  draw_grid(dc, g, 40);
  for (int r = 0; r < 5; r++) draw_grid(dc, g, g.history_top(r));

  wchar_t text[kMessageTextUnits] = L"";
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  get_text(60, text);
  TextOutW(dc, 40, 5, text, lstrlenW(text));
  SelectObject(dc, g_font_small);
  for (int mode = 0; mode < 2; mode++) {
    const int active = (g_input.entry.state == 0) == (mode == 0);
    SetBkMode(dc, active ? OPAQUE : TRANSPARENT);
    SetBkColor(dc, slot_color(kSlotAscHexBack));
    SetTextColor(dc, slot_color(kSlotAscHexText));
    text[0] = 0;
    get_text(mode == 0 ? 87 : 88, text);
    TextOutW(dc, 0, mode == 0 ? 45 : 65, text, lstrlenW(text));
  }

  if (!g_input.user_scrolled) g_input.view_offset = g_input.count >= 32 ? 32 * (g_input.count / 32 - 1) : 0;
  if (g_input.view_offset > 192) g_input.view_offset = 192;
  g_input.user_scrolled = 0;
  draw_column_numbers(dc, g, 25, g_input.view_offset, kStripCells);
  const int shown = std::min(kStripCells, g_input.count - g_input.view_offset);
  if (shown > 0) draw_cells(dc, g, 40, g_input.units + g_input.view_offset, shown);
  if (g_input.entry.state == 2 && shown >= 0 && shown < kStripCells) {
    // The pending HEX digit alone in the hex row of the next cell.
    SelectObject(dc, g_font_big);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, slot_color(kSlotCh1Text));
    wchar_t digit = static_cast<wchar_t>(g_input.entry.pending);
    TextOutW(dc, 40 + g.cell * shown, 40 + g.h, &digit, 1);
  }

  SelectObject(dc, g_font_small);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  text[0] = 0;
  get_text(61, text);
  TextOutW(dc, 5, 130, text, lstrlenW(text));
  for (int r = 0; r < 5; r++) {
    const StringEntry& e = g_send_history.entry[g_input.history_first + r];
    if (e.count <= 0) continue;
    draw_column_numbers(dc, g, 152 + g.pitch * r, 0, std::min(e.count, kStripCells));
    draw_cells(dc, g, g.history_top(r), e.units, std::min(e.count, kStripCells));
  }
  preview_update(dlg);
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

void delete_last_unit(HWND dlg) {
  if (g_input.count < 1) return;
  g_input.units[--g_input.count] = 0;
  repaint(dlg);
}

void clear_input(HWND dlg) {
  for (char16_t& u : g_input.units) u = 0;
  g_input.count = 0;
  repaint(dlg);
}

LRESULT CALLBACK input_field_proc(HWND field, UINT msg, WPARAM wp, LPARAM lp) {
  HWND dlg = GetParent(field);
  switch (msg) {
    case WM_KEYDOWN:
      if (wp == VK_BACK) delete_last_unit(dlg);
      else if (wp == VK_DELETE) clear_input(dlg);
      return 0;  // other keys arrive as characters, collected at WM_KEYUP
    case WM_KEYUP: {
      wchar_t typed[kEntryUnits + 1] = L"";
      GetWindowTextW(field, typed, kEntryUnits + 1);
      SetWindowTextW(field, L"");
      if (!typed[0] || g_input.count >= kEntryUnits) return 0;
      for (int i = 0; typed[i]; i++)
        hex_entry_type(&g_input.entry, static_cast<char16_t>(typed[i]), g_input.units, &g_input.count);
      repaint(dlg);
      return 0;
    }
    default: return CallWindowProcW(g_input.field_proc, field, msg, wp, lp);
  }
}

void focus_field(HWND dlg) { SetFocus(GetDlgItem(dlg, IDC_INPUT_FIELD)); }

void close_window(HWND dlg) {
  KillTimer(dlg, kFocusTimer);
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
  if (r.bottom - r.top < 201) {
    SetWindowPos(dlg, nullptr, 0, 0, g_input.full_w, g_input.full_h, SWP_NOMOVE | SWP_NOZORDER);
    g_app.settings.dlg4_short = 0;
  } else {
    SetWindowPos(dlg, nullptr, 0, 0, r.right - r.left, kShortHeight, SWP_NOMOVE | SWP_NOZORDER);
    g_app.settings.dlg4_short = 1;
  }
}

int ask_delete(HWND dlg) {
  wchar_t caption[kMessageTextUnits] = L"";
  get_text(20, caption);
  return show_message(dlg, 36, 1, caption) == IDYES;
}

void on_command(HWND dlg, int id) {
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
    if (ask_delete(dlg)) send_history_delete(&g_send_history, g_input.history_first + id - IDC_IN_ROW1);
    repaint(dlg);
    return;
  }
  switch (id) {
    case IDC_IN_CLOSE: close_window(dlg); break;
    case IDC_IN_SEND_CH1: case IDC_IN_SEND_CH2:
      send_units(dlg, g_input.units, g_input.count, id == IDC_IN_SEND_CH1 ? 1 : 2, 1);
      break;
    case IDC_IN_LEFT:
      g_input.user_scrolled = 1;
      g_input.view_offset = std::max(g_input.view_offset - 32, 0);
      repaint(dlg);
      break;
    case IDC_IN_RIGHT:
      g_input.user_scrolled = 1;
      g_input.view_offset = std::min(g_input.view_offset + 32, 192);
      repaint(dlg);
      break;
    case IDC_IN_CLR: clear_input(dlg); break;
    case IDC_IN_BS: delete_last_unit(dlg); break;
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
      if (ask_delete(dlg)) send_history_clear(&g_send_history);
      repaint(dlg);
      break;
    case IDC_IN_HIST_SAVE: {
      wchar_t path[MAX_PATH] = L"";
      if (choose_file(dlg, path, 1)) strings_file_save(dlg, path, g_send_history.entry, kHistoryEntries);
      break;
    }
    case IDC_IN_ASC: case IDC_IN_HEX: {
      hex_entry_set_mode(&g_input.entry, id == IDC_IN_HEX);
      wchar_t caption[kMessageTextUnits] = L"";
      get_text(96, caption);
      show_message(dlg, id == IDC_IN_HEX ? 98 : 97, 0, caption);
      repaint(dlg);
      break;
    }
    default: break;
  }
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {IDC_IN_MODE_HEAD, 79}, {IDC_IN_SEND_CH1, 67}, {IDC_IN_SEND_CH2, 72}, {IDC_IN_CTRL_HEAD, 66},
      {IDC_IN_FORMAT, 73},    {IDC_IN_PAGE_BACK, 68}, {IDC_IN_PAGE_NEXT, 69}, {IDC_IN_HIST_CLEAR, 184},
      {IDC_IN_HIST_SAVE, 185}, {IDC_IN_CLOSE, 74}};
  for (const auto& l : kLabels) set_text(dlg, l.id, l.text);
  wchar_t title[kMessageTextUnits] = L"";
  get_text(60, title);
  SetWindowTextW(dlg, title);
  HWND field = CreateWindowExW(0, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 5,
                               5, 30, 16, dlg, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_INPUT_FIELD)),
                               g_instance, nullptr);
  g_input.field_proc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(input_field_proc)));
  hex_entry_set_mode(&g_input.entry, 0);
  CheckRadioButton(dlg, IDC_IN_ASC, IDC_IN_HEX, IDC_IN_ASC);
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
  g_input.user_scrolled = 0;
  g_input.view_offset = 0;
  g_input.history_first = 0;
  history_relabel(dlg);
  SetTimer(dlg, kFocusTimer, 3000, nullptr);
  g_app.tool_open[kToolInputSend] = 1;
  g_app.send_format_open = 0;
  layout(dlg);
  RECT r;
  GetWindowRect(dlg, &r);
  g_input.full_w = r.right - r.left;
  g_input.full_h = r.bottom - r.top;
  dialog_look_init(dlg);
  if (g_app.settings.dlg4_short == 1)
    SetWindowPos(dlg, nullptr, 0, 0, g_input.full_w, kShortHeight, SWP_NOMOVE | SWP_NOZORDER);
}

INT_PTR CALLBACK input_send_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return FALSE;
    case WM_COMMAND: on_command(dlg, LOWORD(wp)); return TRUE;
    case WM_TIMER:
      if (wp == kFocusTimer && !g_app.checksum_open && !g_app.send_format_open && g_app.settings.auto_foucs_OFF != 1)
        focus_field(dlg);
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
