// The settings file and the message text file through the platform's
// private-profile functions.
#include <cstdarg>
#include <cwchar>

#include "app/app_win.h"

namespace {

struct ProfileFile {
  const wchar_t* path;
  const wchar_t* section;
};

int32_t profile_get_int(void* ctx, const char16_t* key, int32_t def) {
  auto* f = static_cast<ProfileFile*>(ctx);
  return static_cast<int32_t>(GetPrivateProfileIntW(f->section, wide(key), def, f->path));
}

void profile_get_text(void* ctx, const char16_t* key, const char16_t* def, char16_t* out, int units) {
  auto* f = static_cast<ProfileFile*>(ctx);
  GetPrivateProfileStringW(f->section, wide(key), wide(def), wide(out), static_cast<DWORD>(units), f->path);
}

void profile_put_text(void* ctx, const char16_t* key, const char16_t* value) {
  auto* f = static_cast<ProfileFile*>(ctx);
  WritePrivateProfileStringW(f->section, wide(key), wide(value), f->path);
}

}  // namespace

int program_file(const wchar_t* name, wchar_t* out) {
  int n = _snwprintf(out, MAX_PATH, L"%ls\\%ls", wide(g_app.program_dir), name);
  if (n < 0 || n >= MAX_PATH) {
    out[MAX_PATH - 1] = 0;
    return 1;
  }
  return 0;
}

void settings_file_load() {
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin.ini", path)) {
    settings_defaults(&g_app.settings);
    return;
  }
  ProfileFile file = {path, L"Setting"};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  settings_load(&g_app.settings, &io);
  for (uint16_t& w : g_app.modbus_words) w = 0;
}

void settings_file_save() {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin.ini", path)) return;
  ProfileFile file = {path, L"Setting"};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  settings_save(&g_app.settings, &io);
}

void message_file_load() {
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin_char2.ini", path)) return;
  ProfileFile file = {path, L"quorrin"};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  message_table_load(&g_app.messages, &io);
}

void get_text(int n, wchar_t out[kMessageTextUnits]) {
  message_text_get(&g_app.messages, g_app.settings.moji_type, n, reinterpret_cast<char16_t*>(out));
}

int show_message(HWND owner, int n, int kind, const wchar_t* caption) {
  wchar_t text[kMessageTextUnits] = L"";
  get_text(n, text);
  if (kind == 0) {
    MessageBoxW(owner, text, caption, MB_OK);
    return 0;
  }
  if (kind == 1) return MessageBoxW(owner, text, caption, MB_YESNO);
  return 0;
}

void show_error(HWND owner, const wchar_t* caption, const wchar_t* format, ...) {
  wchar_t text[256];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 255, format, args);
  va_end(args);
  text[255] = 0;
  MessageBoxW(owner, text, caption, MB_OK);
}
