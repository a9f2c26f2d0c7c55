// The color setting dialog (125): edits copies of the light and dark
// palettes with a preview of the edited one painted from the copy, and on
// "Rewrite and close" puts both into g_app.palettes and writes color.ini.
// The main window makes its pens and brushes from them at the next start.
#include "app/app_win.h"

#include <commdlg.h>

#include <algorithm>
#include <climits>

#include "resources/resource.h"
#include "settings/color_rows.h"
#include "ui/dialog_look_win.h"
#include "ui/scale.h"
#include "view/fonts_win.h"

namespace {

constexpr int kRowButtonBase = 250;  // row k's color button is 250 + k

struct ColorDialog {
  Palettes working;  // copies taken at start, dropped unless rewritten
  int dark;          // 1 while the dark working palette is the edited one
};

Rgb* edited_palette(ColorDialog* d) { return d->dark ? d->working.dark : d->working.light; }

void edits_fill(HWND dlg, ColorDialog* d) {
  ColorEditTexts texts;
  color_rows_to_texts(edited_palette(d), &texts);
  for (int row = 1; row <= kColorRows; row++)
    for (int k = 0; k < 3; k++) SetDlgItemTextW(dlg, color_row_edit_id(row, k), wide(texts.text[row - 1][k]));
}

void edits_read(HWND dlg, ColorDialog* d) {
  ColorEditTexts texts;
  for (int row = 1; row <= kColorRows; row++)
    for (int k = 0; k < 3; k++) {
      wchar_t* t = wide(texts.text[row - 1][k]);
      t[0] = 0;
      GetDlgItemTextW(dlg, color_row_edit_id(row, k), t, kColorEditUnits);
    }
  color_rows_from_texts(edited_palette(d), &texts);
}

void dialog_repaint(HWND dlg) { RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN); }

void texts_set(HWND dlg) {
  const bool japanese = g_app.settings.moji_type == 0;
  SetWindowTextW(dlg, japanese ? L"\u8272\u8A2D\u5B9A" : L"Color setting");
  for (int row = 1; row <= kColorRows; row++)
    SetDlgItemTextW(dlg, kRowButtonBase + row, japanese ? L"\u8272" : L"color");
  SetDlgItemTextW(dlg, IDC_CO_CANCEL,
                  japanese ? L"\u30AD\u30E3\u30F3\u30BB\u30EB\u3057\u3066\u9589\u3058\u308B" : L"Cancel and close");
  SetDlgItemTextW(dlg, IDC_CO_REWRITE, japanese ? L"\u66F8\u304D\u63DB\u3048\u3066\u9589\u3058\u308B" : L"Rewrite and close");
  SetDlgItemTextW(dlg, IDC_CO_SET, japanese ? L"\u8272\u3092\u30BB\u30C3\u30C8" : L"Set Color");
}

// The system color chooser on row `row`'s slot; the custom colors offered
// are the rows' current colors, and what is done with them is not kept.
void row_choose(HWND dlg, ColorDialog* d, int row) {
  Rgb* palette = edited_palette(d);
  Rgb& slot = palette[color_row_slot(row)];
  COLORREF custom[16];
  for (int i = 0; i < 16; i++) custom[i] = rgb_colorref(palette[color_row_slot(i + 1)]);
  CHOOSECOLORW cc = {};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = dlg;
  cc.rgbResult = rgb_colorref(slot);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT;
  if (ChooseColorW(&cc)) slot = {GetRValue(cc.rgbResult), GetGValue(cc.rgbResult), GetBValue(cc.rgbResult)};
  SetFocus(dlg);
  edits_fill(dlg, d);
  dialog_repaint(dlg);
}

