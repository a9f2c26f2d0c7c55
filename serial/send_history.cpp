#include "serial/send_history.h"

#include <cstring>

void send_history_remember(SendHistory* h, const uint8_t* bytes, int n) {
  if (n < 1 || n > kEntryUnits) return;
  for (int e = 0; e < kHistoryEntries; e++) {
    const StringEntry& en = h->entry[e];
    // Places past an entry's count hold 0: they are not sent bytes, so a
    // shorter entry never stands for a frame that ends in 00 bytes.
    if (en.count < n) continue;
    int same = 1;
    for (int i = 0; i < n && same; i++) same = en.units[i] == bytes[i];
    if (same) return;
  }
  std::memmove(&h->entry[1], &h->entry[0], sizeof(StringEntry) * (kHistoryEntries - 1));
  StringEntry& top = h->entry[0];
  std::memset(&top, 0, sizeof top);
  for (int i = 0; i < n; i++) top.units[i] = bytes[i];
  top.count = n;
}

void send_history_delete(SendHistory* h, int index) {
  if (index < 0 || index >= kHistoryEntries) return;
  std::memmove(&h->entry[index], &h->entry[index + 1], sizeof(StringEntry) * (kHistoryEntries - 1 - index));
  std::memset(&h->entry[kHistoryEntries - 1], 0, sizeof(StringEntry));
}

void send_history_clear(SendHistory* h) { std::memset(h, 0, sizeof *h); }
