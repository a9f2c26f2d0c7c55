// The rules of the preset strings windows that need no window: paging the
// ten rows over a list of 200 entries, the row number labels, and the
// editor's list operations (assemble, select, move, delete).
#pragma once

#include <cstdint>

#include "send/strings_file.h"

constexpr int kPresetRows = 10;     // rows shown at a time
constexpr int kPresetEntries = 200; // entries a list uses (of kStringsListEntries)
constexpr int kPresetLastPage = kPresetEntries - kPresetRows;  // 190

// The first shown entry after paging by `step` (-10 or +10): kept within
// 0 ... 190.
int32_t preset_page(int32_t first, int32_t step);

// The label of row r (0 ... 9): "%02d" of first + r + 1, or "<%02d>" when
// that entry is the marked selection. out holds at least 8 units.
constexpr int kPresetLabelUnits = 8;
void preset_row_label(int32_t first, int r, int32_t marked, char16_t out[kPresetLabelUnits]);

// Clicking row e: the selected entry (-1 for none) afterwards. Clicking the
// selected entry again deselects it.
int32_t preset_select(int32_t selected, int32_t e);

enum PresetAssembleResult { kPresetAdded = kEntryAdded, kPresetKnown = kEntryKnown, kPresetTooLong = kEntryTooLong };

// Puts a frame of n bytes at the top of the list: entries 0 ... 198 move down
// one place and entry 199 drops out. Nothing changes when an entry already
// begins with these bytes (kPresetKnown) or when n is not 1 ... 256
// (kPresetTooLong: an entry holds 256 units, and a frame cut short would
// be another frame).
int preset_list_assemble(StringEntry* list, const uint8_t* bytes, int n);
// Swaps entry `selected` with the one below (down = 1) or above (down = 0).
// Returns 1 when they were swapped: selected + 1 (or - 1) lies in 0 ... 199.
int preset_list_move(StringEntry* list, int32_t selected, int down);
// Removes entry `index` (0 ... 199): the entries behind it move up and entry
// 199 becomes empty. Returns 1 when it did.
int preset_list_delete(StringEntry* list, int32_t index);
// Empties all kStringsListEntries entries.
void preset_list_clear(StringEntry* list);
