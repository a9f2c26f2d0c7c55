#include "settings/color_rows.h"

#include <cstdio>

#include "app/text16.h"

int color_row_slot(int row) {
  if (row >= 1 && row <= 5) return row + 1;
  if (row >= 6 && row <= 14) return row + 2;
  if (row == 15 || row == 16) return row + 3;
  return -1;
}

int color_row_edit_id(int row, int component) { return 318 + 3 * row + component; }

int color_row_of_button(int id) { return id >= 251 && id <= 250 + kColorRows ? id - 250 : 0; }

uint8_t color_component_from_text(const char16_t* text) {
  // Only the low byte is kept: the value wraps, as the color file's values do.
  return static_cast<uint8_t>(static_cast<uint32_t>(text16_to_int(text, kColorEditUnits - 1)) & 0xFF);
}

void color_rows_to_texts(const Rgb* palette, ColorEditTexts* out) {
  for (int row = 1; row <= kColorRows; row++) {
    const Rgb& c = palette[color_row_slot(row)];
    const int values[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; k++) {
      char text[8];
      std::snprintf(text, sizeof text, "%d", values[k]);
      text16_from_ascii(out->text[row - 1][k], kColorEditUnits, text);
    }
  }
}

void color_rows_from_texts(Rgb* palette, const ColorEditTexts* in) {
  for (int row = 1; row <= kColorRows; row++) {
    Rgb& c = palette[color_row_slot(row)];
    c.r = color_component_from_text(in->text[row - 1][0]);
    c.g = color_component_from_text(in->text[row - 1][1]);
    c.b = color_component_from_text(in->text[row - 1][2]);
  }
}

namespace {

constexpr int kCell = 18;
constexpr int kCellsLeft = 50;   // first cell of the data area
constexpr int kDataCells = 30;
constexpr int kSendCellsLeft = 55;
constexpr int kSendCellsEnd = 559;  // cells start while x is below this

struct Builder {
  PreviewItem* items;
  int cap;
  int n;
  Rgb pen, fill, ink, paper;  // base colors
};

PreviewItem* add(Builder& b, PreviewKind kind, int x0, int y0, int x1, int y1) {
  // Counted even when there is no room, so the caller learns what was cut.
  PreviewItem* it = b.n < b.cap ? &b.items[b.n] : nullptr;
  b.n++;
  if (!it) return nullptr;
  *it = {};
  it->kind = kind;
  it->x0 = static_cast<int16_t>(x0);
  it->y0 = static_cast<int16_t>(y0);
  it->x1 = static_cast<int16_t>(x1);
  it->y1 = static_cast<int16_t>(y1);
  return it;
}

void box(Builder& b, int x0, int y0, int x1, int y1, Rgb pen, Rgb fill) {
  if (PreviewItem* it = add(b, kPreviewBox, x0, y0, x1, y1)) {
    it->pen = pen;
    it->fill = fill;
  }
}

// A cell: outline and fill in the same color.
void cell(Builder& b, int x, int y, Rgb color) { box(b, x, y, x + kCell, y + kCell, color, color); }

void line(Builder& b, int x0, int y0, int x1, int y1) {
  if (PreviewItem* it = add(b, kPreviewLine, x0, y0, x1, y1)) it->pen = b.pen;
}

PreviewItem* text(Builder& b, int x, int y, const char16_t* s, PreviewFont font, Rgb ink) {
  PreviewItem* it = add(b, kPreviewText, x, y, x, y);
  if (!it) return nullptr;
  it->font = font;
  it->ink = ink;
  text16_copy(it->text, kPreviewTextUnits, s);
  return it;
}

void text_on(Builder& b, int x, int y, const char16_t* s, PreviewFont font, Rgb ink, Rgb paper) {
  if (PreviewItem* it = text(b, x, y, s, font, ink)) {
    it->paper = paper;
    it->opaque = 1;
  }
}

void number3(int value, char16_t out[8]) {
  char t[8];
  std::snprintf(t, sizeof t, "%03d", value);
  text16_from_ascii(out, 8, t);
}

// A window of the mock-up: its title strip in base colors and a body in the
// dialog back color.
void mock_window(Builder& b, const Rgb* palette, int top, int bottom, int title_x, const char16_t* title) {
  box(b, 10, top, 590, top + 21, b.pen, b.fill);
  text_on(b, title_x, top + 2, title, kPreviewBig, b.ink, b.paper);
  box(b, 10, top + 20, 590, bottom, b.pen, palette[kSlotDialogBack]);
}

// One strip of the data area: 30 ASCII cells over 30 hexadecimal cells.
// Even cells (from 0) take the second color of each pair, odd ones the first.
void data_strip(Builder& b, const Rgb* palette, int top) {
  for (int i = 0; i < kDataCells; i++) {
    const int x = kCellsLeft + i * kCell;
    const int odd = i & 1;
    cell(b, x, top, palette[odd ? kSlotAscBack1 : kSlotAscBack2]);
    cell(b, x, top + kCell, palette[odd ? kSlotHexBack1 : kSlotHexBack2]);
  }
}

// Four cells of one channel's data from cell `first`: the numbers 001-004
// above them, each digit in the ASCII row and its code in the hex row.
void data_group(Builder& b, const Rgb* palette, int top, int number_y, int first, int digit, int slot) {
  for (int j = 0; j < 4; j++) {
    const int x = kCellsLeft + (first + j) * kCell;
    char16_t number[8];
    number3(j + 1, number);
    text(b, x, number_y, number, kPreviewSmall, b.ink);
    const int d = (digit + j) % 10;
    const char16_t ascii[2] = {static_cast<char16_t>(u'0' + d), 0};
    const char16_t hex[3] = {u'3', static_cast<char16_t>(u'0' + d), 0};
    for (int row = 0; row < 2; row++) {
      const int y = top + row * kCell;
      if (PreviewItem* it = add(b, kPreviewText, x, y, x + kCell, y + kCell)) {
        it->font = kPreviewBig;
        it->ink = palette[slot];
        it->centered = 1;
        text16_copy(it->text, kPreviewTextUnits, row == 0 ? ascii : hex);
      }
    }
  }
}

}  // namespace

