// The program's own files beside it: the settings file, the message text
// file and the color file through the platform's private-profile
// functions, and the theme file read at process start.
#include <cstdarg>
#include <cwchar>

#include "app/app_win.h"

namespace {

struct ProfileFile {
  const wchar_t* path;
  const wchar_t* section;
  int failed;  // a write did not reach the file
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
  if (!WritePrivateProfileStringW(f->section, wide(key), wide(value), f->path)) f->failed = 1;
}

// A file of the program that could not be written (read-only, held open by
// another program, a folder of that name): say which, so the user knows
// the values were not kept.
void write_failed(const wchar_t* path, int text) {
  show_texts(nullptr, L"WriteFile", {text}, path);
}

// Nothing of that name exists: the program's first start in this folder.
// A file that is there but cannot be read, or a folder of that name, is
// not a first start.
int settings_file_absent(const wchar_t* path) {
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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

// "Reconnect a lost port" lies in a section of its own, which the Setting
// section's readers never look at: reconnect=1 turns it on.
const wchar_t kConnection[] = L"Connection";
const wchar_t kReconnectKey[] = L"reconnect";

namespace {

// A channel's network port lies in a section of its own, "Ports", as the
// address text (port1=rfc2217://10.0.0.5:4001); a channel without the key,
// or with a COM port there, keeps the Setting section's COM number.
const wchar_t kPorts[] = L"Ports";
const wchar_t* const kPortKey[2] = {L"port1", L"port2"};

// The addresses of the settings file into g_app.address; an address that
// does not read leaves the channel on its COM number and is told once the
// window is up (g_app.address_refused).
void port_addresses_load(const wchar_t* path) {
  for (int ch = 0; ch < 2; ch++) {
    g_app.address[ch] = PortAddress{};
    g_app.address_refused[ch] = 0;
    wchar_t text[kPortAddressUnits] = L"";
    GetPrivateProfileStringW(kPorts, kPortKey[ch], L"", text, kPortAddressUnits, path);
    if (!text[0]) continue;
    PortAddress a = {};
    int reason = 0;
    if (port_address_parse(reinterpret_cast<char16_t*>(text), &a, &reason)) g_app.address_refused[ch] = reason;
    else if (a.kind != kPortCom) g_app.address[ch] = a;
  }
}

// Writes each channel's network address; a key that a COM port replaced is
// removed, and a file that never had the section stays without it.
void port_addresses_save(const wchar_t* path, ProfileFile* file) {
  for (int ch = 0; ch < 2; ch++) {
    const PortAddress& a = g_app.port_for_run[ch] ? g_app.file_address[ch] : g_app.address[ch];
    wchar_t text[kPortAddressUnits] = L"";
    if (a.kind != kPortCom) {
      if (port_address_format(a, reinterpret_cast<char16_t*>(text), kPortAddressUnits)) continue;
      if (!WritePrivateProfileStringW(kPorts, kPortKey[ch], text, path)) file->failed = 1;
    } else if (GetPrivateProfileStringW(kPorts, kPortKey[ch], L"", text, kPortAddressUnits, path) > 0) {
      if (!WritePrivateProfileStringW(kPorts, kPortKey[ch], nullptr, path)) file->failed = 1;
    }
  }
}

}  // namespace

void settings_file_load() {
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin.ini", path)) {
    // No settings file can be reached from so long a folder name: every
    // start there is a first start.
    settings_defaults(&g_app.settings);
    g_app.settings.moji_type = settings_language_for_langid(GetUserDefaultUILanguage());
    return;
  }
  // A first start speaks the user's interface language; from then on the
  // file's moji_type holds (a file without the key keeps its default).
  const int first_start = settings_file_absent(path);
  ProfileFile file = {path, L"Setting", 0};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  settings_load(&g_app.settings, &io);
  if (first_start) g_app.settings.moji_type = settings_language_for_langid(GetUserDefaultUILanguage());
  for (uint16_t& w : g_app.modbus_words) w = 0;
  g_app.reconnect_setting = GetPrivateProfileIntW(kConnection, kReconnectKey, 0, path) == 1;
  port_addresses_load(path);
}

void settings_file_save() {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin.ini", path)) return;
  ProfileFile file = {path, L"Setting", 0};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  // A port the command line chose for this run leaves the file's as it was.
  int32_t run_comport[2];
  for (int ch = 0; ch < 2; ch++) {
    run_comport[ch] = g_app.settings.port[ch].rs_comport;
    if (g_app.port_for_run[ch]) g_app.settings.port[ch].rs_comport = g_app.file_comport[ch];
  }
  settings_save(&g_app.settings, &io);
  for (int ch = 0; ch < 2; ch++) g_app.settings.port[ch].rs_comport = run_comport[ch];
  port_addresses_save(path, &file);
  // A file that never had the option stays as it was while the option is off.
  if (g_app.reconnect_setting || GetPrivateProfileIntW(kConnection, kReconnectKey, -1, path) != static_cast<UINT>(-1)) {
    if (!WritePrivateProfileStringW(kConnection, kReconnectKey, g_app.reconnect_setting ? L"1" : L"0", path))
      file.failed = 1;
  }
  if (file.failed) write_failed(path, kTextSettingsWriteFailed);
}

int message_file_load() {
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin_char2.ini", path)) return 1;
  ProfileFile file = {path, L"quorrin", 0};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  message_table_load(&g_app.messages, &io);
  DWORD attributes = GetFileAttributesW(path);
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

const wchar_t* message_file_missing_text() {
  // The one notice that cannot come from the message table: it says the
  // table is missing. It still speaks the chosen language.
  static const wchar_t* const kMissing[kLanguages] = {
      L"メッセージ文字列ファイルがありません:\n%ls\n表題とメッセージは空になります。",
      L"The message text file is missing:\n%ls\nCaptions and messages will be empty.",
      L"메시지 텍스트 파일이 없습니다:\n%ls\n제목과 메시지가 비어 있게 됩니다.",
      L"缺少消息文本文件：\n%ls\n标题和消息将为空。",
  };
  const int language = g_app.settings.moji_type;
  return kMissing[language >= 0 && language < kLanguages ? language : 1];
}

void message_file_missing(HWND owner) {
  wchar_t path[MAX_PATH];
  if (program_file(L"quorrin_char2.ini", path)) path[0] = 0;
  show_error(owner, L"Quorrin", message_file_missing_text(), path);
}

void colors_file_load() {
  wchar_t path[MAX_PATH];
  if (program_file(L"color.ini", path)) {
    palettes_defaults(&g_app.palettes);
    return;
  }
  ProfileFile file = {path, L"Setting", 0};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  palettes_load(&g_app.palettes, &io);
}

void colors_file_save() {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  wchar_t path[MAX_PATH];
  if (program_file(L"color.ini", path)) return;
  ProfileFile file = {path, L"Setting", 0};
  ProfileIo io = {&file, profile_get_int, profile_get_text, profile_put_text};
  palettes_save(&g_app.palettes, &io);
  if (file.failed) write_failed(path, kTextColorsWriteFailed);
}

void theme_file_read() {
  // The program directory is not known yet: the file is looked for in the
  // current directory, which is the program's own when it is started from
  // its folder or by the restart launcher.
  wchar_t path[MAX_PATH];
  DWORD n = GetCurrentDirectoryW(MAX_PATH, path);
  if (n == 0 || n + 9 > MAX_PATH) return;
  lstrcatW(path, L"\\dkm.ini");
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  ThemeReader reader;
  theme_reader_init(&reader);
  uint8_t block[4096];
  DWORD got = 0;
  while (ReadFile(f, block, sizeof block, &got, nullptr) && got > 0) theme_reader_feed(&reader, block, got);
  CloseHandle(f);
  g_app.dark_mode = reader.flags.dark_mode;
  g_app.menu_suppressed = reader.flags.menu_suppressed;
}

void theme_file_write(int value) {
  wchar_t path[MAX_PATH];
  if (program_file(L"dkm.ini", path)) return;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  uint8_t bytes[32];
  DWORD done = 0;
  WriteFile(f, bytes, static_cast<DWORD>(theme_file_bytes(value, bytes)), &done, nullptr);
  CloseHandle(f);
}

void get_text(int n, wchar_t out[kMessageTextUnits]) {
  message_text_get(&g_app.messages, g_app.settings.moji_type, n, reinterpret_cast<char16_t*>(out));
}

void set_dialog_text(HWND dlg, int id, int n) {
  wchar_t text[kMessageTextUnits] = L"";
  get_text(n, text);
  if (!text[0]) return;  // no text file: the resource's text stays
  if (id) {
    SetDlgItemTextW(dlg, id, text);
  } else {
    SetWindowTextW(dlg, text);
  }
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

void format_text(wchar_t* out, int units, int n, ...) {
  wchar_t format[kMessageTextUnits] = L"";
  get_text(n, format);
  if (!message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(n))) {
    lstrcpynW(out, format, units);
    return;
  }
  va_list args;
  va_start(args, n);
  _vsnwprintf(out, static_cast<size_t>(units - 1), format, args);
  va_end(args);
  out[units - 1] = 0;
}

void show_error(HWND owner, const wchar_t* caption, const wchar_t* format, ...) {
  // Room for two full paths and the words around them.
  wchar_t text[2 * MAX_PATH + 120];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 2 * MAX_PATH + 119, format, args);
  va_end(args);
  text[2 * MAX_PATH + 119] = 0;
  MessageBoxW(owner, text, caption, MB_OK);
}

void show_texts_v(HWND owner, const wchar_t* caption, const int* lines, int count, const wchar_t* path,
                  va_list args) {
  constexpr int kFormatUnits = 4 * (kMessageTextUnits + 2);
  wchar_t format[kFormatUnits] = L"";
  int formatted = 1;
  for (int i = 0; i < count && i < 4; i++) {
    wchar_t line[kMessageTextUnits] = L"";
    get_text(lines[i], line);
    if (!message_fields_match(reinterpret_cast<const char16_t*>(line), message_fields(lines[i]))) formatted = 0;
    if (i) wcsncat(format, L"\n", kFormatUnits - 1 - wcslen(format));
    wcsncat(format, line, kFormatUnits - 1 - wcslen(format));
  }
  // The fields may hold names and paths: room for two of them besides the
  // path line.
  constexpr int kTextUnits = kFormatUnits + 3 * MAX_PATH + 64;
  wchar_t text[kTextUnits];
  if (formatted) {
    _vsnwprintf(text, kTextUnits - 1, format, args);
    text[kTextUnits - 1] = 0;
  } else {
    lstrcpynW(text, format, kTextUnits);
  }
  if (path) {
    wcsncat(text, L"\n", kTextUnits - 1 - wcslen(text));
    wcsncat(text, path, kTextUnits - 1 - wcslen(text));
  }
  MessageBoxW(owner, text, caption, MB_OK);
}
