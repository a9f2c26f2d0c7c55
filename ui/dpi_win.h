// The display scale of a window, for the sizes laid out in pixels
// (ui/scale.h scales them from 96 DPI).
#pragma once

#include "app/app_win.h"

// The DPI of the monitor `hwnd` is on as the window sees it; the system's on
// a Windows without per-window DPI (before Windows 10).
int32_t window_dpi(HWND hwnd);
// `value` pixels at 96 DPI in the pixels of `hwnd`.
int32_t window_px(HWND hwnd, int32_t value);

// Sent to every other top-level window of the user-interface thread when
// the main window's scale changed (and with it the data view's fonts that
// the tool windows draw with): a window laid out in pixels lays itself out
// again.
constexpr UINT kMessageRescaled = WM_APP + 40;
void tool_windows_rescale(HWND main);