int color_preview_build(const Rgb* palette, int dark, int japanese, PreviewItem* items, int cap) {
  const Rgb white = {255, 255, 255}, black = {0, 0, 0};
  Builder b = {items, cap, 0, dark ? white : black, dark ? black : white, dark ? white : black,
               dark ? black : white};

  // Main window: title bar and data area with a READ and a SEND strip.
  box(b, 5, 40, 600, 71, b.pen, b.fill);
  text_on(b, 270, 45, u"Tital Ber", kPreviewBig, b.ink, b.paper);
  box(b, 5, 70, 600, 371, b.pen, b.fill);
  text(b, 5, 94, u"READ:", kPreviewBig, b.ink);
  text(b, 5, 144, u"SEND:", kPreviewBig, b.ink);
  line(b, 5, 182, 600, 182);
  line(b, 5, 183, 600, 183);
  data_strip(b, palette, 90);
  data_strip(b, palette, 142);
  data_group(b, palette, 90, 80, 0, 1, kSlotCh1Text);
  data_group(b, palette, 90, 80, 14, 5, kSlotCh2Text);
  data_group(b, palette, 142, 132, 7, 3, kSlotCh1Text);
  data_group(b, palette, 142, 132, 21, 7, kSlotCh2Text);
  const struct { int x; const char16_t* t; } gaps[4] = {
      {122, u"t=0012"}, {374, u"t=0011"}, {248, u"t=0008"}, {500, u"t=0123"}};
  for (const auto& g : gaps) text(b, g.x, 126, g.t, kPreviewSmall, palette[kSlotGapText]);
  text_on(b, 554, 80, u"EOF", kPreviewSmall, palette[kSlotEofText], palette[kSlotEofBack]);
  text_on(b, 554, 132, u"EOF", kPreviewSmall, palette[kSlotEofText], palette[kSlotEofBack]);

  // Input character send window: numbered ASCII and hex cells, and the row
  // labels with the ASCII one marked as the active entry mode.
  mock_window(b, palette, 200, 281, 230, u"Input SEND Dialog");
  for (int i = 0, x = kSendCellsLeft; x < kSendCellsEnd; i++, x += kCell) {
    const int odd = i & 1;
    char16_t number[8];
    number3(i + 1, number);
    text(b, x, 230, number, kPreviewSmall, b.ink);
    cell(b, x, 240, palette[odd ? kSlotAscBack1 : kSlotAscBack2]);
    cell(b, x, 258, palette[odd ? kSlotHexBack1 : kSlotHexBack2]);
  }
  text_on(b, 15, 242, japanese ? u"ASC\u6587\u5B57" : u"ASCchar", kPreviewSmall, palette[kSlotAscHexText],
          palette[kSlotAscHexBack]);
  text(b, 15, 262, japanese ? u"HEX\u6587\u5B57" : u"HEXchar", kPreviewSmall, palette[kSlotAscHexText]);

  // Checksum calculator with its answer line.
  mock_window(b, palette, 290, 361, 235, u"Checksum Dialog");
  text_on(b, 200, 330, u"Answer HEX=03, : ASC=30,33,", kPreviewBig, b.ink, palette[kSlotAnswerBack]);

  // The status bar in its three colors.
  const struct { int slot; int x; const char16_t* t; } bars[3] = {
      {kSlotStatusOne, 245, u"Status Ber CH1"},
      {kSlotStatusBoth, 235, u"Status Ber CH1&CH2"},
      {kSlotStatusMonitor, 220, u"Status Ber Linemonitor"}};
  for (int i = 0; i < 3; i++) {
    const int top = 370 + 20 * i;
    box(b, 5, top, 600, top + 21, b.pen, palette[bars[i].slot]);
    text(b, bars[i].x, top + 2, bars[i].t, kPreviewBig, b.ink);
  }
  return b.n;
}
