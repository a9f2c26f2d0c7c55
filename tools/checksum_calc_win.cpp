// The checksum calculator (dialog 120, modal) and its kind choice (dialog
// 121): a typed run of characters or hex bytes, the checksum of the kind
// kept in the setting dlg10_scchar_mode, drawn in two forms by "結果", and
// copied to the clipboard in either form. The input and the last result
// live in g_checksum for the whole run.
#include "app/app_win.h"

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "tools/cell_strip_win.h"
#include "tools/checksum_calc.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "view/fonts_win.h"

namespace {

constexpr UINT_PTR kFocusTimer = 1;
constexpr int kClipboardMax = 1024;  // characters a copy takes at most
constexpr TypedStripIds kStripIds = {IDC_CS_FIELD, IDC_CS_LEFT, IDC_CS_RIGHT, IDC_CS_MODE_HEAD,
                                     IDC_CS_ASC,   IDC_CS_HEX,  IDC_CS_CLR,   IDC_CS_BS};

struct ChecksumState {
  TypedInput input;
  TypedField field;
  ChecksumResult result;  // len 0 until the first "結果"
};
ChecksumState g_checksum = {};

void layout(HWND dlg) {
  const StripGeometry g = strip_geometry();
  auto at = [&g](int32_t v) { return px(v, g.dpi); };
  const int x0 = typed_strip_layout(dlg, g, kStripIds);
  // The answer line is drawn at (500, 86); the buttons sit below it.
  const int y = at(86) + g.h + at(10);
  strip_place(dlg, IDC_CS_KIND, at(40), y, at(150), at(26));
  strip_place(dlg, IDC_CS_KIND_NAME, at(196), y + at(5), at(70), at(18));
  strip_place(dlg, IDC_CS_RESULT, at(280), y, at(100), at(26));
  strip_place(dlg, IDC_CS_COPY_ASC, at(390), y, at(110), at(26));
  strip_place(dlg, IDC_CS_COPY_HEX, at(506), y, at(110), at(26));
  strip_place(dlg, IDC_CS_CLOSE, g.right - at(100), y, at(100), at(26));
  strip_fit_window(dlg, x0 + at(190), y + at(34));
}

void show_kind(HWND dlg) {
  SetDlgItemTextW(dlg, IDC_CS_KIND_NAME, wide(checksum_kind_name(g_app.settings.dlg10_scchar_mode)));
}

void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  HGDIOBJ old_font = GetCurrentObject(dc, OBJ_FONT);
  typed_strip_paint(dc, strip_geometry(), &g_checksum.input, 95, kSlotText);
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

// Drawn once, straight onto the dialog: a later repaint does not repeat it.
void show_result(HWND dlg) {
  checksum_calc_result(&ansi_codec_win, g_checksum.input.units, g_checksum.input.count,
                       g_app.settings.dlg10_scchar_mode, g_app.settings.hexasc_komoji, &g_checksum.result);
  char16_t answer[2 * kChecksumTextUnits];
  const int n = checksum_calc_answer(&g_checksum.result, answer);
  HDC dc = GetDC(dlg);
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, slot_color(kSlotAnswerBack));
  SetTextColor(dc, slot_color(kSlotText));
  TextOutW(dc, px(500, g_app.metrics.dpi), px(86, g_app.metrics.dpi), wide(answer), n);
  SelectObject(dc, old_font);
  ReleaseDC(dlg, dc);
}

// Copy to clipboard: the text as CF_TEXT in the system ANSI code page.
void clipboard_copy(HWND owner, const wchar_t* text) {
  int len = lstrlenW(text);
  if (len == 0) return;
  if (len > kClipboardMax) len = kClipboardMax;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, len, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(bytes) + 1);
  if (!block) return;
  char* p = static_cast<char*>(GlobalLock(block));
  if (!p) {
    GlobalFree(block);
    return;
  }
  WideCharToMultiByte(CP_ACP, 0, text, len, p, bytes, nullptr, nullptr);
  p[bytes] = 0;
  GlobalUnlock(block);
  if (!OpenClipboard(owner)) {
    GlobalFree(block);
    return;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);  // the clipboard owns it only on success
  CloseClipboard();
}

