// qhook.dll: loaded into Quorrin's process by a window hook that qdriver
// sets, because another process's menus cannot be read under Wine. When the
// main window receives the registered message "qdriver.dumpmenu", the hook
// writes the window's menu bar to "qhook-menu.txt" beside this DLL: one line
// per item, "depth<TAB>id<TAB>state<TAB>text<TAB>has-bitmap" in UTF-8, where
// state is "gray" or "on". With wParam 1 it writes the window (system) menu
// instead, after doing what the system does when a user opens it: Restore
// is grayed for a window that is not maximized, then the window gets
// WM_INITMENUPOPUP with HIWORD(lParam) TRUE.
//
// On "qdriver.dumpcomm" it writes "qhook-comm.txt": one line per serial
// port handle that Quorrin holds, as GetCommState and GetCommTimeouts read
// it in Quorrin's own process (a second opener of the port would get its
// own time-outs), "path|BaudRate|flags|XonLim|XoffLim|ByteSize|Parity|
// StopBits|XonChar|XoffChar|ErrorChar|EofChar|EvtChar|" and the five
// time-outs, numbers in decimal, path as GetFinalPathNameByHandleW gives it.
//
// On "qdriver.dumpstatus" it writes "qhook-status.txt": "dpi|N" with the
// main window's DPI, then one line per status bar part, "part|i|width|ink":
// the part's width and how far right of its left edge the window's own
// drawing of that part puts ink, drawn for it into a bitmap far wider than
// the part (so a text too long for its part shows as ink beyond its width).
//
// On "qdriver.dpichanged" it tells the main window its scale changed, as
// Windows does when the window moves to a monitor of another scale:
// WM_DPICHANGED with the window's DPI and a suggested rectangle 10 px right,
// 20 px down, 100 px narrower and 50 px lower than the window's (a size a
// screen always has room for); it writes
// that rectangle to "qhook-dpi.txt" as "left|top|right|bottom".
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "serial/dcb_win.h"

namespace {

HINSTANCE g_module = nullptr;

std::string utf8(const wchar_t* w) {
  char buf[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
  return n > 0 ? std::string(buf, n - 1) : std::string();
}

void dump(FILE* f, HMENU menu, int depth) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; i++) {
    wchar_t text[256] = L"";
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING | MIIM_FTYPE | MIIM_CHECKMARKS;
    info.dwTypeData = text;
    info.cch = 255;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    if (info.fType & MFT_SEPARATOR) {
      std::fprintf(f, "%d\t0\tsep\t-\t0\n", depth);
      continue;
    }
    std::fprintf(f, "%d\t%u\t%s\t%s\t%d\n", depth, info.hSubMenu ? 0u : info.wID,
                 (info.fState & MFS_GRAYED) ? "gray" : "on", utf8(text).c_str(), info.hbmpUnchecked ? 1 : 0);
    if (info.hSubMenu) dump(f, info.hSubMenu, depth + 1);
  }
}

// Opens each popup the way a user would, so the window's WM_INITMENUPOPUP
// grays what is not available now.
void init_popups(HWND hwnd, HMENU menu) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; i++) {
    HMENU popup = GetSubMenu(menu, i);
    if (!popup) continue;
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), i);
    init_popups(hwnd, popup);
  }
}

// The process's handles are small multiples of four: try each, keep those
// that are character devices answering GetCommState.
void dump_comm(FILE* f) {
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    HANDLE h = reinterpret_cast<HANDLE>(value);
    if (GetFileType(h) != FILE_TYPE_CHAR) continue;
    DCB d = {};
    d.DCBlength = sizeof d;
    COMMTIMEOUTS t = {};
    if (!GetCommState(h, &d) || !GetCommTimeouts(h, &t)) continue;
    wchar_t path[MAX_PATH] = L"";
    if (!GetFinalPathNameByHandleW(h, path, MAX_PATH, 0)) path[0] = 0;
    LineDcb l;
    line_dcb_from_win(d, &l);
    std::fprintf(f, "%s|%lu|%u|%u|%u|%u|%u|%u|%u|%u|%u|%u|%u|%lu|%lu|%lu|%lu|%lu\n", utf8(path).c_str(), d.BaudRate,
                 l.flags, d.XonLim, d.XoffLim, d.ByteSize, d.Parity, d.StopBits, static_cast<unsigned char>(d.XonChar),
                 static_cast<unsigned char>(d.XoffChar), static_cast<unsigned char>(d.ErrorChar),
                 static_cast<unsigned char>(d.EofChar), static_cast<unsigned char>(d.EvtChar), t.ReadIntervalTimeout,
                 t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                 t.WriteTotalTimeoutConstant);
  }
}

// The rightmost column, plus one, of a 32-bit top-down image `w` x `h`
// that differs from its last column's colour; 0 when none does.
int ink_right(const uint32_t* bits, int w, int h) {
  for (int x = w - 1; x >= 0; x--)
    for (int y = 0; y < h; y++)
      if ((bits[y * w + x] & 0xFFFFFF) != (bits[y * w + w - 1] & 0xFFFFFF)) return x + 1;
  return 0;
}

