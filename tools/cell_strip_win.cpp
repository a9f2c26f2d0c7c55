#include "tools/cell_strip_win.h"

#include "app/chrome_win.h"
#include "codec/convert.h"
#include "view/fonts_win.h"

StripGeometry strip_geometry() {
  StripGeometry g;
  g.w = g_app.metrics.big_w;
  g.h = g_app.metrics.big_h;
  g.s = g_app.metrics.small_h;
  g.cell = 2 * g.w;
  g.pitch = g.s + 2 * g.h + 5;
  return g;
}

void strip_grid(HDC dc, const StripGeometry& g, int x, int y) {
  for (int i = 0; i < kStripCells; i++) {
    const int left = x + g.cell * i, odd = i & 1;
    RECT ch = {left, y, left + g.cell, y + g.h}, hx = {left, y + g.h, left + g.cell, y + 2 * g.h};
    FillRect(dc, &ch, g_brush[odd ? kSlotAscBack1 : kSlotAscBack2]);
    FillRect(dc, &hx, g_brush[odd ? kSlotHexBack1 : kSlotHexBack2]);
  }
}

void strip_cells(HDC dc, const StripGeometry& g, int x, int y, const char16_t* units, int count) {
  SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  SetTextColor(dc, slot_color(kSlotText));
  for (int i = 0; i < count && i < kStripCells; i++) {
    const int left = x + g.cell * i, odd = i & 1;
    CellTexts t;
    cell_texts(&ansi_codec_win, &units[i], 1, &t);
    SetBkColor(dc, slot_color(odd ? kSlotAscBack1 : kSlotAscBack2));
    TextOutW(dc, left + (t.display_len == 1 ? g.w / 2 : 0), y, wide(t.display), t.display_len);
    SetBkColor(dc, slot_color(odd ? kSlotHexBack1 : kSlotHexBack2));
    TextOutW(dc, left, y + g.h, wide(t.hex), 2);
  }
}

void strip_column_numbers(HDC dc, const StripGeometry& g, int x, int y, int first, int count) {
  SelectObject(dc, g_font_small);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  for (int i = 0; i < count && i < kStripCells; i++) {
    wchar_t n[12];
    int len = _snwprintf(n, 12, L"%03d", first + i);
    TextOutW(dc, x + g.cell * i, y, n, len);
  }
}

void strip_place(HWND dlg, int id, int x, int y, int w, int h) {
  HWND c = GetDlgItem(dlg, id);
  if (c) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void strip_label(HWND dlg, int id, int n) {
  wchar_t text[kMessageTextUnits] = L"";
  get_text(n, text);
  SetDlgItemTextW(dlg, id, text);
}
