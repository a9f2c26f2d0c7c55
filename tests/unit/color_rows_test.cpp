#include "settings/color_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// A palette whose every slot has a color of its own, so a color names its slot.
void distinct_palette(Rgb* p) {
  for (int s = 0; s < kPaletteSlots; s++)
    p[s] = {static_cast<uint8_t>(s * 11 + 3), static_cast<uint8_t>(250 - s * 7), static_cast<uint8_t>(s * 5 + 1)};
}

int slot_of(const Rgb* p, Rgb c) {
  for (int s = 0; s < kPaletteSlots; s++)
    if (p[s].r == c.r && p[s].g == c.g && p[s].b == c.b) return s;
  return -1;
}

std::pair<int, int> at(const PreviewItem& it) { return {it.x0, it.y0}; }

bool same(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

std::vector<PreviewItem> preview(const Rgb* palette, int dark, int japanese = 0) {
  std::vector<PreviewItem> items(kPreviewItemsMax);
  int n = color_preview_build(palette, dark, japanese, items.data(), kPreviewItemsMax);
  EXPECT_LE(n, kPreviewItemsMax);
  items.resize(n < kPreviewItemsMax ? n : kPreviewItemsMax);
  return items;
}

std::u16string text_of(const PreviewItem& it) { return it.text; }

const PreviewItem* find_text(const std::vector<PreviewItem>& items, const std::u16string& t) {
  for (const PreviewItem& it : items)
    if (it.kind == kPreviewText && text_of(it) == t) return &it;
  return nullptr;
}

// Cells of a row: boxes 18 pixels square whose top is y, by their left edge.
std::vector<const PreviewItem*> cells_at(const std::vector<PreviewItem>& items, int y) {
  std::vector<const PreviewItem*> out;
  for (const PreviewItem& it : items)
    if (it.kind == kPreviewBox && it.y0 == y && it.y1 == y + 18 && it.x1 - it.x0 == 18) out.push_back(&it);
  return out;
}

TEST(ColorRows, RowsEditTheSlotsOfTheTable) {
  const int expected[17] = {-1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19};
  for (int row = 0; row <= 16; row++) EXPECT_EQ(color_row_slot(row), expected[row]) << row;
  EXPECT_EQ(color_row_slot(17), -1);
  EXPECT_EQ(color_row_slot(-3), -1);
}

TEST(ColorRows, EditAndButtonIds) {
  EXPECT_EQ(color_row_edit_id(1, 0), 321);
  EXPECT_EQ(color_row_edit_id(1, 2), 323);
  EXPECT_EQ(color_row_edit_id(16, 0), 366);
  EXPECT_EQ(color_row_edit_id(16, 2), 368);
  std::set<int> ids;
  for (int row = 1; row <= kColorRows; row++)
    for (int k = 0; k < 3; k++) ids.insert(color_row_edit_id(row, k));
  EXPECT_EQ(ids.size(), 48u);
  EXPECT_EQ(*ids.begin(), 321);
  EXPECT_EQ(*ids.rbegin(), 368);

  struct Case { int id, row; } cases[] = {{251, 1}, {258, 8}, {266, 16}, {250, 0}, {267, 0}, {285, 0}, {286, 0},
                                          {311, 0}, {312, 0}, {0, 0}};
  for (const Case& c : cases) EXPECT_EQ(color_row_of_button(c.id), c.row) << c.id;
}

TEST(ColorRows, TypedComponentsKeepTheirLowByte) {
  struct Case { const char16_t* text; int value; } cases[] = {
      {u"300", 44}, {u"255", 255}, {u"256", 0}, {u"0", 0}, {u"7", 7}, {u"-1", 255}, {u"-256", 0},
      {u"", 0}, {u"abc", 0}, {u"  12", 12}, {u"\t9", 9}, {u"12abc", 12}, {u"+7", 7}, {u"1e3", 1},
      {u"0x10", 0}, {u"1 2", 1},
      {u"99999999999", 255},   // held at 2147483647
      {u"-99999999999", 0},    // held at -2147483648
      {u"65580", 44},
  };
  for (const Case& c : cases) {
    std::u16string t = c.text;
    EXPECT_EQ(color_component_from_text(c.text), c.value) << std::string(t.begin(), t.end());
  }
}

TEST(ColorRows, TextsShowTheRowsSlotsAndOnlyThoseAreRead) {
  Palettes defaults;
  palettes_defaults(&defaults);
  ColorEditTexts texts;
  color_rows_to_texts(defaults.light, &texts);
  EXPECT_EQ(std::u16string(texts.text[0][0]), u"200");  // ASC back color1, slot 2
  EXPECT_EQ(std::u16string(texts.text[0][2]), u"255");
  EXPECT_EQ(std::u16string(texts.text[5][0]), u"128");  // StatusBer CH1, slot 8
  EXPECT_EQ(std::u16string(texts.text[15][1]), u"0");   // CH2 char color, slot 19
  color_rows_to_texts(defaults.dark, &texts);
  EXPECT_EQ(std::u16string(texts.text[4][0]), u"32");   // Dialog back color, slot 6

  Rgb source[kPaletteSlots], target[kPaletteSlots];
  distinct_palette(source);
  color_rows_to_texts(source, &texts);
  for (Rgb& c : target) c = {1, 2, 3};
  color_rows_from_texts(target, &texts);
  std::set<int> edited;
  for (int row = 1; row <= kColorRows; row++) edited.insert(color_row_slot(row));
  for (int s = 0; s < kPaletteSlots; s++) {
    if (edited.count(s))
      EXPECT_TRUE(same(target[s], source[s])) << s;
    else
      EXPECT_TRUE(same(target[s], Rgb{1, 2, 3})) << s;
  }
  EXPECT_EQ(edited, (std::set<int>{2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19}));
}

TEST(ColorRows, ReadingTypedTextsStoresEachInItsComponent) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  ColorEditTexts texts;
  color_rows_to_texts(p, &texts);
  std::memcpy(texts.text[6][1], u"300", sizeof u"300");  // row 7 green: StatusBer CH1-2, slot 9
  std::memcpy(texts.text[15][2], u"-2", sizeof u"-2");   // row 16 blue: slot 19
  const Rgb before9 = p[9], before19 = p[19];
  color_rows_from_texts(p, &texts);
  EXPECT_EQ(p[9].r, before9.r);
  EXPECT_EQ(p[9].g, 44);
  EXPECT_EQ(p[9].b, before9.b);
  EXPECT_EQ(p[19].r, before19.r);
  EXPECT_EQ(p[19].b, 254);
}

