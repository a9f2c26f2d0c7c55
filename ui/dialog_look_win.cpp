#include "ui/dialog_look_win.h"

#include <dwmapi.h>

#include "app/chrome_win.h"

void dialog_look_init(HWND dlg) {
  BOOL dark = g_app.dark_mode ? TRUE : FALSE;
  DwmSetWindowAttribute(dlg, 20, &dark, sizeof dark);
}

static void dialog_draw_button(const DRAWITEMSTRUCT* item) {
  HBRUSH face = CreateSolidBrush(slot_color(kSlotButtonFace));
  HBRUSH frame = CreateSolidBrush(slot_color(kSlotText));
  RECT r = item->rcItem;
  FillRect(item->hDC, &r, face);
  FrameRect(item->hDC, &r, frame);
  SetBkMode(item->hDC, TRANSPARENT);
  SetTextColor(item->hDC, slot_color(kSlotText));
  wchar_t text[64] = L"";
  GetWindowTextW(item->hwndItem, text, 64);
  DrawTextW(item->hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DeleteObject(face);
  DeleteObject(frame);
}

int dialog_look(HWND, UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
  HDC dc = reinterpret_cast<HDC>(wp);
  switch (msg) {
    case WM_CTLCOLORDLG:
      *result = reinterpret_cast<INT_PTR>(g_brush[kSlotDialogBack]);
      return 1;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      SetBkColor(dc, slot_color(kSlotDialogBack));
      SetTextColor(dc, slot_color(kSlotText));
      *result = reinterpret_cast<INT_PTR>(g_brush[kSlotDialogBack]);
      return 1;
    case WM_CTLCOLOREDIT:
      SetBkColor(dc, slot_color(kSlotBackground));
      SetTextColor(dc, slot_color(kSlotText));
      *result = reinterpret_cast<INT_PTR>(g_brush[kSlotDialogBack]);
      return 1;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlType != ODT_BUTTON) return 0;
      dialog_draw_button(item);
      *result = TRUE;
      return 1;
    }
    default: return 0;
  }
}

INT_PTR dialog_look_modal(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    EndDialog(dlg, 1);
    return TRUE;
  }
  INT_PTR result = 0;
  return dialog_look(dlg, msg, wp, lp, &result) ? result : FALSE;
}

HWND tool_window_open(HWND open, HWND owner, int id, DLGPROC proc) {
  if (open) {
    // On top of this program's windows first: under Wine, closing another
    // tool window can leave this one behind the main window, and a
    // foreground change alone does not raise it.
    if (IsIconic(open)) ShowWindow(open, SW_RESTORE);
    SetWindowPos(open, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(open);
    return open;
  }
  HWND dlg = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(id), owner, proc, 0);
  if (dlg) ShowWindow(dlg, SW_SHOW);
  return dlg;
}
