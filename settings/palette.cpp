#include "settings/palette.h"

#include <cstdio>

#include "app/text16.h"

namespace {

const Rgb kLightDefaults[kPaletteSlots] = {
    {0, 0, 0},       {255, 255, 255}, {200, 200, 255}, {200, 255, 200}, {255, 200, 255},
    {255, 255, 200}, {240, 240, 240}, {255, 255, 255}, {128, 255, 255}, {128, 255, 128},
    {255, 180, 180}, {255, 255, 255}, {0, 0, 255},     {0, 0, 0},       {150, 255, 150},
    {100, 255, 100}, {0, 0, 255},     {230, 230, 230}, {0, 0, 0},       {255, 0, 0}};

const Rgb kDarkDefaults[kPaletteSlots] = {
    {255, 255, 255}, {0, 0, 0},       {100, 100, 0},   {100, 0, 100},   {0, 100, 0},
    {0, 0, 100},     {32, 32, 32},    {0, 0, 0},       {128, 0, 0},     {128, 0, 128},
    {0, 100, 100},   {255, 255, 255}, {0, 0, 255},     {255, 255, 255}, {20, 150, 20},
    {0, 60, 0},      {128, 255, 255}, {42, 42, 42},    {255, 255, 255}, {255, 128, 128}};

uint8_t* component(Rgb* c, int k) { return k == 0 ? &c->r : k == 1 ? &c->g : &c->b; }
const uint8_t* component(const Rgb* c, int k) { return k == 0 ? &c->r : k == 1 ? &c->g : &c->b; }
const char kComponents[3] = {'r', 'g', 'b'};

}  // namespace

void palettes_defaults(Palettes* p) {
  for (int i = 0; i < kPaletteSlots; i++) {
    p->light[i] = kLightDefaults[i];
    p->dark[i] = kDarkDefaults[i];
  }
}

void palette_color_key(int dark, int slot, char comp, char16_t out[24]) {
  char key[24];
  std::snprintf(key, sizeof key, "rbg%cs[%d].%c", dark ? 'D' : 'L', slot, comp);
  text16_from_ascii(out, 24, key);
}

void palettes_load(Palettes* p, const ProfileIo* io) {
  palettes_defaults(p);
  for (int dark = 0; dark < 2; dark++)
    for (int slot = 0; slot < kPaletteSlots; slot++)
      for (int k = 0; k < 3; k++) {
        Rgb* c = dark ? &p->dark[slot] : &p->light[slot];
        char16_t key[24];
        palette_color_key(dark, slot, kComponents[k], key);
        *component(c, k) = static_cast<uint8_t>(io->get_int(io->ctx, key, *component(c, k)));
      }
}

void palettes_save(const Palettes* p, const ProfileIo* io) {
  for (int dark = 0; dark < 2; dark++)
    for (int slot = 0; slot < kPaletteSlots; slot++)
      for (int k = 0; k < 3; k++) {
        const Rgb* c = dark ? &p->dark[slot] : &p->light[slot];
        char16_t key[24], value[8];
        char text[8];
        palette_color_key(dark, slot, kComponents[k], key);
        std::snprintf(text, sizeof text, "%d", *component(c, k));
        text16_from_ascii(value, 8, text);
        io->put_text(io->ctx, key, value);
      }
}

void palettes_derive_button_face(Palettes* p) {
  const Rgb& l = p->light[kSlotDialogBack];
  const Rgb& d = p->dark[kSlotDialogBack];
  p->light[kSlotButtonFace] = {static_cast<uint8_t>(l.r - 10), static_cast<uint8_t>(l.g - 10),
                               static_cast<uint8_t>(l.b - 10)};
  p->dark[kSlotButtonFace] = {static_cast<uint8_t>(d.r + 10), static_cast<uint8_t>(d.g + 10),
                              static_cast<uint8_t>(d.b + 10)};
}

void theme_reader_init(ThemeReader* r) {
  *r = {};
}

static int line_starts(const ThemeReader* r, const char16_t* prefix) {
  for (int i = 0; prefix[i]; i++)
    if (i >= r->length || r->line[i] != prefix[i]) return 0;
  return 1;
}

static void theme_reader_line(ThemeReader* r) {
  r->flags.dark_mode = line_starts(r, u"dkm=1") || line_starts(r, u"dkm=3");
  r->flags.menu_suppressed = line_starts(r, u"dkm=2") || line_starts(r, u"dkm=3");
  r->length = 0;
}

static void theme_reader_unit(ThemeReader* r, char16_t c) {
  r->line[r->length++] = c;
  // CR LF ends a line; a line of 510 characters without one ends there.
  if (c == u'\n' && r->length >= 2 && r->line[r->length - 2] == u'\r') {
    r->length -= 2;
    theme_reader_line(r);
  } else if (r->length >= 510) {
    theme_reader_line(r);
  }
}

void theme_reader_feed(ThemeReader* r, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (r->bom_seen < 0) return;
    if (!r->have_low) {
      r->low = bytes[i];
      r->have_low = 1;
      continue;
    }
    r->have_low = 0;
    char16_t unit = static_cast<char16_t>(r->low | bytes[i] << 8);
    if (r->bom_seen == 0) {
      r->bom_seen = unit == 0xFEFF ? 1 : -1;
      continue;
    }
    theme_reader_unit(r, unit);
  }
}

size_t theme_file_bytes(int value, uint8_t out[32]) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "dkm=%d\r\n", value);
  if (n < 0 || n > 15) n = 0;
  out[0] = 0xFF;
  out[1] = 0xFE;
  for (int i = 0; i < n; i++) {
    out[2 + 2 * i] = static_cast<uint8_t>(text[i]);
    out[3 + 2 * i] = 0;
  }
  return 2 + 2 * static_cast<size_t>(n);
}