TEST(ColorPreview, StaysInTheLeftPartAndFitsItsList) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  for (int dark = 0; dark < 2; dark++) {
    auto items = preview(p, dark);
    EXPECT_GT(items.size(), 200u);
    for (const PreviewItem& it : items) {
      EXPECT_GE(it.x0, 0);
      EXPECT_GE(it.y0, 0);
      EXPECT_LE(it.x1, kPreviewWidth);
      EXPECT_LE(it.y1, kPreviewHeight);
      if (it.kind == kPreviewText) EXPECT_GT(it.text[0], 0);
    }
  }
}

TEST(ColorPreview, ShortListGetsThePrefixAndTheFullCount) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  std::vector<PreviewItem> full(kPreviewItemsMax), part(40);
  PreviewItem guard[4];
  std::memset(guard, 0x5A, sizeof guard);
  std::vector<PreviewItem> with_guard(44);
  std::memcpy(&with_guard[40], guard, sizeof guard);
  int n = color_preview_build(p, 0, 0, full.data(), kPreviewItemsMax);
  EXPECT_EQ(color_preview_build(p, 0, 0, with_guard.data(), 40), n);
  EXPECT_EQ(std::memcmp(with_guard.data(), full.data(), 40 * sizeof(PreviewItem)), 0);
  EXPECT_EQ(std::memcmp(&with_guard[40], guard, sizeof guard), 0);
}

TEST(ColorPreview, BaseColorsFollowTheEditedPaletteNotItsSlots) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  const Rgb white = {255, 255, 255}, black = {0, 0, 0};
  for (int dark = 0; dark < 2; dark++) {
    auto items = preview(p, dark);
    const Rgb ink = dark ? white : black, paper = dark ? black : white;
    const PreviewItem* title = find_text(items, u"Tital Ber");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x0, 270);
    EXPECT_EQ(title->y0, 45);
    EXPECT_EQ(title->font, kPreviewBig);
    EXPECT_TRUE(same(title->ink, ink));
    const PreviewItem& bar = items[0];
    EXPECT_EQ(bar.kind, kPreviewBox);
    EXPECT_EQ(std::vector<int>({bar.x0, bar.y0, bar.x1, bar.y1}), std::vector<int>({5, 40, 600, 71}));
    EXPECT_TRUE(same(bar.pen, ink));
    EXPECT_TRUE(same(bar.fill, paper));
    int lines = 0;
    for (const PreviewItem& it : items)
      if (it.kind == kPreviewLine) {
        EXPECT_TRUE(same(it.pen, ink));
        EXPECT_EQ(it.x0, 5);
        EXPECT_EQ(it.x1, 600);
        EXPECT_EQ(it.y0, it.y1);
        EXPECT_TRUE(it.y0 == 182 || it.y0 == 183);
        lines++;
      }
    EXPECT_EQ(lines, 2);
  }
  // Slots 0, 1, 7 and 17 are not edited by the dialog and do not show.
  Rgb q[kPaletteSlots];
  distinct_palette(q);
  for (int s : {0, 1, 7, 17}) q[s] = {77, 66, 55};
  for (int dark = 0; dark < 2; dark++) {
    auto a = preview(p, dark), b = preview(q, dark);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(PreviewItem)), 0);
  }
}

