// The two-row cell strips of the input character send window, the preset
// strings windows and the checksum calculator: a character row above a hex
// row, 64 cells a strip, in the data view's fonts and the palette's
// alternating cell colors.
#pragma once

#include "app/app_win.h"
#include "ui/scale.h"

constexpr int kStripCells = 64;

// Every fixed size of these windows is a size at 96 DPI, scaled to the DPI
// the data view's fonts were made for: px(size, g.dpi).
struct StripGeometry {
  int32_t w, h, s;   // width and height of "W" in the big font, height in the small one
  int32_t cell;      // 2w
  int32_t pitch;     // s + 2h + 5: one list row
  int32_t right;     // right edge of a strip of 64 cells starting at x = 40
  int32_t dpi;
};
StripGeometry strip_geometry();

// The 64 empty cell rectangles of a strip whose character row starts at (x, y).
void strip_grid(HDC dc, const StripGeometry& g, int x, int y);
// Up to 64 units as cells: display text above (one character from x + w/2),
// the two hex digits below, each on its cell's color, the text in palette
// color `text_slot`.
void strip_cells(HDC dc, const StripGeometry& g, int x, int y, const char16_t* units, int count, int text_slot);
// "%03d" column numbers first ... first + count - 1 in the small font at y.
void strip_column_numbers(HDC dc, const StripGeometry& g, int x, int y, int first, int count);
// One list row: its grid at (x, y) and, when count is above 0, the column
// numbers 0 ... at numbers_y and the first 64 units as cells.
void strip_row(HDC dc, const StripGeometry& g, int x, int y, int numbers_y, const char16_t* units, int count,
               int text_slot);
// Message text n in the small font at (x, y): a list's heading.
void strip_heading(HDC dc, int x, int y, int n);
// Moves control `id` of dlg to a place in pixels.
void strip_place(HWND dlg, int id, int x, int y, int w, int h);
// Sizes dlg so that its client area is w x h pixels; it keeps its place.
void strip_fit_window(HWND dlg, int w, int h);
// Sets control `id` of dlg to message text n.
void strip_label(HWND dlg, int id, int n);
// Asks message text 36 (caption message text 20, Yes/No): 1 on Yes.
int strip_ask_delete(HWND dlg);

#include "tools/typed_input.h"

// An input field that never keeps text: what a keystroke typed is taken
// into `in` at key-up and the field is emptied. With edit_keys set, the
// Backspace and Delete keys remove the last unit or all of them; any other
// key-down (and with edit_keys clear, every key-down) is swallowed.
// With repaint_each_key clear, a key-up repaints the dialog when it added a
// unit or left a HEX digit pending, and Backspace and "BS" always repaint.
// With it set, a key-up repaints whenever the field held text and the input
// was not full, and Backspace and "BS" repaint only when a unit went.
struct TypedField {
  TypedInput* in;
  WNDPROC proc;  // the edit's own procedure
  int edit_keys;
  int repaint_each_key;
};
// Creates the field (EDIT `id` at (5, 5), w x h pixels at 96 DPI) for `f`,
// which must outlive it.
HWND typed_field_create(HWND dlg, int id, int w, int h, TypedField* f);

// The controls a dialog keeps beside its input strip.
struct TypedStripIds {
  int field, left, right, mode_head, asc, hex, clr, bs;
};
// Creates the field (see typed_field_create), starts in ASC with its radio
// button checked, and shows the input from its first unit.
void typed_strip_open(HWND dlg, const TypedStripIds& ids, TypedField* f, int w, int h);
// Places "<", ">", the mode heading, ASC, HEX, "CLR" and "BS" right of the
// input strip; returns their left edge.
int typed_strip_layout(HWND dlg, const StripGeometry& g, const TypedStripIds& ids);
// The strip's commands: "<", ">", "CLR", "BS", and ASC / HEX (which also
// tell the user the mode). Returns 1 when `id` was one of them.
int typed_strip_command(HWND dlg, const TypedStripIds& ids, TypedField* f, int id);
// The input strip of a dialog: `title` (a message text) at (40, 5), the ASC
// and HEX labels at the left, column numbers and the cells from (40, 40),
// and a pending HEX digit in the next cell's hex row, the units and the
// digit in palette color `text_slot`.
void typed_strip_paint(HDC dc, const StripGeometry& g, TypedInput* in, int title, int text_slot);
// The send format preview statics 406-417 of a dialog.
void frame_preview_update(HWND dlg);
