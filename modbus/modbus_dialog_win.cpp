// The Modbus frame builder (dialog 123, modal): the fields of one Modbus
// request, the frame assembled from them in ASCII or RTU mode, a two-row
// preview of that frame (64 cells, scrolled by 32), and the frame sent
// unchanged on CH1 or CH2.
//
// The field values live in the settings (saved at exit), the data in
// g_app.modbus_words, and the frame with the two modes in g_modbus for the
// whole run, so the dialog opens again on the last frame. The rules are in
// modbus/modbus.cpp; this file moves texts between them and the controls.
// The send buttons send the frame as last assembled: changes made since the
// last "組立" are validated and stored, but not sent.
#include "app/app_win.h"

#include <algorithm>

#include "app/chrome_win.h"
#include "codec/convert.h"
#include "resources/resource.h"
#include "send/repeat_win.h"
#include "send/transmit_win.h"
#include "serial/port_win.h"
#include "modbus/modbus.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/scale.h"
#include "view/fonts_win.h"

namespace {

constexpr UINT_PTR kFunctionTimer = 1;
constexpr UINT_PTR kRepeatTimer = 2;
constexpr UINT kFunctionDelay = 300;  // ms after the last change of the function combo box
constexpr int kFunctionTexts = kTextModbusFunctionsLast - kTextModbusFunctionsFirst + 1;  // codes 0x01 to 0x13

// The message text of the function list that stands for a code from 1 to 19.
int function_text(int code) { return kTextModbusFunctionsFirst - 1 + code; }

ModbusState g_modbus = {};

void enable(HWND dlg, int id, bool on) { EnableWindow(GetDlgItem(dlg, id), on ? TRUE : FALSE); }

void place(HWND dlg, int id, int x, int y, int w, int h) {
  HWND c = GetDlgItem(dlg, id);
  if (c) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sizes here are at 96 DPI, scaled to the DPI of the data view's fonts.
int at(int32_t v) { return px(v, g_app.metrics.dpi); }

int preview_right() { return at(40) + 2 * g_app.metrics.big_w * kModbusPreviewColumns; }

// The controls go beneath the preview, in pixels like it, and the dialog
// grows to hold both.
void layout(HWND dlg) {
  const int top = at(40) + 2 * g_app.metrics.big_h + at(12);
  const int edit_y = top + at(18), note_y = top + at(44), button_y = top + at(66);
  // Each column's texts keep to its own width: a label running into the
  // next column would paint over that column's label.
  struct Column { int label, edit, note, x, w, label_w, note_w; };
  const Column columns[] = {
      {IDC_MB_START_LABEL, IDC_MB_START, IDC_MB_START_NOTE, 8, 40, 108, 108},
      {IDC_MB_SLAVE_LABEL, IDC_MB_SLAVE, IDC_MB_SLAVE_NOTE, 120, 40, 136, 136},
      {IDC_MB_ADDRESS_LABEL, IDC_MB_ADDRESS, IDC_MB_ADDRESS_NOTE, 540, 70, 136, 136},
      // The count's note has the room beneath the ratio combo box as well.
      {IDC_MB_COUNT_LABEL, IDC_MB_COUNT, IDC_MB_COUNT_NOTE, 680, 70, 76, 150},
      {IDC_MB_END_LABEL, IDC_MB_END, IDC_MB_END_NOTE, 1180, 60, 100, 100},
  };
  for (const Column& c : columns) {
    place(dlg, c.label, at(c.x), top, at(c.label_w), at(16));
    place(dlg, c.edit, at(c.x), edit_y, at(c.w), at(22));
    place(dlg, c.note, at(c.x), note_y, at(c.note_w), at(16));
  }
  place(dlg, IDC_MB_FUNCTION_LABEL, at(260), top, at(270), at(16));
  place(dlg, IDC_MB_FUNCTION, at(260), edit_y, at(270), at(400));
  place(dlg, IDC_MB_RATIO_LABEL, at(760), top, at(56), at(16));
  place(dlg, IDC_MB_RATIO, at(760), edit_y, at(56), at(200));
  place(dlg, IDC_MB_DATA_LABEL, at(836), top, at(336), at(16));
  place(dlg, IDC_MB_DATA, at(836), edit_y, at(336), at(22));
  place(dlg, IDC_MB_DATA_ASC, at(836), note_y - at(2), at(60), at(20));
  place(dlg, IDC_MB_DATA_HEX, at(900), note_y - at(2), at(60), at(20));
  place(dlg, IDC_MB_ASSEMBLE, at(8), button_y, at(100), at(26));
  place(dlg, IDC_MB_SEND_CH1, at(120), button_y, at(100), at(26));
  place(dlg, IDC_MB_SEND_CH2, at(232), button_y, at(100), at(26));
  const int right = std::max(preview_right(), at(1250));
  place(dlg, IDC_MB_CLOSE, right - at(100), button_y, at(100), at(26));
  // The repeat in the room between the send buttons and Close.
  place(dlg, IDC_REPEAT_OPEN, at(344), button_y, at(100), at(26));
  place(dlg, IDC_REPEAT_COUNTS, at(450), button_y + at(5), right - at(108) - at(450), at(16));
  place(dlg, IDC_MB_MODE_ASC, at(480), at(4), at(60), at(20));
  place(dlg, IDC_MB_MODE_RTU, at(544), at(4), at(60), at(20));
  place(dlg, IDC_MB_MODE_TCP, at(608), at(4), at(60), at(20));
  place(dlg, IDC_MB_LEFT, right - at(64), at(2), at(30), at(20));
  place(dlg, IDC_MB_RIGHT, right - at(30), at(2), at(30), at(20));
  RECT want = {0, 0, right + at(10), button_y + at(34)};
  AdjustWindowRectEx(&want, static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_EXSTYLE)));
  const int width = want.right - want.left, height = want.bottom - want.top;
  // Centred on the main window, the wide dialog may stand out of the
  // screen: keep it inside the work area of its monitor.
  RECT now;
  GetWindowRect(dlg, &now);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(dlg, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int x = std::max<int>(work.left, std::min<int>(now.left, work.right - width));
  const int y = std::max<int>(work.top, std::min<int>(now.top, work.bottom - height));
  SetWindowPos(dlg, nullptr, x, y, width, height, SWP_NOZORDER);
}

// Paints the band of the title and the preview again. The controls in it
// are redrawn too: erasing the dialog's background paints over them.
void repaint_preview(HWND dlg) {
  RECT band;
  GetClientRect(dlg, &band);
  band.bottom = at(40) + 2 * g_app.metrics.big_h + at(2);
  RedrawWindow(dlg, &band, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The combo box text for a function code: its entry of the list when it
// has one that reads back as the code, else the code as two hex digits.
void show_function(HWND dlg, uint8_t code) {
  wchar_t text[kMessageTextUnits] = L"";
  if (code >= 1 && code <= kFunctionTexts) get_text(function_text(code), text);
  if (!text[0] || modbus_function_from_text(reinterpret_cast<const char16_t*>(text)) != code)
    _snwprintf(text, kMessageTextUnits, L"%02X", code);
  SetDlgItemTextW(dlg, IDC_MB_FUNCTION, text);
}

void show_number(HWND dlg, int id, int value) {
  wchar_t text[16];
  _snwprintf(text, 16, L"%04d", value);
  SetDlgItemTextW(dlg, id, text);
}

void show_data(HWND dlg) {
  char16_t text[kModbusDataTextUnits];
  modbus_data_text(&g_modbus, g_app.modbus_words, &ansi_codec_win, text);
  HWND edit = GetDlgItem(dlg, IDC_MB_DATA);
  SendMessageW(edit, EM_LIMITTEXT, g_modbus.hex_entry ? kModbusDataHexChars : kModbusDataUnits, 0);
  SetWindowTextW(edit, wide(text));
  CheckRadioButton(dlg, IDC_MB_DATA_ASC, IDC_MB_DATA_HEX, g_modbus.hex_entry ? IDC_MB_DATA_HEX : IDC_MB_DATA_ASC);
}

void field_rule(HWND dlg, uint8_t code) {
  ModbusFieldRule r;
  modbus_field_rule(code, &r);
  for (int id : {IDC_MB_ADDRESS_LABEL, IDC_MB_ADDRESS_NOTE, IDC_MB_ADDRESS}) enable(dlg, id, r.address_on);
  for (int id : {IDC_MB_COUNT_LABEL, IDC_MB_COUNT_NOTE, IDC_MB_COUNT}) enable(dlg, id, r.count_on);
  for (int id : {IDC_MB_DATA_LABEL, IDC_MB_DATA}) enable(dlg, id, r.data_on);
  for (int id : {IDC_MB_RATIO, IDC_MB_RATIO_LABEL}) enable(dlg, id, r.ratio_on);
  set_dialog_text(dlg, IDC_MB_ADDRESS_LABEL, r.address_label);
  if (!r.ratio_on) SetDlgItemTextW(dlg, IDC_MB_RATIO, L"x1");
}

// The start and end code are shown, and their labels enabled, in ASCII mode only.
void show_mode(HWND dlg) {
  const bool ascii = g_modbus.mode == kModbusAscii;
  for (int id : {IDC_MB_START_LABEL, IDC_MB_START_NOTE, IDC_MB_END_LABEL, IDC_MB_END_NOTE}) enable(dlg, id, ascii);
  SetDlgItemTextW(dlg, IDC_MB_START, ascii ? wide(g_app.settings.dlg13_start_char) : L"");
  SetDlgItemTextW(dlg, IDC_MB_END, ascii ? wide(g_app.settings.dlg13_end_char) : L"");
  const int radio = ascii ? IDC_MB_MODE_ASC : g_modbus.mode == kModbusTcp ? IDC_MB_MODE_TCP : IDC_MB_MODE_RTU;
  CheckRadioButton(dlg, IDC_MB_MODE_ASC, IDC_MB_MODE_TCP, radio);
}

void input_error(HWND dlg, int field_text) {
  wchar_t field[kMessageTextUnits] = L"", advice[kMessageTextUnits] = L"";
  get_text(field_text, field);
  get_text(kTextValueInvalid, advice);
  wchar_t text[2 * kMessageTextUnits + 4];
  _snwprintf(text, sizeof text / sizeof text[0], L"%ls\r\n%ls", field, advice);
  MessageBoxW(dlg, text, L"Input Error", MB_OK);
}

void read_text(HWND dlg, int id, char16_t* out, int units) {
  GetDlgItemTextW(dlg, id, wide(out), units);
}

// Reads every field into the stored values; a refused field is said and
// shows the stored value again.
void read_inputs(HWND dlg) {
  char16_t slave[kModbusFieldChars + 1], function[kModbusComboChars + 1], address[kModbusFieldChars + 1],
      count[kModbusFieldChars + 1], ratio[kModbusComboChars + 1];
  // Two more than the store takes, so a longer text is seen as such.
  char16_t data[kModbusDataHexChars + 3];
  read_text(dlg, IDC_MB_SLAVE, slave, kModbusFieldChars + 1);
  read_text(dlg, IDC_MB_FUNCTION, function, kModbusComboChars + 1);
  read_text(dlg, IDC_MB_ADDRESS, address, kModbusFieldChars + 1);
  read_text(dlg, IDC_MB_COUNT, count, kModbusFieldChars + 1);
  read_text(dlg, IDC_MB_RATIO, ratio, kModbusComboChars + 1);
  read_text(dlg, IDC_MB_DATA, data, kModbusDataHexChars + 3);
  const int hex = IsDlgButtonChecked(dlg, IDC_MB_DATA_HEX) == BST_CHECKED;
  ModbusTexts t = {slave, function, address, count, ratio, data, hex};
  Settings& s = g_app.settings;
  const int errors = modbus_read_inputs(&t, &s, &g_modbus, g_app.modbus_words);
  if (errors & kModbusBadSlave) {
    input_error(dlg, 152);
    SetDlgItemTextW(dlg, IDC_MB_SLAVE, wide(s.dlg13_slave_char));
  }
  if (errors & kModbusBadAddress) input_error(dlg, 154);
  show_number(dlg, IDC_MB_ADDRESS, s.dlg13_address);
  if (errors & kModbusBadCount) input_error(dlg, 148);
  show_number(dlg, IDC_MB_COUNT, s.dlg13_conut);
  if (errors & kModbusDataCut) {
    show_texts(dlg, L"Input Error", {hex ? kTextModbusTooManyPairs : kTextModbusTooManyChars, kTextModbusFirstTaken},
               nullptr, kModbusDataUnits, kModbusDataUnits);
    show_data(dlg);
  }
}

void assemble(HWND dlg) {
  int32_t size = 0;
  switch (modbus_assemble(&g_app.settings, &g_modbus, g_app.modbus_words, &ansi_codec_win, &size)) {
    case kModbusByteCountTooLarge:
      show_texts(dlg, L"Error", {kTextModbusByteCount, kTextModbusNotAssembled}, nullptr, static_cast<int>(size));
      break;
    case kModbusFrameTooLong:
      show_texts(dlg, L"Error", {kTextModbusFrameTooLong, kTextModbusNotAssembled}, nullptr, static_cast<int>(size),
                 kModbusFrameUnits);
      break;
    default: break;
  }
  repaint_preview(dlg);
}

void send(HWND dlg, int channel) {
  read_inputs(dlg);
  if (g_modbus.frame_length <= 0) {
    show_texts(dlg, L"Modbus", {kTextModbusNoFrame}, nullptr);
    return;
  }
  send_characters(dlg, g_modbus.frame_length, g_modbus.frame, channel, 0, 0);
}

// The repeat sends the frame as last assembled, unchanged, as the send
// buttons do.
int repeat_frame(int, RepeatFrame* out) {
  if (g_modbus.frame_length <= 0) return kTextModbusNoFrame;
  *out = {g_modbus.frame, g_modbus.frame_length, 0};
  return 0;
}

void set_mode(HWND dlg, int mode) {
  g_modbus.mode = mode;
  show_mode(dlg);
  if (g_modbus.frame_length > 0) {
    read_inputs(dlg);
    assemble(dlg);
  }
  repaint_preview(dlg);
}

void set_entry(HWND dlg, int hex) {
  if (hex == g_modbus.hex_entry) {
    CheckRadioButton(dlg, IDC_MB_DATA_ASC, IDC_MB_DATA_HEX, hex ? IDC_MB_DATA_HEX : IDC_MB_DATA_ASC);
    return;
  }
  char16_t field[kModbusDataHexChars + 3], out[kModbusDataTextUnits];
  read_text(dlg, IDC_MB_DATA, field, kModbusDataHexChars + 3);
  if (hex) {
    if (modbus_entry_to_hex(field, &ansi_codec_win, &g_modbus, g_app.modbus_words, out))
      show_texts(dlg, L"Input Error", {kTextModbusTooManyChars, kTextModbusFirstTaken}, nullptr, kModbusDataUnits,
                 kModbusDataUnits);
  } else if (modbus_entry_to_asc(field, &g_modbus, g_app.modbus_words, out) == kModbusEntryHasNul) {
    show_texts(dlg, L"Input Error", {kTextModbusHasNul, kTextModbusStaysHex}, nullptr);
    // The field keeps what was typed.
    CheckRadioButton(dlg, IDC_MB_DATA_ASC, IDC_MB_DATA_HEX, IDC_MB_DATA_HEX);
    return;
  }
  show_data(dlg);
}

void on_function_timer(HWND dlg) {
  KillTimer(dlg, kFunctionTimer);
  char16_t text[kModbusComboChars + 1];
  read_text(dlg, IDC_MB_FUNCTION, text, kModbusComboChars + 1);
  g_app.settings.dlg13_fanction = modbus_function_from_text(text);
  field_rule(dlg, g_app.settings.dlg13_fanction);
}

void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  if (!g_font_big) {
    EndPaint(dlg, &ps);
    return;
  }
  const int w = g_app.metrics.big_w, h = g_app.metrics.big_h, cell = 2 * w, left = at(40), band = at(40);
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  for (int i = 0; i < kModbusPreviewColumns; i++) {
    const int x = left + cell * i, odd = i & 1;
    SelectObject(dc, g_pen[odd ? kSlotAscBack1 : kSlotAscBack2]);
    SelectObject(dc, g_brush[odd ? kSlotAscBack1 : kSlotAscBack2]);
    Rectangle(dc, x, band, x + cell, band + h);
    SelectObject(dc, g_pen[odd ? kSlotHexBack1 : kSlotHexBack2]);
    SelectObject(dc, g_brush[odd ? kSlotHexBack1 : kSlotHexBack2]);
    Rectangle(dc, x, band + h, x + cell, band + 2 * h);
  }
  gdi_select_neutral(dc);

  wchar_t text[kMessageTextUnits] = L"";
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  const int title = g_modbus.mode == kModbusAscii ? kTextModbusAsciiFrame
                    : g_modbus.mode == kModbusTcp  ? kTextModbusTcpFrame
                                                   : kTextModbusRtuFrame;
  get_text(title, text);
  TextOutW(dc, at(170), at(5), text, lstrlenW(text));
  SelectObject(dc, g_font_small);
  for (int row = 0; row < 2; row++) {
    text[0] = 0;
    get_text(row == kTextNone ? kTextAscInput : kTextHexInput, text);
    TextOutW(dc, 0, at(row == 0 ? 45 : 65), text, lstrlenW(text));
  }
  const int offset = modbus_preview_offset(&g_modbus);
  for (int i = 0; i < kModbusPreviewColumns; i++) {
    wchar_t n[8];
    int len = _snwprintf(n, 8, L"%03d", offset + i);
    TextOutW(dc, left + cell * i, at(25), n, len);
  }

  SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  const int shown = std::min(kModbusPreviewColumns, g_modbus.frame_length - offset);
  for (int i = 0; i < shown; i++) {
    const int x = left + cell * i, odd = i & 1;
    const uint8_t unit = static_cast<uint8_t>(g_modbus.frame[offset + i]);
    char16_t display[3], hex[3];
    const int n = byte_display_text(unit, display);
    byte_hex_text(unit, hex);
    SetBkColor(dc, slot_color(odd ? kSlotAscBack1 : kSlotAscBack2));
    TextOutW(dc, x + (n == 1 ? w / 2 : 0), band, wide(display), n);
    SetBkColor(dc, slot_color(odd ? kSlotHexBack1 : kSlotHexBack2));
    TextOutW(dc, x, band + h, wide(hex), 2);
  }
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {IDC_MB_START_LABEL, kTextModbusStartChar}, {IDC_MB_START_NOTE, kTextHexInput},    {IDC_MB_SLAVE_LABEL, kTextModbusSlave}, {IDC_MB_SLAVE_NOTE, kTextAscInput},
      {IDC_MB_FUNCTION_LABEL, kTextModbusFunction}, {IDC_MB_ADDRESS_LABEL, kTextModbusRegister}, {IDC_MB_ADDRESS_NOTE, kTextDecimalInput},
      {IDC_MB_COUNT_LABEL, kTextModbusCount}, {IDC_MB_COUNT_NOTE, kTextDecimalInput}, {IDC_MB_DATA_LABEL, kTextModbusData}, {IDC_MB_END_LABEL, kTextModbusEndCode},
      {IDC_MB_END_NOTE, kTextHexInput},     {IDC_MB_ASSEMBLE, kTextAssemble},    {IDC_MB_SEND_CH1, kTextSendCh1},     {IDC_MB_SEND_CH2, kTextSendCh2},
      {IDC_MB_CLOSE, kTextClose},           {IDC_MB_MODE_TCP, kTextModbusTcp},   {IDC_REPEAT_OPEN, kTextRepeatOpen}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  const Settings& s = g_app.settings;

  HWND function = GetDlgItem(dlg, IDC_MB_FUNCTION);
  SendMessageW(function, CB_RESETCONTENT, 0, 0);
  for (int k = 1; k <= kFunctionTexts; k++) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(function_text(k), text);
    SendMessageW(function, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  HWND ratio = GetDlgItem(dlg, IDC_MB_RATIO);
  SendMessageW(ratio, CB_RESETCONTENT, 0, 0);
  for (const wchar_t* r : {L"x1", L"x2", L"x4", L"x8"}) SendMessageW(ratio, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r));

  SetDlgItemTextW(dlg, IDC_MB_SLAVE, wide(s.dlg13_slave_char));
  show_function(dlg, s.dlg13_fanction);
  show_number(dlg, IDC_MB_ADDRESS, s.dlg13_address);
  show_number(dlg, IDC_MB_COUNT, s.dlg13_conut);
  wchar_t ratio_text[16];
  _snwprintf(ratio_text, 16, L"x%d", s.dlg13_fanction == 0x10 ? s.dlg13_byteratio : 1);
  SetDlgItemTextW(dlg, IDC_MB_RATIO, ratio_text);
  show_data(dlg);
  show_mode(dlg);
  field_rule(dlg, s.dlg13_fanction);
  if (g_channel[0].open.load() == 0) enable(dlg, IDC_MB_SEND_CH1, false);
  if (g_channel[1].open.load() == 0) enable(dlg, IDC_MB_SEND_CH2, false);
  layout(dlg);
  SetTimer(dlg, kRepeatTimer, kRepeatShowMs, nullptr);
  repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatModbus);
  dialog_look_init(dlg);
}

void on_command(HWND dlg, int id) {
  switch (id) {
    case IDC_MB_FUNCTION: SetTimer(dlg, kFunctionTimer, kFunctionDelay, nullptr); break;
    case IDC_MB_MODE_ASC: set_mode(dlg, kModbusAscii); break;
    case IDC_MB_MODE_RTU: set_mode(dlg, kModbusRtu); break;
    case IDC_MB_MODE_TCP: set_mode(dlg, kModbusTcp); break;
    case IDC_MB_DATA_ASC: case IDC_MB_DATA_HEX: set_entry(dlg, id == IDC_MB_DATA_HEX); break;
    case IDC_MB_ASSEMBLE:
      read_inputs(dlg);
      assemble(dlg);
      break;
    case IDC_MB_SEND_CH1: case IDC_MB_SEND_CH2: send(dlg, id == IDC_MB_SEND_CH1 ? 1 : 2); break;
    case IDC_REPEAT_OPEN:
      read_inputs(dlg);
      repeat_dialog_run(dlg, kRepeatModbus, repeat_frame, 0);
      repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatModbus);
      break;
    case IDC_MB_LEFT: case IDC_MB_RIGHT:
      modbus_preview_scroll(&g_modbus, id == IDC_MB_RIGHT);
      repaint_preview(dlg);
      break;
    case IDC_MB_CLOSE:
      KillTimer(dlg, kFunctionTimer);
      KillTimer(dlg, kRepeatTimer);
      EndDialog(dlg, IDC_MB_CLOSE);
      break;
    default: break;
  }
}

INT_PTR CALLBACK modbus_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case kMessageRescaled:
      layout(dlg);
      InvalidateRect(dlg, nullptr, TRUE);
      return TRUE;
    case WM_COMMAND: on_command(dlg, LOWORD(wp)); return TRUE;
    case WM_TIMER:
      if (wp == kFunctionTimer) on_function_timer(dlg);
      if (wp == kRepeatTimer) repeat_counts_show(dlg, IDC_REPEAT_COUNTS, kRepeatModbus);
      return TRUE;
    case WM_PAINT: paint(dlg); return TRUE;
    case WM_CLOSE:
      KillTimer(dlg, kFunctionTimer);
      KillTimer(dlg, kRepeatTimer);
      EndDialog(dlg, 1);
      return TRUE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void modbus_dialog_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MODBUS), owner, modbus_dialog_proc, 0);
}
