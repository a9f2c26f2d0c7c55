// What the input fields of the input character send window, the preset
// strings editor and the checksum calculator hold: up to 256 typed units
// (ASC characters or HEX bytes), the hex entry state, and which 64 of them
// the strip shows.
#pragma once

#include <cstdint>

#include "codec/convert.h"

struct TypedInput {
  char16_t units[kInputUnits];
  int32_t count;
  HexEntry entry;
  int32_t view_offset;    // first unit shown: a multiple of 32, 0 ... 192
  int32_t user_scrolled;  // "<" or ">" chose the offset for the next repaint
};

// Feeds the characters a keystroke left in the field (len of them). A full
// input takes nothing. Returns the number of units added.
int typed_input_take(TypedInput* in, const char16_t* typed, int len);
// "BS": the last unit goes (nothing happens on an empty input).
void typed_input_backspace(TypedInput* in);
// "CLR": every unit goes; the entry state and a pending digit stay.
void typed_input_clear(TypedInput* in);
// "<" (step -1) and ">" (step +1): 32 units back or on, within 0 ... 192,
// kept for the next repaint.
void typed_input_scroll(TypedInput* in, int step);
// The offset a repaint shows: the last full block of 32 (one block back
// from the end) unless the user scrolled, at most 192. Clears the user's
// choice, which lasts one repaint.
int32_t typed_input_view(TypedInput* in);