void dump_status(FILE* f, HWND main) {
  std::fprintf(f, "dpi|%u\n", GetDpiForWindow(main));
  HWND bar = GetDlgItem(main, 1001);
  if (!bar) return;
  int edges[64] = {};
  const int parts = static_cast<int>(SendMessageW(bar, SB_GETPARTS, 64, reinterpret_cast<LPARAM>(edges)));
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0));
  HDC screen = GetDC(bar);
  HDC mem = CreateCompatibleDC(screen);
  for (int i = 0; i < parts; i++) {
    RECT part = {};
    SendMessageW(bar, SB_GETRECT, i, reinterpret_cast<LPARAM>(&part));
    const int w = 3000, h = part.bottom - part.top;
    if (h <= 0) continue;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP image = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!image) continue;
    HGDIOBJ old_image = SelectObject(mem, image);
    HGDIOBJ old_font = font ? SelectObject(mem, font) : nullptr;
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_STATIC;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID(bar));
    item.itemID = static_cast<UINT>(i);
    item.hwndItem = bar;
    item.hDC = mem;
    item.rcItem = {0, 0, w, h};
    SendMessageW(main, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    GdiFlush();
    std::fprintf(f, "part|%d|%ld|%d\n", i, part.right - part.left, ink_right(static_cast<const uint32_t*>(bits), w, h));
    wchar_t tip[2 * MAX_PATH] = L"";
    SendMessageW(bar, SB_GETTIPTEXTW, MAKEWPARAM(i, 2 * MAX_PATH), reinterpret_cast<LPARAM>(tip));
    char tip8[6 * MAX_PATH] = "";
    WideCharToMultiByte(CP_UTF8, 0, tip, -1, tip8, sizeof tip8, nullptr, nullptr);
    if (tip8[0]) std::fprintf(f, "tip|%d|%s\n", i, tip8);
    if (old_font) SelectObject(mem, old_font);
    SelectObject(mem, old_image);
    DeleteObject(image);
  }
  DeleteDC(mem);
  ReleaseDC(bar, screen);
}

FILE* open_beside(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash) lstrcpyW(slash + 1, name);
  return _wfopen(path, L"wb");
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK qhook_callwnd(int code, WPARAM wp, LPARAM lp) {
  static UINT dump_message = RegisterWindowMessageW(L"qdriver.dumpmenu");
  static UINT comm_message = RegisterWindowMessageW(L"qdriver.dumpcomm");
  static UINT status_message = RegisterWindowMessageW(L"qdriver.dumpstatus");
  static UINT dpi_message = RegisterWindowMessageW(L"qdriver.dpichanged");
  if (code == HC_ACTION) {
    auto* msg = reinterpret_cast<CWPSTRUCT*>(lp);
    if (msg->message == dpi_message) {
      RECT r;
      GetWindowRect(msg->hwnd, &r);
      RECT suggested = {r.left + 10, r.top + 20, r.right - 90, r.bottom - 30};
      const UINT dpi = GetDpiForWindow(msg->hwnd);
      SendMessageW(msg->hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
      FILE* f = open_beside(L"qhook-dpi.txt");
      if (f) {
        std::fprintf(f, "%ld|%ld|%ld|%ld\n", suggested.left, suggested.top, suggested.right, suggested.bottom);
        std::fclose(f);
      }
    }
    if (msg->message == status_message) {
      FILE* f = open_beside(L"qhook-status.txt");
      if (f) {
        dump_status(f, msg->hwnd);
        std::fclose(f);
      }
    }
    if (msg->message == comm_message) {
      FILE* f = open_beside(L"qhook-comm.txt");
      if (f) {
        dump_comm(f);
        std::fclose(f);
      }
    }
    if (msg->message == dump_message) {
      wchar_t path[MAX_PATH];
      GetModuleFileNameW(g_module, path, MAX_PATH);
      wchar_t* slash = wcsrchr(path, L'\\');
      if (slash) lstrcpyW(slash + 1, L"qhook-menu.txt");
      FILE* f = _wfopen(path, L"wb");
      if (f) {
        if (msg->wParam == 1) {
          HMENU sys = GetSystemMenu(msg->hwnd, FALSE);
          if (sys) {
            EnableMenuItem(sys, SC_RESTORE, MF_BYCOMMAND | (IsZoomed(msg->hwnd) ? MF_ENABLED : MF_GRAYED));
            SendMessageW(msg->hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sys), MAKELPARAM(0, TRUE));
            dump(f, sys, 0);
          }
        } else {
          HMENU bar = GetMenu(msg->hwnd);
          if (bar) {
            init_popups(msg->hwnd, bar);
            dump(f, bar, 0);
          }
        }
        std::fclose(f);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}
