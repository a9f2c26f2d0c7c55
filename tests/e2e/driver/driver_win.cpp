// qdriver: drives Quorrin's windows from the end-to-end tests, as a user
// would. It runs under the same Wine server as Quorrin and reads one command
// per line on stdin (fields separated by tabs, UTF-8), answering one line on
// stdout: "ok" with tab-separated results, or "err" with a reason. Texts in
// answers have backslash, tab and line breaks escaped as \\, \t, \n, \r.
//
// Window handles travel as hexadecimal numbers. Waits poll every 50 ms up
// to the timeout the command names, never a fixed sleep.
//
// Each verb is one function; the table kVerbs names them with the fields
// each needs, and a line with fewer fields is answered with "err".
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

DWORD g_pid = 0;  // Quorrin's process, once its main window was found

std::wstring from_utf8(const std::string& s) {
  if (s.empty()) return L"";
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string to_utf8(const std::wstring& w) {
  if (w.empty()) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::string escape(const std::wstring& w) {
  std::string s = to_utf8(w), out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string hex(HWND h) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
  return buf;
}

HWND parse_hwnd(const std::string& s) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(s.c_str(), nullptr, 16)));
}

long parse_num(const std::string& s) { return std::strtol(s.c_str(), nullptr, 0); }

std::wstring class_of(HWND h) {
  wchar_t buf[256] = L"";
  GetClassNameW(h, buf, 256);
  return buf;
}

std::wstring text_of(HWND h) {
  wchar_t buf[4096] = L"";
  DWORD_PTR result = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &result);
  return buf;
}

struct Found {
  std::vector<HWND> windows;
};

BOOL CALLBACK collect_top(HWND h, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (g_pid && pid == g_pid && IsWindowVisible(h)) reinterpret_cast<Found*>(lp)->windows.push_back(h);
  return TRUE;
}

std::vector<HWND> quorrin_windows() {
  Found f;
  EnumWindows(collect_top, reinterpret_cast<LPARAM>(&f));
  return f.windows;
}

HWND main_window_shown();

// Quorrin's main window: the shown one when an earlier one is still going away.
HWND main_window() {
  HWND h = main_window_shown();
  return h ? h : FindWindowW(L"Quorrin", nullptr);
}

// The main window once it is shown: creation (menu, toolbar, status bar)
// is over by then. A window of an earlier run that is still going away
// (hidden) is passed over.
HWND main_window_shown() {
  for (HWND h = FindWindowExW(nullptr, nullptr, L"Quorrin", nullptr); h;
       h = FindWindowExW(nullptr, h, L"Quorrin", nullptr))
    if (IsWindowVisible(h)) return h;
  return nullptr;
}

// Wine's message box: a dialog with the icon control 1088 and the text 0xFFFF.
bool is_message_box(HWND h) {
  return class_of(h) == L"#32770" && GetDlgItem(h, 1088) && GetDlgItem(h, 0xFFFF) && !GetDlgItem(h, 1148);
}

// A dialog of Quorrin's process whose title matches (or any, for "*") and
// that is not a message box unless asked for.
HWND find_dialog(const std::wstring& title, bool message_box) {
  for (HWND h : quorrin_windows()) {
    if (class_of(h) != L"#32770") continue;
    if (is_message_box(h) != message_box) continue;
    if (title == L"*" || text_of(h) == title) return h;
  }
  return nullptr;
}

template <typename F>
HWND wait_for(long timeout_ms, F find) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND h = find();
    if (h) return h;
    if (static_cast<long>(GetTickCount() - start) > timeout_ms) return nullptr;
    Sleep(50);
  }
}

// A dialog ends after its answer: wait until it is gone, so the next search
// cannot find it again while it is being destroyed.
void wait_closed(HWND dlg, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (IsWindow(dlg) && IsWindowVisible(dlg) && GetTickCount() - start < timeout_ms) Sleep(20);
}

HWND control(HWND parent, const std::string& id) {
  long n = parse_num(id);
  return n == 0 ? parent : GetDlgItem(parent, n);
}

// The name field of the open/save dialogs: the Edit inside combo 1148, or
// the plain edit 1152 of the older dialog.
BOOL CALLBACK first_edit(HWND h, LPARAM lp) {
  if (class_of(h) != L"Edit") return TRUE;
  *reinterpret_cast<HWND*>(lp) = h;
  return FALSE;
}

