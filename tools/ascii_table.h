// The ASCII table window's contents: where each of the codes 0x00 to 0x7F
// is drawn, with which texts, and which description a press on the window
// shows. The window itself is tools/ascii_table_win.cpp.
#pragma once

#include <cstdint>

#include "settings/message_text.h"

constexpr int kAsciiCodes = 128;
constexpr int kAsciiRowHeight = 18;   // pixels per code
constexpr int kAsciiRowsPerColumn = 16;
constexpr int kAsciiPressCellWidth = 70;  // the press grid: 70 x 18 pixels
constexpr int kAsciiFirstDescription = kTextAsciiNamesFirst;  // message text of code 0x00

struct AsciiCell {
  int code_x;       // x of the "%02X:" text (its first three characters)
  int name_x;       // x of the name or character
  int y;
  char16_t code[4];  // e.g. "1B:"
  char16_t name[4];  // "ESC", "SP", "A"; terminated
  int name_len;      // 1 to 3
};

// Placement and texts of `code` (0 to 127).
void ascii_table_cell(int code, AsciiCell* out);

// Message text shown while the mouse button is held at client (x, y), or 0
// when a press there shows nothing: only the two control-code columns
// (x < 140, the first sixteen rows) have descriptions.
int ascii_table_description(int x, int y);
