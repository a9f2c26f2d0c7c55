#include "ui/dpi_win.h"

#include "ui/scale.h"

int32_t window_dpi(HWND hwnd) {
  // Looked up, not linked: Windows before 10 has no GetDpiForWindow, and
  // the program must still start there (its manifest falls back to the
  // system's DPI).
  using DpiForWindow = UINT(WINAPI*)(HWND);
  static DpiForWindow dpi_for_window = reinterpret_cast<DpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (dpi_for_window && hwnd) {
    UINT dpi = dpi_for_window(hwnd);
    if (dpi > 0) return static_cast<int32_t>(dpi);
  }
  HDC dc = GetDC(nullptr);
  int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : kBaseDpi;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : kBaseDpi;
}

int32_t window_px(HWND hwnd, int32_t value) { return px(value, window_dpi(hwnd)); }

static BOOL CALLBACK rescale_one(HWND hwnd, LPARAM main) {
  if (hwnd != reinterpret_cast<HWND>(main)) SendMessageW(hwnd, kMessageRescaled, 0, 0);
  return TRUE;
}

void tool_windows_rescale(HWND main) { EnumThreadWindows(GetCurrentThreadId(), rescale_one, reinterpret_cast<LPARAM>(main)); }
