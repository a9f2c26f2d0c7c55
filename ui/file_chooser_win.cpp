#include "ui/file_chooser_win.h"

#include <commdlg.h>
#include <shlobj.h>


int file_chooser(HWND owner, int mode, wchar_t* path, int units) {
  const FileChooserRule* rule = file_chooser_rule(mode);
  wchar_t title[kMessageTextUnits] = L"";
  if (rule->title_text) get_text(rule->title_text, title);
  else lstrcpynW(title, wide(rule->title), kMessageTextUnits);
  SetCurrentDirectoryW(wide(g_app.program_dir));
  char16_t* path16 = reinterpret_cast<char16_t*>(path);
  file_chooser_initial_path(path16, g_app.program_dir, mode);

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = wide(rule->filter);
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = static_cast<DWORD>(units);
  ofn.lpstrTitle = title;
  ofn.Flags = rule->multiple ? OFN_EXPLORER | OFN_ALLOWMULTISELECT : OFN_FILEMUSTEXIST | OFN_EXTENSIONDIFFERENT;
  if (!(rule->save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return 0;
  if (file_chooser_fix_extension(path16, mode)) {
    show_texts(owner, L"Error", {kTextNameTooLongForExtension}, path, wide(rule->extension));
    return 0;
  }
  return 1;
}

namespace {

// Opens the dialog at the folder it was given.
int CALLBACK folder_begin(HWND dlg, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED) SendMessageW(dlg, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

int folder_choose(HWND owner, int title, wchar_t* folder) {
  wchar_t caption[kMessageTextUnits] = L"";
  get_text(title, caption);
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = caption;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = folder_begin;
  info.lParam = reinterpret_cast<LPARAM>(folder);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return 1;
  wchar_t path[MAX_PATH] = L"";
  const BOOL got = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!got) return 1;
  lstrcpynW(folder, path, MAX_PATH);
  return 0;
}