HWND file_name_edit(HWND dlg) {
  HWND combo = GetDlgItem(dlg, 1148);
  if (combo) {
    HWND edit = nullptr;
    EnumChildWindows(combo, first_edit, reinterpret_cast<LPARAM>(&edit));
    if (edit) return edit;
  }
  return GetDlgItem(dlg, 1152);
}

bool is_file_dialog(HWND h) { return class_of(h) == L"#32770" && file_name_edit(h) != nullptr; }

HANDLE g_locked = INVALID_HANDLE_VALUE;

// One command line split at its tabs: the verb, then its fields.
using Fields = std::vector<std::string>;

// Field i, or "" past the end.
std::string field(const Fields& a, size_t i) { return i < a.size() ? a[i] : std::string(); }

// A window field: "main" for Quorrin's main window, else a handle.
HWND window_field(const Fields& a, size_t i) { return field(a, i) == "main" ? main_window() : parse_hwnd(field(a, i)); }

std::string verb_main(const Fields& a) {
  HWND h = wait_for(parse_num(field(a, 1)), main_window_shown);
  if (!h) return "err\tno main window";
  GetWindowThreadProcessId(h, &g_pid);
  return "ok\t" + hex(h);
}

std::string verb_alive(const Fields&) { return main_window() ? "ok\t1" : "ok\t0"; }

std::string verb_command(const Fields& a) {
  HWND h = main_window();
  if (!h) return "err\tno main window";
  PostMessageW(h, WM_COMMAND, MAKEWPARAM(parse_num(field(a, 1)), 0), 0);
  return "ok";
}

std::string verb_post(const Fields& a) {
  HWND h = window_field(a, 1);
  UINT msg = static_cast<UINT>(parse_num(field(a, 2)));
  WPARAM wp = static_cast<WPARAM>(std::strtoull(field(a, 3).c_str(), nullptr, 0));
  LPARAM lp = static_cast<LPARAM>(std::strtoll(field(a, 4).c_str(), nullptr, 0));
  return PostMessageW(h, msg, wp, lp) ? "ok" : "err\tpost failed";
}

std::string verb_send(const Fields& a) {
  HWND h = window_field(a, 1);
  UINT msg = static_cast<UINT>(parse_num(field(a, 2)));
  WPARAM wp = static_cast<WPARAM>(std::strtoull(field(a, 3).c_str(), nullptr, 0));
  LPARAM lp = static_cast<LPARAM>(std::strtoll(field(a, 4).c_str(), nullptr, 0));
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result)) return "err\tsend failed";
  return "ok\t" + std::to_string(static_cast<long long>(result));
}

std::string verb_msgbox(const Fields& a) {
  HWND h = wait_for(parse_num(field(a, 1)), [] { return find_dialog(L"*", true); });
  if (!h) return "err\tno message box";
  // The box can be found a moment before its texts are set: give them up
  // to a second to appear (texts that stay empty are reported empty).
  for (int i = 0; i < 20 && text_of(h).empty() && text_of(GetDlgItem(h, 0xFFFF)).empty(); i++) Sleep(50);
  return "ok\t" + hex(h) + "\t" + escape(text_of(h)) + "\t" + escape(text_of(GetDlgItem(h, 0xFFFF)));
}

// Succeeds when no message box shows up within the time given.
std::string verb_nomsgbox(const Fields& a) {
  HWND h = wait_for(parse_num(field(a, 1)), [] { return find_dialog(L"*", true); });
  if (h) return "err\tmessage box\t" + escape(text_of(h)) + "\t" + escape(text_of(GetDlgItem(h, 0xFFFF)));
  return "ok";
}

std::string verb_dialog(const Fields& a) {
  std::wstring title = from_utf8(field(a, 1));
  HWND h = wait_for(parse_num(field(a, 2)), [&] { return find_dialog(title, false); });
  if (!h) return "err\tno dialog";
  return "ok\t" + hex(h) + "\t" + escape(text_of(h));
}

// Posts a button's click to its dialog; returns the dialog.
HWND post_click(const Fields& a) {
  HWND dlg = parse_hwnd(field(a, 1));
  int id = static_cast<int>(parse_num(field(a, 2)));
  HWND button = GetDlgItem(dlg, id);
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return dlg;
}

std::string verb_click(const Fields& a) {
  post_click(a);
  return "ok";
}

// Clicks a button of a dialog that ends with it, and waits until it is gone.
std::string verb_answer(const Fields& a) {
  wait_closed(post_click(a), 5000);
  return "ok";
}

