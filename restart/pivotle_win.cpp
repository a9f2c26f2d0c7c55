// pivotle: starts its command line through the shell one second after it
// was started itself. Quorrin uses it to restart after a theme change: the
// old process has saved its settings and ended by the time the new one reads
// them. It shares nothing with Quorrin.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <shellapi.h>

#include "restart/pivotle_command.h"
#include "restart/pivotle_resource.h"

namespace {

constexpr UINT_PTR kStartTimer = 1;
wchar_t g_command[kPivotleCommandUnits];  // the program or document to open, and nothing else
int g_action = kPivotleNothing;           // PivotleAction of the command line
const wchar_t kTooLongNotice[] = L"(command line too long: nothing is started)";

LRESULT CALLBACK pivotle_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: SetTimer(hwnd, kStartTimer, 1000, nullptr); return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      const wchar_t* text = g_action == kPivotleTooLong ? kTooLongNotice : g_command;
      TextOutW(dc, 0, 0, text, lstrlenW(text));
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_TIMER:
      if (wp != kStartTimer) return 0;
      KillTimer(hwnd, kStartTimer);
      // Only a command line that fitted is opened; the notice shown for a
      // refused one is no command.
      if (g_action == kPivotleOpen) ShellExecuteW(hwnd, L"open", g_command, nullptr, nullptr, SW_SHOWNORMAL);
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd, kStartTimer);
      PostQuitMessage(0);
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int show) {
  // A command line that does not fit the buffer is not cut short: a cut
  // path would open something else. The window shows why nothing starts.
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
  g_action = pivotle_take_command(reinterpret_cast<const char16_t*>(command_line),
                                  reinterpret_cast<char16_t*>(g_command));
  wchar_t title[100], class_name[100];
  LoadStringW(instance, IDS_PIVOTLE_TITLE, title, 100);
  LoadStringW(instance, IDS_PIVOTLE_CLASS, class_name, 100);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = pivotle_proc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PIVOTLE));
  wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PIVOTLE_SMALL));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);
  // 300 x 100 at 96 DPI, scaled to the display (the program is DPI aware).
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  HWND hwnd = CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              MulDiv(300, dpi, 96), MulDiv(100, dpi, 96), nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 0;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return static_cast<int>(m.wParam);
}
