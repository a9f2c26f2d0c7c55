#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/preset_list.h"

namespace {

std::vector<StringEntry> make_list() { return std::vector<StringEntry>(kStringsListEntries); }

void put(StringEntry* e, const std::string& s) {
  *e = {};
  for (size_t i = 0; i < s.size(); i++) e->units[i] = static_cast<uint8_t>(s[i]);
  e->count = static_cast<int32_t>(s.size());
}

std::string text(const StringEntry& e) {
  std::string s;
  for (int i = 0; i < e.count; i++) s += static_cast<char>(e.units[i]);
  return s;
}

int assemble(StringEntry* list, const std::string& s) {
  return preset_list_assemble(list, reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
}

std::u16string label(int32_t first, int r, int32_t marked) {
  char16_t out[kPresetLabelUnits];
  preset_row_label(first, r, marked, out);
  return out;
}

TEST(PresetList, Paging) {
  const struct { int32_t first, step, want; } cases[] = {
      {0, -10, 0}, {0, 10, 10}, {180, 10, 190}, {190, 10, 190}, {190, -10, 180}, {5, -10, 0},
      {-50, 10, 0}, {1000, -10, 190}, {INT32_MAX, 10, 190}, {INT32_MIN, -10, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(preset_page(c.first, c.step), c.want) << c.first << " " << c.step;
}

TEST(PresetList, RowLabelsAndSelection) {
  EXPECT_EQ(label(0, 0, -1), u"01");
  EXPECT_EQ(label(190, 9, -1), u"200");
  EXPECT_EQ(label(0, 2, 2), u"<03>");
  EXPECT_EQ(label(10, 2, 12), u"<13>");
  EXPECT_EQ(label(10, 2, 2), u"13");  // the selection of another page is not marked here
  EXPECT_EQ(label(190, 9, 199), u"<200>");
  int32_t sel = preset_select(-1, 2);
  EXPECT_EQ(sel, 2);
  EXPECT_EQ(preset_select(sel, 2), -1);
  EXPECT_EQ(preset_select(2, 12), 12);
}

TEST(PresetList, AssembleAddsOnTopOnceAndDropsTheLast) {
  auto list = make_list();
  EXPECT_EQ(assemble(list.data(), "\x02" "ABC\x03"), kPresetAdded);
  EXPECT_EQ(assemble(list.data(), "\x02" "ABC\x03"), kPresetKnown);
  EXPECT_EQ(assemble(list.data(), "\x02" "AB"), kPresetKnown);  // an entry begins with it
  EXPECT_EQ(text(list[0]), "\x02" "ABC\x03");
  EXPECT_EQ(list[1].count, 0);
  // A frame longer than an entry it begins with is new.
  EXPECT_EQ(assemble(list.data(), std::string("\x02" "ABC\x03\x00", 6)), kPresetAdded);
  EXPECT_EQ(list[0].count, 6);
  for (int i = 2; i < 200; i++) ASSERT_EQ(assemble(list.data(), "E" + std::to_string(i)), kPresetAdded);
  EXPECT_EQ(text(list[199]), "\x02" "ABC\x03");
  EXPECT_EQ(assemble(list.data(), "NEW"), kPresetAdded);  // the 201st
  EXPECT_EQ(text(list[0]), "NEW");
  EXPECT_EQ(text(list[199]), std::string("\x02" "ABC\x03\x00", 6));
  EXPECT_EQ(list[200].count, 0);
  EXPECT_EQ(list[201].count, 0);
}

TEST(PresetList, AssembleRefusesWhatAnEntryCannotHold) {
  auto list = make_list();
  EXPECT_EQ(assemble(list.data(), ""), kPresetTooLong);
  EXPECT_EQ(assemble(list.data(), std::string(257, 'x')), kPresetTooLong);
  EXPECT_EQ(list[0].count, 0);
  EXPECT_EQ(assemble(list.data(), std::string(256, 'x')), kPresetAdded);
  EXPECT_EQ(list[0].count, 256);
}

TEST(PresetList, MoveAtTheEndsDoesNothing) {
  auto list = make_list();
  put(&list[0], "first");
  put(&list[199], "last");
  EXPECT_EQ(preset_list_move(list.data(), 0, 0), 0);
  EXPECT_EQ(preset_list_move(list.data(), 199, 1), 0);
  EXPECT_EQ(preset_list_move(list.data(), -1, 1), 0);
  EXPECT_EQ(text(list[0]), "first");
  EXPECT_EQ(text(list[199]), "last");
  EXPECT_EQ(preset_list_move(list.data(), 0, 1), 1);
  EXPECT_EQ(text(list[1]), "first");
  EXPECT_EQ(list[0].count, 0);
  EXPECT_EQ(preset_list_move(list.data(), 1, 0), 1);
  EXPECT_EQ(text(list[0]), "first");
}

TEST(PresetList, DeleteMovesTheRestUp) {
  auto list = make_list();
  for (int i = 0; i < 7; i++) put(&list[i], "e" + std::to_string(i + 1));
  EXPECT_EQ(preset_list_delete(list.data(), 4), 1);  // row 05
  EXPECT_EQ(text(list[4]), "e6");
  EXPECT_EQ(text(list[5]), "e7");
  EXPECT_EQ(list[6].count, 0);
  EXPECT_EQ(preset_list_delete(list.data(), -1), 0);
  EXPECT_EQ(preset_list_delete(list.data(), 200), 0);
  put(&list[199], "end");
  EXPECT_EQ(preset_list_delete(list.data(), 199), 1);
  EXPECT_EQ(list[199].count, 0);
  preset_list_clear(list.data());
  for (const StringEntry& e : list) EXPECT_EQ(e.count, 0);
}

}  // namespace
