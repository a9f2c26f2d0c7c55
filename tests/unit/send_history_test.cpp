#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/send_history.h"

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

}  // namespace
