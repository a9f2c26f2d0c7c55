// The tooltip over the data view's cells (view/cell_tip.h decides what it
// says): one tracking tooltip owned by the main window.
#pragma once

#include "app/app_win.h"

#include <commctrl.h>

// Creates the tooltip; without it the view simply has none.
void cell_tip_create(HWND owner);
// WM_MOUSEMOVE at client point (x, y): shows, moves or hides the tooltip,
// doing nothing more while the mouse stays over the same cell.
void cell_tip_mouse_move(HWND owner, int x, int y);
// WM_MOUSELEAVE: the mouse left the client area.
void cell_tip_mouse_leave();
// 1 when a WM_NOTIFY comes from the cell tooltip (the toolbar's tooltips
// have their own handler).
int cell_tip_notifies(const NMHDR* hdr);
