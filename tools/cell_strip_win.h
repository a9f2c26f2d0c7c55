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

#include "tools/typed_input.h"

// An input field that never keeps text: what a keystroke typed is taken
// into `in` at key-up and the field is emptied. With edit_keys set, the
// Backspace and Delete keys remove the last unit or all of them; any other
// key-down (and with edit_keys clear, every key-down) is swallowed.
struct TypedField {
  TypedInput* in;
  WNDPROC proc;  // the edit's own procedure
  int edit_keys;
};
// Creates the field (EDIT `id` at (5, 5), w x h pixels) for `f`, which must
// outlive it.
HWND typed_field_create(HWND dlg, int id, int w, int h, TypedField* f);
// The input strip of a dialog: `title` (a message text) at (40, 5), the ASC
// and HEX labels at the left, column numbers and the cells from (40, 40),
// and a pending HEX digit in the next cell's hex row.
void typed_strip_paint(HDC dc, const StripGeometry& g, TypedInput* in, int title);
// The send format preview statics 406-417 of a dialog.
void frame_preview_update(HWND dlg);
