// The two fonts of the data view and the cell metrics measured from them.
#pragma once

#include "app/app_win.h"

extern HFONT g_font_small;
extern HFONT g_font_big;

// Creates both fonts for the window's DPI and measures g_app.metrics on
// its DC.
void fonts_create(HWND hwnd);
void fonts_delete();
// Cells per row and visible rows for the window's current client area.
int32_t view_cells_per_row_now(HWND hwnd);
int32_t view_visible_rows_now(HWND hwnd);
