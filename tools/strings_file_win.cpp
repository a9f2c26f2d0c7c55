#include "tools/strings_file_win.h"

#include <commdlg.h>

#include "view/logfile_win.h"

int choose_file(HWND owner, wchar_t* path, int save) {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t name[MAX_PATH];
  lstrcpynW(name, path[0] ? path : L"temp.txt", MAX_PATH);
  if (program_file(name, path)) lstrcpynW(path, name, MAX_PATH);
  wchar_t title[kMessageTextUnits] = L"";
  get_text(save ? 10 : 11, title);
  return common_file_dialog(owner, save, L"TxtFile(*.txt)\0*.txt\0AllFile(*.*)\0*.*\0", title, path,
                            OFN_FILEMUSTEXIST | OFN_EXTENSIONDIFFERENT);
}

void strings_file_save(HWND owner, wchar_t* path, const StringEntry* entries, int m) {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  if (strings_file_fix_extension(reinterpret_cast<char16_t*>(path), MAX_PATH)) {
    show_error(owner, L"CreateFile", L"The file name is too long for the extension .txt:\n%ls", path);
    return;
  }
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    show_message(owner, 34, 0, L"CreateFile");
    return;
  }
  static const uint8_t kBom[2] = {0xFF, 0xFE};
  DWORD done = 0;
  WriteFile(f, kBom, 2, &done, nullptr);
  for (int i = 0; i < m && entries[i].count > 0; i++) {
    char16_t line[kStringsLineUnits];
    int n = strings_file_line(&entries[i], line);
    WriteFile(f, line, static_cast<DWORD>(n) * 2, &done, nullptr);
  }
  if (!CloseHandle(f)) MessageBoxW(owner, path, L"CloseHandle-errer", MB_OK);
}
