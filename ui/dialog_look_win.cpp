#include "ui/dialog_look_win.h"

#include <dwmapi.h>

#include "app/chrome_win.h"

void dialog_look_init(HWND dlg) {
  BOOL dark = g_app.dark_mode ? TRUE : FALSE;
  DwmSetWindowAttribute(dlg, 20, &dark, sizeof dark);
}

// Half way between two colours: a disabled button's text on its face.
static COLORREF colour_between(COLORREF a, COLORREF b) {
  return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2, (GetBValue(a) + GetBValue(b)) / 2);
}

// A button in the palette's colours: greyed text when disabled, a double
// frame and the text a pixel down while pressed, the focus rectangle for
// the keyboard.
static void dialog_draw_button(const DRAWITEMSTRUCT* item) {
  const int disabled = (item->itemState & ODS_DISABLED) != 0;
  const int pressed = (item->itemState & ODS_SELECTED) != 0;
  HBRUSH face = CreateSolidBrush(slot_color(kSlotButtonFace));
  HBRUSH frame = CreateSolidBrush(slot_color(kSlotText));
  RECT r = item->rcItem;
  FillRect(item->hDC, &r, face);
  FrameRect(item->hDC, &r, frame);
  if (pressed) {
    RECT inner = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    FrameRect(item->hDC, &inner, frame);
  }
  SetBkMode(item->hDC, TRANSPARENT);
  SetTextColor(item->hDC, disabled ? colour_between(slot_color(kSlotText), slot_color(kSlotButtonFace))
                                   : slot_color(kSlotText));
  wchar_t text[64] = L"";
  GetWindowTextW(item->hwndItem, text, 64);
  RECT t = r;
  if (pressed) OffsetRect(&t, 1, 1);
  DrawTextW(item->hDC, text, -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT)) {
    RECT f = {r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
    DrawFocusRect(item->hDC, &f);
  }
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
