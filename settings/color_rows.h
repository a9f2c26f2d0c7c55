// What the color setting dialog decides without a window: which slot each
// of its sixteen rows edits, how the rows' edits turn into colors and back,
// and the picture its preview paints (a mock-up of the main window, the
// input character send window, the checksum calculator and the status bar),
// as a list of boxes, lines and texts that the dialog only has to draw.
#pragma once

#include <cstdint>

#include "settings/palette.h"

constexpr int kColorRows = 16;
constexpr int kColorEditUnits = 32;  // an edit is read up to 31 units

// Slot that row `row` (1 to 16) edits: rows 1-5 slots 2-6, rows 6-14 slots
// 8-16, rows 15-16 slots 18-19. -1 for any other row.
int color_row_slot(int row);
// Control id of row `row`'s edit for component 0 (r), 1 (g) or 2 (b).
int color_row_edit_id(int row, int component);
// Row whose color button has id `id` (251 to 266 for rows 1 to 16), else 0.
int color_row_of_button(int id);

// A component typed into an edit: decimal (leading blanks, a sign, digits up
// to the first other unit, none reading as 0, held at the 32-bit limits),
// cut to its low 8 bits without a range check, so 300 becomes 44 and -1 255.
uint8_t color_component_from_text(const char16_t* text);

// The texts of the 48 edits, row by row, r g b.
struct ColorEditTexts {
  char16_t text[kColorRows][3][kColorEditUnits];
};

// Fills the texts from the rows' slots of `palette`, each value as "%d".
void color_rows_to_texts(const Rgb* palette, ColorEditTexts* out);
// Stores the texts into the rows' slots of `palette`; the slots no row
// edits (0, 1, 7 and 17) keep their values.
void color_rows_from_texts(Rgb* palette, const ColorEditTexts* in);

// The preview: client-area pixels, inside kPreviewWidth x kPreviewHeight.
constexpr int kPreviewWidth = 610;
constexpr int kPreviewHeight = 440;
constexpr int kPreviewItemsMax = 320;
constexpr int kPreviewTextUnits = 32;

enum PreviewKind : uint8_t { kPreviewBox, kPreviewLine, kPreviewText };
enum PreviewFont : uint8_t { kPreviewSmall, kPreviewBig };

struct PreviewItem {
  PreviewKind kind;
  // Box: the rectangle, right and bottom outside it (as GDI's Rectangle).
  // Line: from (x0, y0) to (x1, y1), the end point not drawn (as LineTo).
  // Text: drawn from (x0, y0); when `centered`, centered in the box instead.
  int16_t x0, y0, x1, y1;
  Rgb pen, fill;     // box: outline and fill; line: pen
  Rgb ink, paper;    // text color and, when `opaque`, its background
  uint8_t opaque, centered;
  PreviewFont font;
  char16_t text[kPreviewTextUnits];
};

// Fills `items` with the preview of `palette` (the edited working palette);
// `dark` says it is the dark one (white on black base colors, else black on
// white), `japanese` gives the send window's Japanese row labels. Items
// come in painting order. Returns how many the preview has; only the first
// `cap` of them are written.
int color_preview_build(const Rgb* palette, int dark, int japanese, PreviewItem* items, int cap);
