// Palettes of 20 color slots (light and dark), the color file "color.ini"
// that stores both, and the theme file "dkm.ini" that says which palette is
// active and whether the main window has a menu bar.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings.h"

constexpr int kPaletteSlots = 20;

struct Rgb {
  uint8_t r, g, b;
};

struct Palettes {
  Rgb light[kPaletteSlots];
  Rgb dark[kPaletteSlots];
};

// Slots with a fixed role.
enum PaletteSlot {
  kSlotText = 0, kSlotBackground = 1, kSlotAscBack1 = 2, kSlotAscBack2 = 3, kSlotHexBack1 = 4,
  kSlotHexBack2 = 5, kSlotDialogBack = 6, kSlotStatusNone = 7, kSlotStatusOne = 8, kSlotStatusBoth = 9,
  kSlotStatusMonitor = 10, kSlotEofText = 11, kSlotEofBack = 12, kSlotAscHexText = 13, kSlotAscHexBack = 14,
  kSlotAnswerBack = 15, kSlotGapText = 16, kSlotButtonFace = 17, kSlotCh1Text = 18, kSlotCh2Text = 19,
};

void palettes_defaults(Palettes* p);
inline uint32_t rgb_colorref(Rgb c) { return c.r + c.g * 256u + c.b * 65536u; }

// Key of one color component: "rbgLs[%d].r" (light) or "rbgDs[%d].g" (dark).
void palette_color_key(int dark, int slot, char component, char16_t out[24]);

// Reads the 120 keys, light slots first, r g b each; missing keys give the
// defaults, values keep their low 8 bits.
void palettes_load(Palettes* p, const ProfileIo* io);
void palettes_save(const Palettes* p, const ProfileIo* io);

// Button face (slot 17): light = slot 6 less 10 per component, dark = slot 6
// plus 10, wrapping around as bytes.
void palettes_derive_button_face(Palettes* p);

// Theme values 0 to 3 and what they mean.
struct ThemeFlags {
  int32_t dark_mode;
  int32_t menu_suppressed;
};

// Reads the theme file one UTF-16 unit at a time, as it arrives: feed the
// bytes of the file to theme_reader_feed and read `flags` at the end.
struct ThemeReader {
  ThemeFlags flags;
  int bom_seen;      // 0 until FF FE was read; -1 when the file had none
  uint8_t low;       // first byte of a unit in progress
  int have_low;
  char16_t line[512];
  int length;
};

void theme_reader_init(ThemeReader* r);
void theme_reader_feed(ThemeReader* r, const uint8_t* bytes, size_t n);

// The file the program writes for theme value `value`: FF FE, then
// "dkm=%d\r\n" in UTF-16LE. Returns the byte count (16 for 0 to 9).
size_t theme_file_bytes(int value, uint8_t out[32]);