// Presses a button and waits until the dialog has handled it (or a modal
// box it opened keeps it busy past the timeout).
std::string verb_press(const Fields& a) {
  HWND dlg = parse_hwnd(field(a, 1));
  int id = static_cast<int>(parse_num(field(a, 2)));
  DWORD_PTR result = 0;
  SendMessageTimeoutW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)),
                      SMTO_NORMAL, 3000, &result);
  return "ok";
}

std::string verb_gettext(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  return "ok\t" + escape(text_of(h));
}

std::string verb_settext(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  std::wstring t = from_utf8(field(a, 3));
  DWORD_PTR result = 0;
  SendMessageTimeoutW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
  return "ok";
}

std::string verb_type(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  for (wchar_t c : from_utf8(field(a, 3))) SendMessageW(h, WM_CHAR, c, 1);
  return "ok";
}

// Types text the way a keyboard does: key down, character, key up.
std::string verb_keys(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  for (wchar_t c : from_utf8(field(a, 3))) {
    WPARAM vk = static_cast<WPARAM>(LOBYTE(VkKeyScanW(c)));
    SendMessageW(h, WM_KEYDOWN, vk, 1);
    SendMessageW(h, WM_CHAR, c, 1);
    SendMessageW(h, WM_KEYUP, vk, 0xC0000001);
  }
  return "ok";
}

std::string verb_key(const Fields& a) {
  HWND h = window_field(a, 1);
  WPARAM vk = static_cast<WPARAM>(parse_num(field(a, 2)));
  SendMessageW(h, WM_KEYDOWN, vk, 1);
  SendMessageW(h, WM_KEYUP, vk, 0xC0000001);
  return "ok";
}

