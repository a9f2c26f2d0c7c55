// Send entries and the lists they are kept in (the send history, the preset
// strings): one frame of up to 256 code units per entry, newest at the top.
#pragma once

#include <cstdint>

constexpr int kEntryUnits = 256;

// One entry: a count and up to 256 code units; count 0 means empty.
struct StringEntry {
  int32_t count;
  char16_t units[kEntryUnits];
};

enum EntryAddResult { kEntryAdded = 0, kEntryKnown = 1, kEntryTooLong = 2 };

// Puts a frame of n bytes at the top of a list of `entries` entries: the
// entries move down one place and the last one drops out. Nothing changes
// when an entry already begins with these bytes (kEntryKnown) or when n is
// not 1 ... 256 (kEntryTooLong: cut short, the frame would be another one).
int entry_list_add(StringEntry* list, int entries, const uint8_t* bytes, int n);

// Removes entry `index` (0 ... entries - 1): the entries behind it move up
// and the last one becomes empty. Returns 1 when it did.
int entry_list_remove(StringEntry* list, int entries, int index);
