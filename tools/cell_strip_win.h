// The two-row cell strips of the preset strings windows and the checksum
// calculator: a character row above a hex row, 64 cells a strip, in the
// data view's fonts and the palette's alternating cell colors.
#pragma once

#include "app/app_win.h"

constexpr int kStripCells = 64;

struct StripGeometry {
  int32_t w, h, s;   // width and height of "W" in the big font, height in the small one
  int32_t cell;      // 2w
  int32_t pitch;     // s + 2h + 5: one list row
};
StripGeometry strip_geometry();

// The 64 empty cell rectangles of a strip whose character row starts at (x, y).
void strip_grid(HDC dc, const StripGeometry& g, int x, int y);
// Up to 64 units as cells: display text above (one character from x + w/2),
// the two hex digits below, each on its cell's color.
void strip_cells(HDC dc, const StripGeometry& g, int x, int y, const char16_t* units, int count);
// "%03d" column numbers first ... first + count - 1 in the small font at y.
void strip_column_numbers(HDC dc, const StripGeometry& g, int x, int y, int first, int count);
// Moves control `id` of dlg to a place in pixels.
void strip_place(HWND dlg, int id, int x, int y, int w, int h);
// Sets control `id` of dlg to message text n.
void strip_label(HWND dlg, int id, int n);