// Fills the open/save dialog's name field and presses OK, or with
// "<cancel>" cancels it; answers the dialog's title.
std::string verb_filedialog(const Fields& a) {
  HWND dlg = wait_for(parse_num(field(a, 2)), [] {
    for (HWND h : quorrin_windows())
      if (is_file_dialog(h)) return h;
    return static_cast<HWND>(nullptr);
  });
  if (!dlg) return "err\tno file dialog";
  std::wstring title = text_of(dlg);
  if (field(a, 1) == "<cancel>") {
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    wait_closed(dlg, 10000);
    return "ok\t" + escape(title);
  }
  std::wstring name = from_utf8(field(a, 1));
  SendMessageW(file_name_edit(dlg), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
  wait_closed(dlg, 10000);
  return "ok\t" + escape(title);
}

std::string verb_windows(const Fields&) {
  std::string out = "ok";
  for (HWND h : quorrin_windows()) out += "\t" + hex(h) + "|" + escape(class_of(h)) + "|" + escape(text_of(h));
  return out;
}

std::string verb_close(const Fields& a) {
  return PostMessageW(window_field(a, 1), WM_CLOSE, 0, 0) ? "ok" : "err\tno window";
}

// Closes every top-level window of a class in any process (programs that
// Quorrin started through the shell, such as notepad).
std::string verb_closeclass(const Fields& a) {
  int n = 0;
  std::wstring cls = from_utf8(field(a, 1));
  for (HWND h = FindWindowW(cls.c_str(), nullptr); h; h = FindWindowW(cls.c_str(), nullptr)) {
    PostMessageW(h, WM_CLOSE, 0, 0);
    if (++n > 20) break;
    Sleep(200);
  }
  return "ok\t" + std::to_string(n);
}

std::string verb_exists(const Fields& a) {
  std::wstring cls = from_utf8(field(a, 1));
  HWND h = wait_for(parse_num(field(a, 2)), [&] { return FindWindowW(cls.c_str(), nullptr); });
  return h ? "ok\t" + hex(h) + "\t" + escape(text_of(h)) : "err\tno window of that class";
}

std::string verb_child(const Fields& a) {
  HWND h = GetDlgItem(window_field(a, 1), static_cast<int>(parse_num(field(a, 2))));
  return h ? "ok\t" + hex(h) : "err\tno such child";
}

std::string verb_rect(const Fields& a) {
  RECT r;
  if (!GetWindowRect(window_field(a, 1), &r)) return "err\tno window";
  return "ok\t" + std::to_string(r.left) + "\t" + std::to_string(r.top) + "\t" + std::to_string(r.right) + "\t" +
         std::to_string(r.bottom);
}

// Sends a message `count` times and answers the mean and the longest time
// to handle it, in milliseconds (for benchmarks).
std::string verb_timesend(const Fields& a) {
  HWND h = window_field(a, 1);
  UINT msg = static_cast<UINT>(parse_num(field(a, 2)));
  WPARAM wp = static_cast<WPARAM>(std::strtoull(field(a, 3).c_str(), nullptr, 0));
  long count = parse_num(field(a, 4));
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  double total = 0, longest = 0;
  for (long i = 0; i < count; i++) {
    DWORD_PTR result = 0;
    QueryPerformanceCounter(&t0);
    SendMessageTimeoutW(h, msg, wp, 0, SMTO_ABORTIFHUNG, 10000, &result);
    QueryPerformanceCounter(&t1);
    double ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
    total += ms;
    if (ms > longest) longest = ms;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f\t%.3f", count ? total / count : 0.0, longest);
  return std::string("ok\t") + buf;
}

std::string verb_move(const Fields& a) {
  if (!SetWindowPos(window_field(a, 1), nullptr, static_cast<int>(parse_num(field(a, 2))),
                    static_cast<int>(parse_num(field(a, 3))), static_cast<int>(parse_num(field(a, 4))),
                    static_cast<int>(parse_num(field(a, 5))), SWP_NOZORDER | SWP_NOACTIVATE))
    return "err\tmove failed";
  return "ok";
}

// Puts the mouse pointer on a client point of a window, as a user moving
// the mouse there: the pointer moves, then a zero-distance move goes
// through the input queue so that the window under it gets WM_MOUSEMOVE.
std::string verb_mouse(const Fields& a) {
  HWND h = window_field(a, 1);
  POINT p = {static_cast<LONG>(parse_num(field(a, 2))), static_cast<LONG>(parse_num(field(a, 3)))};
  if (!IsWindow(h) || !ClientToScreen(h, &p)) return "err\tno window";
  if (!SetCursorPos(p.x, p.y)) return "err\tSetCursorPos failed";
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &in, sizeof in);
  return "ok";
}

// Presses the left button on one client point of a window and lets it go on
// another, moving there in a few steps. The button and move messages are
// posted to the window in their order: input sent through the system under
// Wine may take the pointer's place when it is read, not when it was sent,
// so a press could land where the drag ends.
std::string verb_drag(const Fields& a) {
  HWND h = window_field(a, 1);
  const int x0 = static_cast<int>(parse_num(field(a, 2))), y0 = static_cast<int>(parse_num(field(a, 3)));
  const int x1 = static_cast<int>(parse_num(field(a, 4))), y1 = static_cast<int>(parse_num(field(a, 5)));
  if (!IsWindow(h)) return "err\tno window";
  PostMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(x0, y0));
  PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0, y0));
  for (int k = 1; k <= 4; k++)
    PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x0 + (x1 - x0) * k / 4, y0 + (y1 - y0) * k / 4));
  PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(x1, y1));
  return "ok";
}

// The client rectangle in screen coordinates.
std::string verb_client(const Fields& a) {
  HWND h = window_field(a, 1);
  RECT r;
  if (!GetClientRect(h, &r)) return "err\tno window";
  POINT top_left = {r.left, r.top}, bottom_right = {r.right, r.bottom};
  ClientToScreen(h, &top_left);
  ClientToScreen(h, &bottom_right);
  return "ok\t" + std::to_string(top_left.x) + "\t" + std::to_string(top_left.y) + "\t" +
         std::to_string(bottom_right.x) + "\t" + std::to_string(bottom_right.y);
}

// Hooks qhook.dll into Quorrin's user-interface thread, sends it the
// registered message `dump` (with `wparam`) so that it writes `file` beside
// itself, and unhooks it again. Fills `path` with that file's path; returns
// "" or the error answer.
std::string qhook_dump(const wchar_t* dump, WPARAM wparam, const wchar_t* file, wchar_t (&path)[MAX_PATH]) {
  HWND h = main_window();
  if (!h) return "err\tno main window";
  HMODULE dll = LoadLibraryW(L"qhook.dll");
  if (!dll) return "err\tno qhook.dll";
  auto proc = reinterpret_cast<HOOKPROC>(GetProcAddress(dll, "qhook_callwnd"));
  HHOOK hook = proc ? SetWindowsHookExW(WH_CALLWNDPROC, proc, dll, GetWindowThreadProcessId(h, nullptr)) : nullptr;
  if (!hook) return "err\thook refused";
  GetModuleFileNameW(dll, path, MAX_PATH);
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash) lstrcpyW(slash + 1, file);
  DeleteFileW(path);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(h, RegisterWindowMessageW(dump), wparam, 0, SMTO_ABORTIFHUNG, 10000, &result);
  UnhookWindowsHookEx(hook);
  return "";
}