// The preview is drawn in pixels and the controls are placed in dialog
// units: with a dialog font narrower than the one the template was laid
// out with, the rows would cover the preview, so they move right (and the
// dialog grows) until the preview's part of the client area is free.
RECT child_rect(HWND dlg, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void preview_make_room(HWND dlg) {
  LONG left = LONG_MAX;
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) left = std::min(left, child_rect(dlg, c).left);
  RECT client;
  GetClientRect(dlg, &client);
  const int width = px(kPreviewWidth, g_app.metrics.dpi), height = px(kPreviewHeight, g_app.metrics.dpi);
  const int dx = left < width ? width - left : 0;
  const int dy = client.bottom < height ? height - client.bottom : 0;
  if (dx == 0 && dy == 0) return;
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r = child_rect(dlg, c);
    SetWindowPos(c, nullptr, r.left + dx, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT frame;
  GetWindowRect(dlg, &frame);
  SetWindowPos(dlg, nullptr, frame.left - dx / 2, frame.top - dy / 2, frame.right - frame.left + dx,
               frame.bottom - frame.top + dy, SWP_NOZORDER | SWP_NOACTIVATE);
}

COLORREF colorref(Rgb c) { return static_cast<COLORREF>(rgb_colorref(c)); }

// Draws the preview of the edited working palette. Each pen and brush is
// made for its item and released before the next.
void preview_paint(HDC dc, ColorDialog* d) {
  static PreviewItem items[kPreviewItemsMax];  // the dialog runs on the UI thread only
  int n = color_preview_build(edited_palette(d), d->dark, g_app.settings.moji_type == 0, items, kPreviewItemsMax);
  if (n > kPreviewItemsMax) n = kPreviewItemsMax;
  HGDIOBJ fallback = GetStockObject(DEFAULT_GUI_FONT);
  HGDIOBJ small_font = g_font_small ? static_cast<HGDIOBJ>(g_font_small) : fallback;
  HGDIOBJ big_font = g_font_big ? static_cast<HGDIOBJ>(g_font_big) : fallback;
  HGDIOBJ old_font = SelectObject(dc, small_font);
  const int old_mode = GetBkMode(dc);
  // The preview is laid out at 96 DPI and drawn at the data view's scale.
  const int32_t dpi = g_app.metrics.dpi;
  for (int i = 0; i < n; i++) {
    const PreviewItem& it = items[i];
    const int x0 = px(it.x0, dpi), y0 = px(it.y0, dpi), x1 = px(it.x1, dpi), y1 = px(it.y1, dpi);
    if (it.kind == kPreviewText) {
      SelectObject(dc, it.font == kPreviewBig ? big_font : small_font);
      SetTextColor(dc, colorref(it.ink));
      SetBkColor(dc, colorref(it.paper));
      SetBkMode(dc, it.opaque ? OPAQUE : TRANSPARENT);
      if (it.centered) {
        RECT r = {x0, y0, x1, y1};
        DrawTextW(dc, wide(it.text), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
      } else {
        TextOutW(dc, x0, y0, wide(it.text), lstrlenW(wide(it.text)));
      }
      continue;
    }
    HPEN pen = CreatePen(PS_SOLID, 1, colorref(it.pen));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    if (it.kind == kPreviewLine) {
      MoveToEx(dc, x0, y0, nullptr);
      LineTo(dc, x1, y1);
    } else {
      HBRUSH brush = CreateSolidBrush(colorref(it.fill));
      HGDIOBJ old_brush = SelectObject(dc, brush);
      Rectangle(dc, x0, y0, x1, y1);
      SelectObject(dc, old_brush);
      DeleteObject(brush);
    }
    SelectObject(dc, old_pen);
    DeleteObject(pen);
  }
  SetBkMode(dc, old_mode);
  SelectObject(dc, old_font);
}

INT_PTR CALLBACK color_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* d = reinterpret_cast<ColorDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      d = reinterpret_cast<ColorDialog*>(lp);
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      d->dark = g_app.dark_mode ? 1 : 0;
      CheckRadioButton(dlg, IDC_CO_LIGHT, IDC_CO_DARK, d->dark ? IDC_CO_DARK : IDC_CO_LIGHT);
      d->working = g_app.palettes;
      edits_fill(dlg, d);
      texts_set(dlg);
      preview_make_room(dlg);
      dialog_look_init(dlg);
      return TRUE;
    case WM_PAINT: {
      if (!d) return FALSE;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dlg, &ps);
      preview_paint(dc, d);
      EndPaint(dlg, &ps);
      return TRUE;
    }
    case WM_COMMAND: {
      // A double click on a button reports BN_DOUBLECLICKED after its
      // BN_CLICKED; only the click acts.
      if (!d || HIWORD(wp) != BN_CLICKED) return FALSE;
      const int id = LOWORD(wp);
      if (int row = color_row_of_button(id)) {
        row_choose(dlg, d, row);
        return TRUE;
      }
      switch (id) {
        case IDC_CO_LIGHT:
        case IDC_CO_DARK:
          d->dark = IsDlgButtonChecked(dlg, IDC_CO_DARK) == BST_CHECKED ? 1 : 0;
          edits_fill(dlg, d);
          dialog_repaint(dlg);
          return TRUE;
        case IDC_CO_SET:
          edits_read(dlg, d);
          dialog_repaint(dlg);
          return TRUE;
        case IDC_CO_REWRITE:
          // What is typed since the last "Set Color" is not read here.
          g_app.palettes = d->working;
          palettes_derive_button_face(&g_app.palettes);
          colors_file_save();
          EndDialog(dlg, IDC_CO_REWRITE);
          return TRUE;
        case IDC_CO_CANCEL:
          EndDialog(dlg, IDC_CO_CANCEL);
          return TRUE;
        default: return FALSE;
      }
    }
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

int color_dialog_run(HWND owner) {
  ColorDialog d = {};
  return static_cast<int>(
      DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_COLORS), owner, color_dialog_proc, reinterpret_cast<LPARAM>(&d)));
}
