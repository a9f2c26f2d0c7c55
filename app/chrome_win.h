// The main window's chrome: menu bar, toolbar, status bar, and the pens and
// brushes made from the active palette.
#pragma once

#include "app/app_win.h"
#include "app/commands.h"

constexpr int kToolbarId = 1000;
constexpr int kStatusBarId = 1001;

extern HWND g_toolbar;
extern HWND g_statusbar;
extern HPEN g_pen[6];       // slots 0 to 5
extern HBRUSH g_brush[7];   // slots 0 to 6; 6 is the dialog brush

COLORREF slot_color(int slot);
// Port numbers, open flags and line monitor mode as they are now.
ChannelFlags channel_flags_now();

void gdi_objects_create();
void gdi_objects_delete();
// Selects the black neutral pen and brush, so colored ones are never left in a DC.
void gdi_select_neutral(HDC dc);

void menu_bar_build(HWND hwnd);
void menu_bar_destroy(HWND hwnd);
void toolbar_create(HWND hwnd);
void statusbar_create(HWND hwnd);
// The window moved to a display of another scale: the toolbar takes the
// images of that scale and the status bar its part edges.
void chrome_rescale(HWND hwnd);
// Tool refresh: status bar color and toolbar button states.
void chrome_tool_refresh();
void statusbar_refresh_color();
// WM_DRAWITEM of the status bar; 1 when it drew.
int statusbar_draw(const DRAWITEMSTRUCT* item);
// WM_NOTIFY: tooltip texts of the toolbar buttons.
void toolbar_tooltip_text(NMHDR* hdr);
