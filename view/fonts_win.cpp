#include "view/fonts_win.h"

#include "view/data_view_win.h"

#include "ui/dpi_win.h"
#include "ui/scale.h"

HFONT g_font_small = nullptr;
HFONT g_font_big = nullptr;

static HFONT fonts_make(int height) {
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH, L"ＭＳＰゴシック");
}

void fonts_create(HWND hwnd) {
  const int32_t dpi = window_dpi(hwnd);
  g_font_small = fonts_make(px(10, dpi));
  g_font_big = fonts_make(px(18, dpi));
  HDC dc = GetDC(hwnd);
  SIZE small_w = {}, big_w = {}, send = {};
  HGDIOBJ old = SelectObject(dc, g_font_small);
  GetTextExtentPoint32W(dc, L"W", 1, &small_w);
  SelectObject(dc, g_font_big);
  GetTextExtentPoint32W(dc, L"W", 1, &big_w);
  GetTextExtentPoint32W(dc, L"SEND:", 5, &send);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  g_app.metrics = {small_w.cy, big_w.cx, big_w.cy, send.cx, dpi};
}

void fonts_delete() {
  if (g_font_small) DeleteObject(g_font_small);
  if (g_font_big) DeleteObject(g_font_big);
  g_font_small = g_font_big = nullptr;
}

int32_t view_cells_per_row_now(HWND hwnd) {
  RECT r;
  view_client_rect(hwnd, &r);
  return view_cells_per_row(r.right - r.left, g_app.metrics);
}

int32_t view_visible_rows_now(HWND hwnd) {
  RECT r;
  view_client_rect(hwnd, &r);
  return view_visible_rows(r.bottom - r.top, g_app.metrics);
}
