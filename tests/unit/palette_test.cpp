#include "settings/palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "profile_fake.h"

namespace {

ThemeFlags theme_of(const std::u16string& text, bool bom = true, size_t chunk = 3) {
  std::string bytes;
  if (bom) bytes += "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  ThemeReader r;
  theme_reader_init(&r);
  // Fed in odd pieces, as a file arrives block by block.
  for (size_t i = 0; i < bytes.size(); i += chunk)
    theme_reader_feed(&r, reinterpret_cast<const uint8_t*>(bytes.data()) + i,
                      std::min(chunk, bytes.size() - i));
  return r.flags;
}

TEST(ThemeFile, ValuesSetDarkModeAndMenuBar) {
  struct Case { std::u16string text; int dark, no_menu; } cases[] = {
      {u"dkm=0\r\n", 0, 0}, {u"dkm=1\r\n", 1, 0}, {u"dkm=2\r\n", 0, 1}, {u"dkm=3\r\n", 1, 1},
      {u"dkm=10\r\n", 1, 0},                // five characters compared
      {u"dkm=1\r\ndkm=0\r\n", 0, 0},        // the last complete line decides
      {u"dkm=3\r\ndkm=1", 1, 1},            // an unfinished line is ignored
      {u"dkm=3", 0, 0}, {u"", 0, 0}, {u"hello\r\n", 0, 0}, {u"dkm=3\n", 0, 0},
      {u"dkm=3\r\n\r\n", 0, 0},             // an empty line counts as a line
  };
  for (const Case& c : cases) {
    ThemeFlags f = theme_of(c.text);
    EXPECT_EQ(f.dark_mode, c.dark) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(f.menu_suppressed, c.no_menu) << std::string(c.text.begin(), c.text.end());
  }
  EXPECT_EQ(theme_of(u"dkm=3\r\n", false).dark_mode, 0);
}

TEST(ThemeFile, LongLinesEndAt510Characters) {
  std::u16string text = u"dkm=3" + std::u16string(505, u'x') + u"dkm=1\r\n";
  ThemeFlags f = theme_of(text, true, 7);
  // The first 510 characters form a line of their own (dkm=3), then
  // "dkm=1" CR LF is the last line.
  EXPECT_EQ(f.dark_mode, 1);
  EXPECT_EQ(f.menu_suppressed, 0);
  std::u16string only_long = u"dkm=2" + std::u16string(600, u'x');
  EXPECT_EQ(theme_of(only_long).menu_suppressed, 1);
}

TEST(ThemeFile, WrittenFileIsSixteenBytesAndReadsBack) {
  for (int v = 0; v <= 3; v++) {
    uint8_t out[32];
    size_t n = theme_file_bytes(v, out);
    ASSERT_EQ(n, 16u);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFE);
    EXPECT_EQ(out[10], '0' + v);
    ThemeReader r;
    theme_reader_init(&r);
    theme_reader_feed(&r, out, n);
    EXPECT_EQ(r.flags.dark_mode, v & 1);
    EXPECT_EQ(r.flags.menu_suppressed, v >> 1);
  }
}

TEST(ColorFile, DefaultsKeysAndOrder) {
  FakeProfile file;
  ProfileIo io = file.io();
  Palettes p;
  palettes_load(&p, &io);
  EXPECT_EQ(rgb_colorref(p.light[kSlotAscBack1]), 200u + 200u * 256 + 255u * 65536);
  EXPECT_EQ(p.dark[kSlotDialogBack].r, 32);
  EXPECT_EQ(p.dark[kSlotCh2Text].g, 128);
  EXPECT_EQ(p.light[kSlotButtonFace].r, 230);
  palettes_save(&p, &io);
  ASSERT_EQ(file.write_order.size(), 120u);
  EXPECT_EQ(file.write_order[0], u"rbgLs[0].r");
  EXPECT_EQ(file.write_order[2], u"rbgLs[0].b");
  EXPECT_EQ(file.write_order[59], u"rbgLs[19].b");
  EXPECT_EQ(file.write_order[60], u"rbgDs[0].r");
  EXPECT_EQ(file.write_order[119], u"rbgDs[19].b");
  EXPECT_EQ(file.values[u"rbgDs[16].g"], u"255");
}

TEST(ColorFile, ValuesKeepLowBitsAndRoundTrip) {
  FakeProfile file;
  file.values[u"rbgLs[3].g"] = u"300";
  file.values[u"rbgDs[0].r"] = u"-1";
  ProfileIo io = file.io();
  Palettes p;
  palettes_load(&p, &io);
  EXPECT_EQ(p.light[3].g, 300 & 0xFF);
  EXPECT_EQ(p.dark[0].r, 255);
  palettes_save(&p, &io);
  Palettes q;
  palettes_load(&q, &io);
  EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0);
}

TEST(ColorFile, ButtonFaceWrapsAsBytes) {
  Palettes p;
  palettes_defaults(&p);
  p.light[kSlotDialogBack] = {5, 240, 240};
  p.dark[kSlotDialogBack] = {250, 32, 0};
  palettes_derive_button_face(&p);
  EXPECT_EQ(p.light[kSlotButtonFace].r, 251);
  EXPECT_EQ(p.light[kSlotButtonFace].g, 230);
  EXPECT_EQ(p.light[kSlotButtonFace].b, 230);
  EXPECT_EQ(p.dark[kSlotButtonFace].r, 4);
  EXPECT_EQ(p.dark[kSlotButtonFace].g, 42);
  EXPECT_EQ(p.dark[kSlotButtonFace].b, 10);
}

}  // namespace
