#include "send/send_entry.h"

#include <cstring>

int entry_list_add(StringEntry* list, int entries, const uint8_t* bytes, int n) {
  if (n < 1 || n > kEntryUnits) return kEntryTooLong;
  for (int k = 0; k < entries; k++) {
    const StringEntry& e = list[k];
    // Places past an entry's count hold 0: they are not sent bytes, so a
    // shorter entry never stands for a frame that ends in 00 bytes.
    if (e.count < n) continue;
    int same = 1;
    for (int i = 0; i < n && same; i++) same = e.units[i] == bytes[i];
    if (same) return kEntryKnown;
  }
  std::memmove(&list[1], &list[0], sizeof(StringEntry) * (entries - 1));
  StringEntry& top = list[0];
  std::memset(&top, 0, sizeof top);
  for (int i = 0; i < n; i++) top.units[i] = bytes[i];
  top.count = n;
  return kEntryAdded;
}

int entry_list_remove(StringEntry* list, int entries, int index) {
  if (index < 0 || index >= entries) return 0;
  std::memmove(&list[index], &list[index + 1], sizeof(StringEntry) * (entries - 1 - index));
  std::memset(&list[entries - 1], 0, sizeof(StringEntry));
  return 1;
}
