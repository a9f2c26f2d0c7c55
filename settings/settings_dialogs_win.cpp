// The small settings dialogs of the main window: environment settings (116),
// the About box (110) and the dark and light mode dialog (124). One
// procedure each; they share the common dialog look.
#include "app/app_win.h"

#include <shellapi.h>

#include <cstdio>

#include "app/commands.h"
#include "app/text16.h"
#include "quorrin_version.h"
#include "resources/resource.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"

namespace {

const char kVersion[] = QUORRIN_VERSION_TEXT;
const wchar_t kDownloadPage[] = L"https://www.tessaly.example/quorrin/download/";

INT_PTR CALLBACK environment_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  Settings& s = g_app.settings;
  switch (msg) {
    case WM_INITDIALOG: {
      set_dialog_text(dlg, 0, kTextEnvironmentTitle);
      set_dialog_text(dlg, IDC_ENV_SCROLL_LABEL, kTextScrollStep);
      set_dialog_text(dlg, IDC_ENV_LOWER_HEX, kTextLowerCaseChecksum);
      set_dialog_text(dlg, IDC_ENV_NO_FOCUS, kTextNoAutoFocus);
      set_dialog_text(dlg, IDC_ENV_PERIOD_LABEL, kTextRepaintPeriod);
      set_dialog_text(dlg, IDC_ENV_CANCEL, kTextEnvironmentCancel);
      set_dialog_text(dlg, IDC_ENV_RECONNECT, kTextReconnect);
      HWND combo = GetDlgItem(dlg, IDC_ENV_SCROLL);
      SendMessageW(combo, CB_RESETCONTENT, 0, 0);
      wchar_t text[16];
      for (int i = 1; i <= 21; i++) {
        _snwprintf(text, 16, L"%d", i);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
      }
      _snwprintf(text, 16, L"%d", s.scrol_pitch);
      SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
      if (s.scrol_pitch >= 1 && s.scrol_pitch <= 21) SendMessageW(combo, CB_SETCURSEL, s.scrol_pitch - 1, 0);
      CheckDlgButton(dlg, IDC_ENV_LOWER_HEX, s.hexasc_komoji ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dlg, IDC_ENV_NO_FOCUS, s.auto_foucs_OFF ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dlg, IDC_ENV_RECONNECT, g_app.reconnect_setting ? BST_CHECKED : BST_UNCHECKED);
      _snwprintf(text, 16, L"%d", s.pl_time);
      SetDlgItemTextW(dlg, IDC_ENV_PERIOD, text);
      dialog_look_init(dlg);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_ENV_OK) {
        wchar_t text[8] = L"";
        GetDlgItemTextW(dlg, IDC_ENV_SCROLL, text, 8);
        s.scrol_pitch = text16_to_int(reinterpret_cast<char16_t*>(text), 7);
        s.hexasc_komoji = IsDlgButtonChecked(dlg, IDC_ENV_LOWER_HEX) == BST_CHECKED;
        s.auto_foucs_OFF = IsDlgButtonChecked(dlg, IDC_ENV_NO_FOCUS) == BST_CHECKED;
        g_app.reconnect_setting = IsDlgButtonChecked(dlg, IDC_ENV_RECONNECT) == BST_CHECKED;
        text[0] = 0;
        GetDlgItemTextW(dlg, IDC_ENV_PERIOD, text, 5);
        s.pl_time = timer_repaint_period(text16_to_int(reinterpret_cast<char16_t*>(text), 4));
        EndDialog(dlg, IDC_ENV_OK);
        return TRUE;
      }
      if (LOWORD(wp) == IDC_ENV_CANCEL) {
        EndDialog(dlg, IDC_ENV_CANCEL);
        return TRUE;
      }
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

INT_PTR CALLBACK about_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      set_dialog_text(dlg, 0, kTextAboutTitle);
      char version[32];
      std::snprintf(version, sizeof version, "Version %s", kVersion);
      wchar_t wide_version[32] = L"";
      MultiByteToWideChar(CP_THREAD_ACP, MB_PRECOMPOSED, version, -1, wide_version, 32);
      SetDlgItemTextW(dlg, IDC_ABOUT_VERSION, wide_version);
      // The compiler pads a one-digit day with a blank ("Dec  8 2026"):
      // show it as "Dec 8 2026".
      char date[16];
      int k = 0;
      for (const char* p = __DATE__; *p && k < 15; p++)
        if (!(*p == ' ' && k > 0 && date[k - 1] == ' ')) date[k++] = *p;
      date[k] = 0;
      wchar_t build[48];
      _snwprintf(build, 48, L"Build: %hs", date);
      SetDlgItemTextW(dlg, IDC_ABOUT_BUILD, build);
      dialog_look_init(dlg);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dlg, &ps);
      const int size = window_px(dlg, 64);  // 64 x 64 at (3, 22), at 96 DPI
      HICON icon = static_cast<HICON>(LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_QUORRIN), IMAGE_ICON, size, size, 0));
      if (icon) {
        DrawIconEx(dc, window_px(dlg, 3), window_px(dlg, 22), icon, size, size, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
      }
      EndPaint(dlg, &ps);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_ABOUT_OK) {
        EndDialog(dlg, IDC_ABOUT_OK);
        return TRUE;
      }
      if (LOWORD(wp) == IDC_ABOUT_NEW) {
        ShellExecuteW(nullptr, L"open", kDownloadPage, nullptr, nullptr, SW_SHOWNORMAL);
        return TRUE;
      }
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

INT_PTR CALLBACK theme_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      set_dialog_text(dlg, 0, kTextMenuTheme);
      set_dialog_text(dlg, IDC_THEME_DARK, kTextDarkMode);
      set_dialog_text(dlg, IDC_THEME_NO_MENU, kTextNoMenuBar);
      set_dialog_text(dlg, IDC_THEME_WRITE, kTextSaveAndRestart);
      set_dialog_text(dlg, IDC_THEME_CLOSE, kTextClose);
      CheckDlgButton(dlg, IDC_THEME_DARK, g_app.dark_mode ? BST_CHECKED : BST_UNCHECKED);
      CheckDlgButton(dlg, IDC_THEME_NO_MENU, g_app.menu_suppressed ? BST_CHECKED : BST_UNCHECKED);
      dialog_look_init(dlg);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_THEME_WRITE) {
        const int dark = IsDlgButtonChecked(dlg, IDC_THEME_DARK) == BST_CHECKED;
        const int no_menu = IsDlgButtonChecked(dlg, IDC_THEME_NO_MENU) == BST_CHECKED;
        theme_file_write(no_menu ? (dark ? 3 : 2) : dark);
        EndDialog(dlg, IDC_THEME_WRITE);
        return TRUE;
      }
      if (LOWORD(wp) == IDC_THEME_CLOSE) {
        EndDialog(dlg, IDC_THEME_CLOSE);
        return TRUE;
      }
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void environment_dialog_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ENVIRONMENT), owner, environment_proc, 0);
}

void about_box_run(HWND owner) { DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, about_proc, 0); }

int theme_dialog_run(HWND owner) {
  return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_THEME), owner, theme_proc, 0) == IDC_THEME_WRITE ? 1 : 0;
}
