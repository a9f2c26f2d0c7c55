#include "ui/file_chooser_win.h"

#include <commdlg.h>


int file_chooser(HWND owner, int mode, wchar_t* path) {
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
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = title;
  ofn.Flags = rule->multiple ? OFN_EXPLORER | OFN_ALLOWMULTISELECT : OFN_FILEMUSTEXIST | OFN_EXTENSIONDIFFERENT;
  if (!(rule->save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return 0;
  if (file_chooser_fix_extension(path16, mode)) {
    show_texts(owner, L"Error", {kTextNameTooLongForExtension}, path, wide(rule->extension));
    return 0;
  }
  return 1;
}
