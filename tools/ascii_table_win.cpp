// The ASCII table window (122): a modeless reference of the codes 0x00 to
// 0x7F. Every open command makes a new, independent window; it keeps no
// state of its own, so several can be open at once.
#include "app/app_win.h"

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "tools/ascii_table.h"
#include "ui/dialog_look_win.h"
#include "view/fonts_win.h"

namespace {

void ascii_table_paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  for (int code = 0; code < kAsciiCodes; code++) {
    AsciiCell cell;
    ascii_table_cell(code, &cell);
    TextOutW(dc, cell.code_x, cell.y, wide(cell.code), 3);
    TextOutW(dc, cell.name_x, cell.y, wide(cell.name), cell.name_len);
  }
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

// Drawn straight onto the window while the button is held; the repaint on
// release takes it away again.
void ascii_table_describe(HWND dlg, int x, int y) {
  int n = ascii_table_description(x, y);
  if (n == 0) return;
  wchar_t text[kMessageTextUnits] = L"";
  get_text(n, text);
  HDC dc = GetDC(dlg);
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, slot_color(kSlotBackground));
  SetTextColor(dc, slot_color(kSlotText));
  TextOutW(dc, x + 30, y, text, lstrlenW(text));
  SelectObject(dc, old_font);
  ReleaseDC(dlg, dc);
}

INT_PTR CALLBACK ascii_table_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      set_dialog_text(dlg, 0, kTextAsciiTitle);
      dialog_look_init(dlg);
      return TRUE;
    }
    case WM_PAINT: ascii_table_paint(dlg); return TRUE;
    case WM_LBUTTONDOWN:
      ascii_table_describe(dlg, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return TRUE;
    case WM_LBUTTONUP:
      InvalidateRect(dlg, nullptr, TRUE);
      UpdateWindow(dlg);
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_CTLCOLORDLG: {
      // Of the common look this window takes the dialog brush and the title bar only.
      INT_PTR result = 0;
      dialog_look(dlg, msg, wp, lp, &result);
      return result;
    }
    default: return FALSE;
  }
}

}  // namespace

void ascii_table_open(HWND owner) {
  HWND dlg = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_ASCII_TABLE), owner, ascii_table_proc, 0);
  if (dlg) ShowWindow(dlg, SW_SHOW);
}
