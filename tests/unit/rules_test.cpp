// Message text keys, view geometry, the presence check and field numbers.
#include <gtest/gtest.h>

#include "app/commands.h"
#include "profile_fake.h"
#include "settings/message_text.h"

namespace {

TEST(MessageText, KeysAndLoading) {
  char16_t key[32];
  message_text_key(0, 0, key);
  EXPECT_EQ(std::u16string(key), u"No.0:comt-j");
  message_text_key(299, 3, key);
  EXPECT_EQ(std::u16string(key), u"No.299:comt-c");
  FakeProfile file;
  file.values[u"No.5:comt-e"] = u"Clear the capture?";
  file.values[u"No.299:comt-k"] = u"끝";
  file.values[u"No.300:comt-e"] = u"beyond";
  file.values[u"No.7:comt-j"] = std::u16string(100, u'あ');
  ProfileIo io = file.io();
  static MessageTable table;
  message_table_load(&table, &io);
  char16_t out[kMessageTextUnits] = u"unchanged";
  message_text_get(&table, 1, 5, out);
  EXPECT_EQ(std::u16string(out), u"Clear the capture?");
  message_text_get(&table, 2, 299, out);
  EXPECT_EQ(std::u16string(out), u"끝");
  message_text_get(&table, 0, 7, out);
  EXPECT_EQ(std::u16string(out), std::u16string(63, u'あ'));
  message_text_get(&table, 1, 6, out);
  EXPECT_EQ(std::u16string(out), u"");
  char16_t keep[kMessageTextUnits] = u"keep";
  message_text_get(&table, 4, 5, keep);
  message_text_get(&table, -1, 5, keep);
  EXPECT_EQ(std::u16string(keep), u"keep");
}

}  // namespace

#include "view/geometry.h"

namespace {

TEST(ViewGeometry, CellsAndRowsAndTooSmallAreas) {
  ViewMetrics m{10, 9, 18, 45};
  EXPECT_EQ(view_cell_width(m), 18);
  EXPECT_EQ(view_strip_height(m), 10 + 36 + 5);
  EXPECT_EQ(view_row_pitch(m), 105);
  EXPECT_EQ(view_cells_per_row(800, m), (800 - 6 - 45 - 10) / 18);
  EXPECT_EQ(view_visible_rows(600, m), (600 - 40) / 105);
  EXPECT_EQ(view_cells_per_row(70, m), 0);
  EXPECT_EQ(view_cells_per_row(0, m), 0);
  EXPECT_EQ(view_visible_rows(100, m), 0);
  EXPECT_EQ(view_visible_rows(-5, m), 0);
  ViewMetrics none{0, 0, 0, 0};
  EXPECT_EQ(view_cells_per_row(800, none), 0);
}

}  // namespace

#include "serial/presence.h"

namespace {

TEST(Presence, PortNumbersFromRegistryStrings) {
  EXPECT_EQ(presence_port_number(u"COM3"), 3);
  EXPECT_EQ(presence_port_number(u"COM12"), 12);
  EXPECT_EQ(presence_port_number(u"COM123"), 123);
  EXPECT_EQ(presence_port_number(u"COM1234"), 123);
  EXPECT_EQ(presence_port_number(u"COM"), 0);
  EXPECT_EQ(presence_port_number(u"CO"), 0);
  EXPECT_EQ(presence_port_number(u"COM 7"), 0);
  EXPECT_EQ(presence_port_number(u"COMx"), 0);
  EXPECT_EQ(presence_bits_for(u"COM3", 3, 4), 1);
  EXPECT_EQ(presence_bits_for(u"COM4", 3, 4), 2);
  EXPECT_EQ(presence_bits_for(u"COM1", 1, 10), 1);
  EXPECT_EQ(presence_bits_for(u"COM10", 1, 10), 2);
  EXPECT_EQ(presence_bits_for(u"COM5", 5, 5), 3);
}

}  // namespace

#include "app/text16.h"

namespace {

TEST(Text16, DecimalValuesOfFieldTexts) {
  EXPECT_EQ(text16_to_int(u"50", 4), 50);
  EXPECT_EQ(text16_to_int(u"12345", 4), 1234);  // a five-digit entry is read by its first four digits
  EXPECT_EQ(text16_to_int(u"", 4), 0);
  EXPECT_EQ(text16_to_int(u"abc", 7), 0);
  EXPECT_EQ(text16_to_int(u" -7x", 7), -7);
  EXPECT_EQ(text16_to_int(u"99999999999", 20), INT32_MAX);
  EXPECT_EQ(timer_repaint_period(text16_to_int(u"5000", 4)), 1000);
  EXPECT_EQ(timer_repaint_period(text16_to_int(u"", 4)), 100);
}

}  // namespace