// Has qhook.dll write the menu bar (or with "system" the window menu) to
// qhook-menu.txt beside it; answers that file's path.
std::string verb_menu(const Fields& a) {
  wchar_t path[MAX_PATH];
  std::string failed = qhook_dump(L"qdriver.dumpmenu", field(a, 1) == "system" ? 1 : 0, L"qhook-menu.txt", path);
  if (!failed.empty()) return failed;
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return "err\tno menu written";
  return "ok\t" + escape(path);
}

// Has qhook.dll write one of its dumps (`dump`, into `file`); answers one
// field per line of it.
std::string hook_lines(const wchar_t* dump, const wchar_t* file) {
  wchar_t path[MAX_PATH];
  std::string failed = qhook_dump(dump, 0, file, path);
  if (!failed.empty()) return failed;
  FILE* f = _wfopen(path, L"rb");
  if (!f) return "err\tnothing written";
  std::string out = "ok";
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    out += "\t" + escape(from_utf8(s));
  }
  std::fclose(f);
  return out;
}

// Has qhook.dll read, inside Quorrin, the state of every serial port handle
// Quorrin holds (GetCommState, GetCommTimeouts); answers one field per
// handle, as qhook_win.cpp describes.
std::string verb_comm(const Fields&) { return hook_lines(L"qdriver.dumpcomm", L"qhook-comm.txt"); }

// Has qhook.dll measure, inside Quorrin, the main window's DPI and each
// status bar part against the text drawn in it, as qhook_win.cpp describes.
std::string verb_status(const Fields&) { return hook_lines(L"qdriver.dumpstatus", L"qhook-status.txt"); }

// Has qhook.dll send the main window WM_DPICHANGED; answers the rectangle
// it suggested, as qhook_win.cpp describes.
std::string verb_dpichanged(const Fields&) { return hook_lines(L"qdriver.dpichanged", L"qhook-dpi.txt"); }

// Waits until the main window no longer exists.
std::string verb_gone(const Fields& a) {
  DWORD start = GetTickCount();
  while (main_window()) {
    if (static_cast<long>(GetTickCount() - start) > parse_num(field(a, 1))) return "err\tstill there";
    Sleep(50);
  }
  return "ok";
}

// Holds a file open with no sharing, as another program busy with it
// would, until "unlock".
std::string verb_lock(const Fields& a) {
  if (g_locked != INVALID_HANDLE_VALUE) CloseHandle(g_locked);
  g_locked = CreateFileW(from_utf8(field(a, 1)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_locked == INVALID_HANDLE_VALUE) return "err\tcannot open " + field(a, 1);
  return "ok";
}

std::string verb_unlock(const Fields&) {
  if (g_locked != INVALID_HANDLE_VALUE) CloseHandle(g_locked);
  g_locked = INVALID_HANDLE_VALUE;
  return "ok";
}

// Sets a DWORD value under HKEY_CURRENT_USER: from the driver, already
// running in the prefix, it costs no Wine start as `wine reg` does.
std::string verb_userdword(const Fields& a) {
  std::wstring key = from_utf8(field(a, 1)), name = from_utf8(field(a, 2));
  char* end = nullptr;
  const std::string number = field(a, 3);
  DWORD value = static_cast<DWORD>(std::strtoul(number.c_str(), &end, 10));
  if (number.empty() || *end) return "err\tnot a number: " + number;
  LSTATUS r = RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_DWORD, &value, sizeof value);
  return r == ERROR_SUCCESS ? "ok" : "err\tRegSetKeyValue " + std::to_string(r);
}

// Reads the clipboard's text; with a field, first puts that text there (so
// a test can tell a copy from what was there before).
std::string verb_clipboard(const Fields& a) {
  for (int tries = 0; !OpenClipboard(nullptr); tries++) {
    if (tries > 40) return "err\tclipboard busy";
    Sleep(50);
  }
  if (a.size() > 1) {
    std::wstring t = from_utf8(field(a, 1));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (t.size() + 1) * sizeof(wchar_t));
    if (block) {
      wchar_t* p = static_cast<wchar_t*>(GlobalLock(block));
      std::memcpy(p, t.c_str(), (t.size() + 1) * sizeof(wchar_t));
      GlobalUnlock(block);
      EmptyClipboard();
      if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    }
  }
  std::wstring text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = p;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return "ok\t" + escape(text);
}

