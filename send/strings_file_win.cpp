#include "send/strings_file_win.h"

#include "ui/file_chooser_win.h"

void strings_file_save(HWND owner, wchar_t* path, const StringEntry* entries, int m) {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  if (strings_file_fix_extension(reinterpret_cast<char16_t*>(path), MAX_PATH)) {
    show_texts(owner, L"CreateFile", {kTextNameTooLongForExtension}, path, L".txt");
    return;
  }
  // Every line is tried before the file is created, so an entry that cannot
  // be written leaves an existing file as it was.
  int count = 0;
  for (; count < m && entries[count].count > 0; count++) {
    char16_t line[kStringsLineUnits];
    if (strings_file_line(&entries[count], line) < 0) {
      show_texts(owner, L"FileError", {kTextEntryTooLongForLine}, path, count + 1, kStringsLineMax);
      return;
    }
  }
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    show_message(owner, kTextTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  static const uint8_t kBom[2] = {0xFF, 0xFE};
  DWORD done = 0;
  BOOL ok = WriteFile(f, kBom, 2, &done, nullptr) && done == 2;
  for (int i = 0; ok && i < count; i++) {
    char16_t line[kStringsLineUnits];
    const DWORD bytes = static_cast<DWORD>(strings_file_line(&entries[i], line)) * 2;
    ok = WriteFile(f, line, bytes, &done, nullptr) && done == bytes;
  }
  if (!CloseHandle(f)) MessageBoxW(owner, path, L"CloseHandle-errer", MB_OK);
  // A full disk or a vanished network drive must not pass for a saved list.
  if (!ok) show_texts(owner, L"WriteFile", {kTextStringsWriteFailed}, path);
}

int strings_file_load(HWND owner, const wchar_t* name, int relative, StringEntry* list) {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t path[MAX_PATH];
  if (relative) {
    if (program_file(name, path)) {
      show_message(owner, kTextTextFileOpenFailed, 0, L"CreateFile");
      return 1;
    }
  } else {
    lstrcpynW(path, name, MAX_PATH);
  }
  HANDLE f = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    show_message(owner, kTextTextFileOpenFailed, 0, L"CreateFile");
    return 1;
  }
  uint8_t buf[4096];
  DWORD got = 0;
  if (!ReadFile(f, buf, 2, &got, nullptr) || !strings_file_has_bom(buf, got)) {
    show_message(owner, kTextNotUnicodeFile, 0, L"FileError");
    CloseHandle(f);
    return 1;
  }
  // The reader takes the file piece by piece: its size does not matter,
  // only the first 200 lines are kept.
  static StringsReader reader;
  strings_reader_begin(&reader, list);
  DWORD read_error = 0;
  for (;;) {
    if (!ReadFile(f, buf, sizeof buf, &got, nullptr)) {
      read_error = GetLastError();
      break;
    }
    if (got == 0 || strings_reader_feed(&reader, buf, got)) break;
  }
  strings_reader_end(&reader);
  if (!CloseHandle(f)) MessageBoxW(owner, path, L"CloseHandle-errer", MB_OK);
  const StringsReadReport& r = reader.report;
  if (read_error)
    show_texts(owner, L"ReadFile", {kTextStringsReadStopped}, path, r.lines + 1, read_error);
  if (r.long_lines)
    show_texts(owner, L"FileError", {kTextStringsLongLines, kTextEntriesLeftEmpty}, path, r.long_lines,
               kStringsLineMax, r.first_long_line);
  if (r.full_lines)
    show_texts(owner, L"FileError", {kTextStringsFullLines, kTextEntriesLeftEmpty}, path, r.full_lines,
               kEntryUnits, r.first_full_line);
  return 0;
}

void strings_file_save_as(HWND owner, const StringEntry* entries, int m) {
  wchar_t path[MAX_PATH] = L"";
  if (file_chooser(owner, kChooseSaveStrings, path)) strings_file_save(owner, path, entries, m);
}