void close_dialog(HWND dlg) {
  KillTimer(dlg, kFocusTimer);
  g_app.checksum_open = 0;
  EndDialog(dlg, IDC_CS_CLOSE);
}

INT_PTR CALLBACK kind_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      set_dialog_text(dlg, 0, kTextChecksumKindTitle);
      set_dialog_text(dlg, IDC_CK_HEAD, kTextChecksumKind);
      set_dialog_text(dlg, IDC_CK_CLOSE, kTextClose);
      HWND combo = GetDlgItem(dlg, IDC_CK_COMBO);
      SendMessageW(combo, CB_RESETCONTENT, 0, 0);
      for (int k = 0; k < kChecksumKinds; k++)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(checksum_kind_name(k))));
      SetWindowTextW(combo, wide(checksum_kind_name(g_app.settings.dlg10_scchar_mode)));
      g_app.checksum_kind_open = 1;
      dialog_look_init(dlg);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_CK_CLOSE) {
        wchar_t name[62] = L"";
        GetDlgItemTextW(dlg, IDC_CK_COMBO, name, 62);
        g_app.settings.dlg10_scchar_mode = checksum_kind_from_name(reinterpret_cast<const char16_t*>(name));
        EndDialog(dlg, IDC_CK_CLOSE);
        return TRUE;
      }
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);  // the close box keeps the kind
  }
}

void on_command(HWND dlg, int id) {
  if (typed_strip_command(dlg, kStripIds, &g_checksum.field, id)) return;
  switch (id) {
    case IDC_CS_RESULT: show_result(dlg); break;
    case IDC_CS_KIND:
      g_app.checksum_kind_open = 1;
      DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_CHECKSUM_KIND), dlg, kind_proc, 0);
      g_app.checksum_kind_open = 0;
      show_kind(dlg);
      break;
    case IDC_CS_COPY_ASC: case IDC_CS_COPY_HEX: {
      char16_t text[kChecksumTextUnits];
      if (id == IDC_CS_COPY_ASC) checksum_calc_asc_copy(&g_checksum.result, text);
      else checksum_calc_hex_copy(&g_checksum.result, text);
      clipboard_copy(dlg, wide(text));
      close_dialog(dlg);
      break;
    }
    case IDC_CS_CLOSE: close_dialog(dlg); break;
    default: break;
  }
}

void on_init(HWND dlg) {
  set_dialog_text(dlg, 0, kTextChecksumTitle);
  static const struct { int id, text; } kLabels[] = {{IDC_CS_MODE_HEAD, kTextInputMethod}, {IDC_CS_KIND, kTextChecksumKind},
                                                     {IDC_CS_RESULT, kTextChecksumResult},   {IDC_CS_COPY_ASC, kTextCopyAsc},
                                                     {IDC_CS_COPY_HEX, kTextCopyHex}, {IDC_CS_CLOSE, kTextClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  g_checksum.field.in = &g_checksum.input;
  g_checksum.field.edit_keys = 0;  // Backspace and Delete do nothing here: "BS" and "CLR" do
  typed_strip_open(dlg, kStripIds, &g_checksum.field, 30, 15);
  show_kind(dlg);
  SetTimer(dlg, kFocusTimer, 3000, nullptr);
  g_app.checksum_kind_open = 0;
  g_app.checksum_open = 1;
  layout(dlg);
  dialog_look_init(dlg);
}

INT_PTR CALLBACK checksum_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return FALSE;
    case kMessageRescaled:
      layout(dlg);
      InvalidateRect(dlg, nullptr, TRUE);
      return TRUE;
    case WM_COMMAND: on_command(dlg, LOWORD(wp)); return TRUE;
    case WM_TIMER:
      if (wp == kFocusTimer && !g_app.checksum_kind_open && g_app.settings.auto_foucs_OFF != 1) {
        SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        SetFocus(GetDlgItem(dlg, IDC_CS_FIELD));
      }
      return TRUE;
    case WM_PAINT:
      paint(dlg);
      SetFocus(GetDlgItem(dlg, IDC_CS_FIELD));
      return TRUE;
    case WM_CLOSE: close_dialog(dlg); return TRUE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void checksum_calculator_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_CHECKSUM), owner, checksum_proc, 0);
  g_app.checksum_open = 0;
}