TEST(ColorPreview, CellsAlternateSecondColorOnEvenCells) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  auto items = preview(p, 0);
  struct Row { int y, count, left, even_slot, odd_slot; } rows[] = {
      {90, 30, 50, 3, 2}, {108, 30, 50, 5, 4}, {142, 30, 50, 3, 2}, {160, 30, 50, 5, 4},
      {240, 28, 55, 3, 2}, {258, 28, 55, 5, 4},  // input send window: x from 55 while below 559
  };
  for (const Row& r : rows) {
    auto cells = cells_at(items, r.y);
    ASSERT_EQ(cells.size(), static_cast<size_t>(r.count)) << r.y;
    for (int i = 0; i < r.count; i++) {
      EXPECT_EQ(cells[i]->x0, r.left + 18 * i) << r.y;
      EXPECT_EQ(slot_of(p, cells[i]->fill), i % 2 ? r.odd_slot : r.even_slot) << r.y << " cell " << i;
      EXPECT_TRUE(same(cells[i]->pen, cells[i]->fill));
    }
  }
}

TEST(ColorPreview, SamplesSitInTheirChannelsCells) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  auto items = preview(p, 1);
  // cell index by (strip top, channel slot)
  std::set<int> seen[4][2];
  int count = 0;
  for (const PreviewItem& it : items) {
    if (it.kind != kPreviewText || !it.centered) continue;
    count++;
    EXPECT_EQ(it.font, kPreviewBig);
    EXPECT_FALSE(it.opaque);
    EXPECT_EQ(it.x1 - it.x0, 18);
    EXPECT_EQ((it.x0 - 50) % 18, 0);
    int strip = it.y0 == 90 ? 0 : it.y0 == 108 ? 1 : it.y0 == 142 ? 2 : it.y0 == 160 ? 3 : -1;
    int ch = slot_of(p, it.ink) == 18 ? 0 : slot_of(p, it.ink) == 19 ? 1 : -1;
    ASSERT_GE(strip, 0) << it.y0;
    ASSERT_GE(ch, 0);
    seen[strip][ch].insert((it.x0 - 50) / 18);
    for (const char16_t* c = it.text; *c; c++) EXPECT_TRUE(*c >= u'0' && *c <= u'9');
  }
  EXPECT_EQ(count, 32);
  const std::set<int> read1 = {0, 1, 2, 3}, read2 = {14, 15, 16, 17}, send1 = {7, 8, 9, 10}, send2 = {21, 22, 23, 24};
  for (int s : {0, 1}) {
    EXPECT_EQ(seen[s][0], read1);
    EXPECT_EQ(seen[s][1], read2);
    EXPECT_EQ(seen[s + 2][0], send1);
    EXPECT_EQ(seen[s + 2][1], send2);
  }
}

