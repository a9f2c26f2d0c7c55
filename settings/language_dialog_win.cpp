// The language dialog (118): a drop-down list of the four languages; OK
// makes the chosen one current.
#include "app/app_win.h"
#include "resources/resource.h"
#include "ui/dialog_look_win.h"

namespace {

const wchar_t* const kLanguageNames[kLanguages] = {L"Japanese", L"English", L"Korean", L"Chinese"};

INT_PTR CALLBACK language_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      HWND combo = GetDlgItem(dlg, IDC_LANGUAGE_COMBO);
      SendMessageW(combo, CB_RESETCONTENT, 0, 0);
      for (const wchar_t* name : kLanguageNames) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
      int current = g_app.settings.moji_type;
      if (current >= 0 && current < kLanguages) {
        SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kLanguageNames[current]));
        // A drop-down list shows its text through the selection.
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
      }
      dialog_look_init(dlg);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_LANGUAGE_OK) {
        wchar_t text[32] = L"";
        GetWindowTextW(GetDlgItem(dlg, IDC_LANGUAGE_COMBO), text, 32);
        int chosen = 0;  // Japanese, also for an empty or unknown text
        for (int i = 1; i < kLanguages; i++)
          if (lstrcmpW(text, kLanguageNames[i]) == 0) chosen = i;
        g_app.settings.moji_type = chosen;
        EndDialog(dlg, IDC_LANGUAGE_OK);
        return TRUE;
      }
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void language_dialog_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_LANGUAGE), owner, language_dialog_proc, 0);
}