// 1 when a dialog's control takes input, 0 when it is grayed.
std::string verb_enabled(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  return IsWindowEnabled(h) ? "ok\t1" : "ok\t0";
}

// The entries of a combo box's list, one field each.
std::string verb_items(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  LRESULT count = SendMessageW(h, CB_GETCOUNT, 0, 0);
  if (count == CB_ERR) return "err\tnot a combo box";
  std::string out = "ok";
  for (LRESULT i = 0; i < count; i++) {
    LRESULT len = SendMessageW(h, CB_GETLBTEXTLEN, i, 0);
    if (len == CB_ERR || len > 4000) return "err\tentry unreadable";
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    SendMessageW(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(len));
    out += "\t" + escape(text);
  }
  return out;
}

// A list view's rows, read through memory in Quorrin's process (list view
// messages carry pointers, which no process but the list's own can follow):
// per row its check state ("1"/"0") and its cells joined by "|".
struct RemoteBlock {
  HANDLE process = nullptr;
  void* at = nullptr;
  RemoteBlock(HWND h, size_t size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process) at = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (at) VirtualFreeEx(process, at, 0, MEM_RELEASE);
    if (process) CloseHandle(process);
  }
};

std::string verb_rows(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  HWND header = reinterpret_cast<HWND>(SendMessageW(h, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  const int rows = static_cast<int>(SendMessageW(h, LVM_GETITEMCOUNT, 0, 0));
  constexpr int kUnits = 1024;
  RemoteBlock block(h, sizeof(LVITEMW) + kUnits * sizeof(wchar_t));
  if (!block.at) return "err\tno memory in the list's process";
  wchar_t* remote_text = reinterpret_cast<wchar_t*>(static_cast<char*>(block.at) + sizeof(LVITEMW));
  std::string out = "ok";
  for (int r = 0; r < rows; r++) {
    UINT state = static_cast<UINT>(SendMessageW(h, LVM_GETITEMSTATE, r, LVIS_STATEIMAGEMASK));
    std::string row = ((state >> 12) == 2) ? "1" : "0";
    for (int c = 0; c < columns; c++) {
      LVITEMW item = {};
      item.iSubItem = c;
      item.pszText = remote_text;
      item.cchTextMax = kUnits;
      SIZE_T done = 0;
      if (!WriteProcessMemory(block.process, block.at, &item, sizeof item, &done)) return "err\twrite failed";
      SendMessageW(h, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(block.at));
      std::wstring text(kUnits, L'\0');
      if (!ReadProcessMemory(block.process, remote_text, &text[0], kUnits * sizeof(wchar_t), &done))
        return "err\tread failed";
      text.resize(wcsnlen(text.c_str(), kUnits));
      row += "|" + to_utf8(text);
    }
    out += "\t" + row;  // cells hold no tabs: the notation writes a tab byte as 09
  }
  return out;
}

// A list view's columns: each one's width and how wide its heading's text
// is in the list's own font (window, control id).
std::string verb_columns(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  HWND header = reinterpret_cast<HWND>(SendMessageW(h, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  constexpr int kUnits = 256;
  RemoteBlock block(h, sizeof(LVCOLUMNW) + kUnits * sizeof(wchar_t));
  if (!block.at) return "err\tno memory in the list's process";
  wchar_t* remote_text = reinterpret_cast<wchar_t*>(static_cast<char*>(block.at) + sizeof(LVCOLUMNW));
  std::string out = "ok";
  for (int c = 0; c < columns; c++) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = remote_text;
    column.cchTextMax = kUnits;
    SIZE_T done = 0;
    if (!WriteProcessMemory(block.process, block.at, &column, sizeof column, &done)) return "err\twrite failed";
    SendMessageW(h, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(block.at));
    const LRESULT width = SendMessageW(h, LVM_GETCOLUMNWIDTH, c, 0);
    const LRESULT text = SendMessageW(h, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(remote_text));
    out += "\t" + std::to_string(static_cast<long long>(width)) + "|" + std::to_string(static_cast<long long>(text));
  }
  return out;
}

// Sets a list view row's state bits (window, control id, row, state, mask),
// as a click on the row or its check box would.
std::string verb_rowstate(const Fields& a) {
  HWND h = control(parse_hwnd(field(a, 1)), field(a, 2));
  if (!h) return "err\tno control";
  RemoteBlock block(h, sizeof(LVITEMW));
  if (!block.at) return "err\tno memory in the list's process";
  LVITEMW item = {};
  item.state = static_cast<UINT>(std::strtoul(field(a, 4).c_str(), nullptr, 0));
  item.stateMask = static_cast<UINT>(std::strtoul(field(a, 5).c_str(), nullptr, 0));
  SIZE_T done = 0;
  if (!WriteProcessMemory(block.process, block.at, &item, sizeof item, &done)) return "err\twrite failed";
  const int row = std::atoi(field(a, 3).c_str());
  return SendMessageW(h, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(block.at)) ? "ok" : "err\trefused";
}

struct Verb {
  const char* name;
  std::string (*handle)(const Fields&);
  size_t min_fields;  // fields the verb needs after its name
};

const Verb kVerbs[] = {
    {"main", verb_main, 1},           // timeout ms
    {"alive", verb_alive, 0},
    {"command", verb_command, 1},     // command id
    {"post", verb_post, 4},           // window, message, wparam, lparam
    {"send", verb_send, 4},           // window, message, wparam, lparam
    {"msgbox", verb_msgbox, 1},       // timeout ms
    {"nomsgbox", verb_nomsgbox, 1},   // time ms
    {"dialog", verb_dialog, 2},       // title or "*", timeout ms
    {"answer", verb_answer, 2},       // dialog, button id
    {"click", verb_click, 2},         // dialog, button id
    {"press", verb_press, 2},         // dialog, button id
    {"gettext", verb_gettext, 2},     // window, control id (0: the window)
    {"settext", verb_settext, 3},     // window, control id, text
    {"type", verb_type, 3},           // window, control id, text
    {"keys", verb_keys, 3},           // window, control id, text
    {"key", verb_key, 2},             // window, virtual key
    {"filedialog", verb_filedialog, 2},  // name or "<cancel>", timeout ms
    {"windows", verb_windows, 0},
    {"close", verb_close, 1},         // window
    {"closeclass", verb_closeclass, 1},  // class
    {"exists", verb_exists, 2},       // class, timeout ms
    {"child", verb_child, 2},         // window, control id
    {"rect", verb_rect, 1},           // window
    {"timesend", verb_timesend, 4},   // window, message, wparam, count
    {"move", verb_move, 5},           // window, x, y, width, height
    {"client", verb_client, 1},       // window
    {"mouse", verb_mouse, 3},         // window, client x, y
    {"drag", verb_drag, 5},           // window, client x, y from, x, y to
    {"menu", verb_menu, 0},           // optional "system"
    {"gone", verb_gone, 1},           // timeout ms
    {"lock", verb_lock, 1},           // path
    {"unlock", verb_unlock, 0},
    {"clipboard", verb_clipboard, 0}, // optional text to put there first
    {"userdword", verb_userdword, 3}, // key under HKCU, value name, number
    {"enabled", verb_enabled, 2},     // window, control id
    {"comm", verb_comm, 0},
    {"status", verb_status, 0},
    {"dpichanged", verb_dpichanged, 0},
    {"items", verb_items, 2},         // window, control id
    {"rows", verb_rows, 2},           // window, control id (a list view)
    {"rowstate", verb_rowstate, 5},   // window, control id, row, state, mask
    {"columns", verb_columns, 2},     // window, control id (a list view)
};

std::string run(const Fields& a) {
  for (const Verb& v : kVerbs) {
    if (a[0] != v.name) continue;
    if (a.size() - 1 < v.min_fields) return "err\t" + a[0] + " needs " + std::to_string(v.min_fields) + " fields";
    return v.handle(a);
  }
  return "err\tunknown command " + a[0];
}

}  // namespace

int main() {
  char line[8192];
  while (std::fgets(line, sizeof line, stdin)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    if (s.empty()) continue;
    std::vector<std::string> args;
    size_t start = 0;
    for (;;) {
      size_t tab = s.find('\t', start);
      args.push_back(s.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (args[0] == "quit") break;
    std::string reply = run(args);
    std::fputs(reply.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  return 0;
}