TEST(ColorPreview, NumbersMarkersAndLabels) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  auto items = preview(p, 0);
  // Cell numbers 001-004 above each data group, 001-028 above the send cells.
  std::vector<std::pair<int, int>> at80, at132, at230;
  for (const PreviewItem& it : items) {
    if (it.kind != kPreviewText || it.font != kPreviewSmall || it.text[0] != u'0') continue;
    int value = std::stoi(std::string(it.text, it.text + 3));
    EXPECT_FALSE(it.opaque);
    EXPECT_TRUE(same(it.ink, Rgb{0, 0, 0}));
    (it.y0 == 80 ? at80 : it.y0 == 132 ? at132 : at230).push_back({it.x0, value});
  }
  auto group = [](std::initializer_list<int> firsts) {
    std::vector<std::pair<int, int>> v;
    for (int f : firsts)
      for (int j = 0; j < 4; j++) v.push_back({50 + 18 * (f + j), j + 1});
    return v;
  };
  EXPECT_EQ(at80, group({0, 14}));
  EXPECT_EQ(at132, group({7, 21}));
  ASSERT_EQ(at230.size(), 28u);
  for (int i = 0; i < 28; i++) EXPECT_EQ(at230[i], std::make_pair(55 + 18 * i, i + 1));

  struct Gap { const char16_t* t; int x; } gaps[] = {{u"t=0012", 122}, {u"t=0011", 374}, {u"t=0008", 248}, {u"t=0123", 500}};
  for (const Gap& g : gaps) {
    const PreviewItem* it = find_text(items, g.t);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(it->x0, g.x);
    EXPECT_EQ(it->y0, 126);
    EXPECT_EQ(slot_of(p, it->ink), 16);
    EXPECT_FALSE(it->opaque);
  }
  int eofs = 0;
  for (const PreviewItem& it : items)
    if (it.kind == kPreviewText && text_of(it) == u"EOF") {
      EXPECT_EQ(it.x0, 554);
      EXPECT_TRUE(it.y0 == 80 || it.y0 == 132);
      EXPECT_EQ(slot_of(p, it.ink), 11);
      EXPECT_EQ(slot_of(p, it.paper), 12);
      EXPECT_TRUE(it.opaque);
      eofs++;
    }
  EXPECT_EQ(eofs, 2);

  const PreviewItem* asc = find_text(items, u"ASCchar");
  const PreviewItem* hex = find_text(items, u"HEXchar");
  ASSERT_TRUE(asc && hex);
  EXPECT_EQ(at(*asc), std::make_pair(15, 242));
  EXPECT_EQ(at(*hex), std::make_pair(15, 262));
  EXPECT_EQ(slot_of(p, asc->ink), 13);
  EXPECT_EQ(slot_of(p, asc->paper), 14);
  EXPECT_TRUE(asc->opaque);
  EXPECT_EQ(slot_of(p, hex->ink), 13);
  EXPECT_FALSE(hex->opaque);
  auto japanese = preview(p, 0, 1);
  EXPECT_NE(find_text(japanese, u"ASC\u6587\u5B57"), nullptr);
  EXPECT_NE(find_text(japanese, u"HEX\u6587\u5B57"), nullptr);
  EXPECT_EQ(find_text(japanese, u"ASCchar"), nullptr);

  const PreviewItem* answer = find_text(items, u"Answer HEX=03, : ASC=30,33,");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(std::u16string(answer->text).size(), 27u);
  EXPECT_EQ(at(*answer), std::make_pair(200, 330));
  EXPECT_TRUE(answer->opaque);
  EXPECT_EQ(slot_of(p, answer->paper), 15);
  EXPECT_TRUE(same(answer->ink, Rgb{0, 0, 0}));
}

TEST(ColorPreview, WindowsAndStatusBars) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  auto items = preview(p, 1);
  auto box_at = [&](int x0, int y0, int x1, int y1) -> const PreviewItem* {
    for (const PreviewItem& it : items)
      if (it.kind == kPreviewBox && it.x0 == x0 && it.y0 == y0 && it.x1 == x1 && it.y1 == y1) return &it;
    return nullptr;
  };
  struct Box { int x0, y0, x1, y1, fill_slot; } boxes[] = {
      {5, 70, 600, 371, -1}, {10, 200, 590, 221, -1}, {10, 220, 590, 281, 6}, {10, 290, 590, 311, -1},
      {10, 310, 590, 361, 6}, {5, 370, 600, 391, 8}, {5, 390, 600, 411, 9}, {5, 410, 600, 431, 10}};
  for (const Box& b : boxes) {
    const PreviewItem* it = box_at(b.x0, b.y0, b.x1, b.y1);
    ASSERT_NE(it, nullptr) << b.x0 << "," << b.y0;
    if (b.fill_slot < 0)
      EXPECT_TRUE(same(it->fill, Rgb{0, 0, 0}));  // the dark palette's base fill
    else
      EXPECT_EQ(slot_of(p, it->fill), b.fill_slot);
  }
  struct Text { const char16_t* t; int x, y; } texts[] = {
      {u"Input SEND Dialog", 230, 202}, {u"Checksum Dialog", 235, 292}, {u"Status Ber CH1", 245, 372},
      {u"Status Ber CH1&CH2", 235, 392}, {u"Status Ber Linemonitor", 220, 412}, {u"READ:", 5, 94},
      {u"SEND:", 5, 144}};
  for (const Text& t : texts) {
    const PreviewItem* it = find_text(items, t.t);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(it->x0, t.x);
    EXPECT_EQ(it->y0, t.y);
    EXPECT_TRUE(same(it->ink, Rgb{255, 255, 255}));
  }
}

TEST(ColorPreview, NoBoxIsPaintedOverATextDrawnBeforeIt) {
  Rgb p[kPaletteSlots];
  distinct_palette(p);
  auto items = preview(p, 0);
  for (size_t i = 0; i < items.size(); i++) {
    if (items[i].kind != kPreviewText) continue;
    const int x = items[i].x0 + 1, y = items[i].y0 + 1;
    for (size_t j = i + 1; j < items.size(); j++) {
      const PreviewItem& b = items[j];
      if (b.kind == kPreviewBox)
        EXPECT_FALSE(x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1)
            << std::string(items[i].text, items[i].text + 3) << " hidden by box " << j;
    }
  }
}

}  // namespace
