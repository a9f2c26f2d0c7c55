// The macro dialog (117, modal): names the macro file, loads it into the
// macro buffer and runs it, one line per tick of its 50 ms timer 1, showing
// the line that runs; stop and close end the run.
//
// Everything runs on the user-interface thread, and nothing here waits:
// while TIME or a read command waits, timer 1 ticks every kMacroPollMs and
// each tick looks once whether the wait is over, so the program answers
// throughout, and stop and close end the run at once, mid-wait too. A
// message box shown by a step runs its own message loop, in which further
// ticks arrive: they are passed over until the box is answered, so
// steps never overlap.
#include "macro/macro_win.h"

#include <cwchar>

#include "resources/resource.h"
#include "transfer/transfer_win.h"
#include "ui/dialog_look_win.h"
#include "ui/file_chooser_win.h"

namespace {

constexpr UINT_PTR kStepTimer = 1;
constexpr UINT kStepPeriod = 50;
constexpr int kNameChars = 259;

struct MacroDialog {
  int stepping;  // 1 while a step (and any box it shows) runs
  UINT period;   // timer 1's period while it runs
};
MacroDialog g_macro_dialog;

// Ends a run at once: no tick of it comes after this.
void macro_halt(HWND dlg) {
  KillTimer(dlg, kStepTimer);
  // A file transfer the macro waits for ends with it.
  if (g_macro.wait.what == kMacroWaitTransfer) transfer_stop();
  macro_stop(&g_macro);
}

void macro_dialog_init(HWND dlg) {
  set_dialog_text(dlg, 0, kTextMacroTitle);
  set_dialog_text(dlg, IDC_MACRO_LABEL, kTextMacroFileName);
  set_dialog_text(dlg, IDC_MACRO_RUN, kTextMacroRun);
  set_dialog_text(dlg, IDC_MACRO_CLOSE, kTextMacroClose);
  set_dialog_text(dlg, IDC_MACRO_STOP, kTextMacroStop);
  SendDlgItemMessageW(dlg, IDC_MACRO_NAME, EM_LIMITTEXT, kNameChars, 0);
  SetDlgItemTextW(dlg, IDC_MACRO_NAME, wide(g_app.settings.macro_filename));
  g_app.tool_open[kToolMacro] = 1;
  dialog_look_init(dlg);
}

// The edit's text into name (kNameChars + 1 units); 1 after telling the
// user that it is longer than a name may be (pasted text passes the limit).
int macro_name(HWND dlg, wchar_t name[kNameChars + 1]) {
  if (GetWindowTextLengthW(GetDlgItem(dlg, IDC_MACRO_NAME)) > kNameChars) {
    show_texts(dlg, L"CreateFile", {kTextNameTooLong}, nullptr, kNameChars);
    return 1;
  }
  name[0] = 0;
  GetDlgItemTextW(dlg, IDC_MACRO_NAME, name, kNameChars + 1);
  return 0;
}

void macro_browse(HWND dlg) {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t path[MAX_PATH] = L"";
  GetDlgItemTextW(dlg, IDC_MACRO_NAME, path, kNameChars + 1);
  if (!path[0]) lstrcpynW(path, L"Temp1.txt", MAX_PATH);
  if (!file_chooser(dlg, kChooseOpenText, path)) return;
  SetDlgItemTextW(dlg, IDC_MACRO_NAME, path);
  lstrcpynW(wide(g_app.settings.macro_filename), path, kNameChars + 1);
}

// Loads the named file and starts it; a failure is told and leaves the
// interpreter idle.
void macro_run(HWND dlg) {
  macro_halt(dlg);
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t name[kNameChars + 1];
  if (macro_name(dlg, name)) return;
  if (wcslen(name) < 3) {
    show_message(dlg, kTextEnterMacroName, 0, L"CreateFile");
    return;
  }
  HANDLE file = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    show_message(dlg, kTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  lstrcpynW(wide(g_app.settings.macro_filename), name, kNameChars + 1);
  static uint8_t bytes[kMacroFileBytes];
  DWORD got = 0;
  BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  DWORD err = GetLastError();
  CloseHandle(file);
  if (!read) {
    show_texts(dlg, L"ReadFile", {kTextMacroReadFailed}, name, static_cast<int>(err));
    return;
  }
  int refused = macro_load(&g_macro, bytes, got);
  if (refused) {
    show_message(dlg, refused, 0, L"CreateFile");
    return;
  }
  macro_start(&g_macro, &g_app.capture);
  g_macro_dialog.period = kStepPeriod;
  SetTimer(dlg, kStepTimer, kStepPeriod, nullptr);
}


void macro_tick(HWND dlg) {
  if (g_macro_dialog.stepping) return;
  g_macro_dialog.stepping = 1;
  MacroHost host = macro_host_win(dlg);
  int outcome = macro_step(&g_macro, &host);
  // A wait is looked at often, so it ends close to its time; lines go on
  // at one per kStepPeriod.
  UINT period = outcome == kMacroWaiting ? kMacroPollMs : kStepPeriod;
  if (period != g_macro_dialog.period && (outcome == kMacroWaiting || outcome == kMacroNext ||
                                          outcome == kMacroSendFailed)) {
    g_macro_dialog.period = period;
    SetTimer(dlg, kStepTimer, period, nullptr);
  }
  switch (outcome) {
    case kMacroSendFailed: show_message(dlg, kTextSendFailed, 0, L"Quorrin"); break;
    case kMacroEnded:
      KillTimer(dlg, kStepTimer);
      show_message(dlg, kTextMacroFinished, 0, L"Quorrin");
      break;
    case kMacroRanOff:
      KillTimer(dlg, kStepTimer);
      show_message(dlg, kTextMacroRanOff, 0, L"Quorrin");
      break;
    case kMacroStopped: {
      KillTimer(dlg, kStepTimer);
      const MacroFault& f = g_macro.fault;
      show_texts(dlg, L"Quorrin", {kTextMacroStoppedAt, f.text}, nullptr, f.step, f.args[0], f.args[1], f.args[2]);
      break;
    }
    default: break;
  }
  g_macro_dialog.stepping = 0;
}

INT_PTR CALLBACK macro_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      macro_dialog_init(dlg);
      return TRUE;
    case WM_TIMER:
      if (wp == kStepTimer) macro_tick(dlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_MACRO_BROWSE: macro_browse(dlg); return TRUE;
        case IDC_MACRO_RUN: macro_run(dlg); return TRUE;
        case IDC_MACRO_STOP: macro_halt(dlg); return TRUE;
        case IDC_MACRO_CLOSE:
          macro_halt(dlg);
          g_app.tool_open[kToolMacro] = 0;
          EndDialog(dlg, IDC_MACRO_CLOSE);
          return TRUE;
        default: return FALSE;
      }
    case WM_DESTROY:
      macro_halt(dlg);
      g_app.tool_open[kToolMacro] = 0;
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void macro_dialog_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MACRO), owner, macro_dialog_proc, 0);
}
