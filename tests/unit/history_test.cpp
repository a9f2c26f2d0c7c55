#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/send_history.h"
#include "tools/strings_file.h"

namespace {

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

std::string entry_text(const StringEntry& e) {
  std::string s;
  for (int i = 0; i < e.count; i++) s += static_cast<char>(e.units[i]);
  return s;
}

void remember(SendHistory* h, const std::string& s) {
  auto b = bytes_of(s);
  send_history_remember(h, b.data(), static_cast<int>(b.size()));
}

TEST(SendHistory, NewestFirstWithoutRepeats) {
  static SendHistory h;
  send_history_clear(&h);
  remember(&h, "ABC");
  remember(&h, "ABC");
  EXPECT_EQ(entry_text(h.entry[0]), "ABC");
  EXPECT_EQ(h.entry[1].count, 0);
  remember(&h, "AB");  // an entry already begins with it
  EXPECT_EQ(h.entry[1].count, 0);
  remember(&h, "XYZ");
  EXPECT_EQ(entry_text(h.entry[0]), "XYZ");
  EXPECT_EQ(entry_text(h.entry[1]), "ABC");
  EXPECT_EQ(h.entry[1].units[3], 0);
  // "ABC" 00 is another frame: the zero after an entry's count is padding.
  std::vector<uint8_t> with_nul = {'A', 'B', 'C', 0};
  send_history_remember(&h, with_nul.data(), 4);
  EXPECT_EQ(h.entry[0].count, 4);
  EXPECT_EQ(entry_text(h.entry[1]), "XYZ");
}

TEST(SendHistory, TwentyFirstDropsTheOldestAndDeleteMovesUp) {
  static SendHistory h;
  send_history_clear(&h);
  for (int i = 0; i < 21; i++) remember(&h, "frame" + std::to_string(i));
  EXPECT_EQ(entry_text(h.entry[0]), "frame20");
  EXPECT_EQ(entry_text(h.entry[19]), "frame1");
  EXPECT_EQ(h.entry[20].count, 0);
  send_history_delete(&h, 6);
  EXPECT_EQ(entry_text(h.entry[6]), "frame13");
  EXPECT_EQ(entry_text(h.entry[18]), "frame1");
  EXPECT_EQ(h.entry[19].count, 0);
  send_history_delete(&h, 19);
  send_history_delete(&h, -1);
  send_history_delete(&h, 20);
  EXPECT_EQ(entry_text(h.entry[0]), "frame20");
}

TEST(SendHistory, FramesBeyondAnEntryAreNotKept) {
  static SendHistory h;
  send_history_clear(&h);
  std::vector<uint8_t> long_frame(258, 0x55);
  send_history_remember(&h, long_frame.data(), 258);
  EXPECT_EQ(h.entry[0].count, 0);
  send_history_remember(&h, long_frame.data(), 256);
  EXPECT_EQ(h.entry[0].count, 256);
  send_history_remember(&h, long_frame.data(), 0);
  EXPECT_EQ(h.entry[1].count, 0);
}

std::u16string fixed(std::u16string path) {
  char16_t buf[260] = {};
  for (size_t i = 0; i < path.size(); i++) buf[i] = path[i];
  if (strings_file_fix_extension(buf, 260)) return u"<too long>";
  return buf;
}

TEST(StringsFile, ExtensionRule) {
  EXPECT_EQ(fixed(u"C:\\q\\log.dat"), u"C:\\q\\log.txt");
  EXPECT_EQ(fixed(u"C:\\q\\log"), u"C:\\q\\log.txt");
  EXPECT_EQ(fixed(u"C:\\q\\a.b.c.d"), u"C:\\q\\a.b.txt");
  EXPECT_EQ(fixed(u"C:\\q\\LOG.TXT"), u"C:\\q\\LOG.TXT");
  EXPECT_EQ(fixed(u"C:\\q\\x.html"), u"C:\\q\\x.html.txt");
  EXPECT_EQ(fixed(u"C:\\" + std::u16string(253, u'a')), u"<too long>");
}

TEST(StringsFile, LinesAreHexPairsAndCrLf) {
  StringEntry e{};
  e.count = 3;
  e.units[0] = 0x02;
  e.units[1] = 0x41;
  e.units[2] = 0xFF;
  char16_t line[kStringsLineUnits];
  int n = strings_file_line(&e, line);
  EXPECT_EQ(std::u16string(line, n), u"0241FF\r\n");
  e.count = 999;  // a damaged count cannot run past the entry
  EXPECT_EQ(strings_file_line(&e, line), kStringsLineUnits);
}

}  // namespace
