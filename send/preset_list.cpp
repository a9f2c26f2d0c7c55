#include "send/preset_list.h"

#include <cstdio>
#include <cstring>

int32_t preset_page(int32_t first, int32_t step) {
  const int64_t next = static_cast<int64_t>(first) + step;
  if (next < 0) return 0;
  if (next > kPresetLastPage) return kPresetLastPage;
  return static_cast<int32_t>(next);
}

void preset_row_label(int32_t first, int r, int32_t marked, char16_t out[kPresetLabelUnits]) {
  const int32_t e = first + r;
  char text[kPresetLabelUnits * 2];
  std::snprintf(text, sizeof text, e == marked ? "<%02d>" : "%02d", static_cast<int>(e + 1));
  int i = 0;
  for (; text[i] && i < kPresetLabelUnits - 1; i++) out[i] = static_cast<char16_t>(text[i]);
  out[i] = 0;
}

int32_t preset_select(int32_t selected, int32_t e) { return e == selected ? -1 : e; }

int preset_list_assemble(StringEntry* list, const uint8_t* bytes, int n) {
  return entry_list_add(list, kPresetEntries, bytes, n);
}

int preset_list_move(StringEntry* list, int32_t selected, int down) {
  const int32_t other = down ? selected + 1 : selected - 1;
  if (selected < 0 || selected >= kPresetEntries || other < 0 || other >= kPresetEntries) return 0;
  StringEntry held;
  std::memcpy(&held, &list[selected], sizeof held);
  std::memcpy(&list[selected], &list[other], sizeof held);
  std::memcpy(&list[other], &held, sizeof held);
  return 1;
}

int preset_list_delete(StringEntry* list, int32_t index) { return entry_list_remove(list, kPresetEntries, index); }

void preset_list_clear(StringEntry* list) { std::memset(list, 0, sizeof(StringEntry) * kStringsListEntries); }
