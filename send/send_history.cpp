#include "send/send_history.h"

#include <cstring>

void send_history_remember(SendHistory* h, const uint8_t* bytes, int n) {
  entry_list_add(h->entry, kHistoryEntries, bytes, n);
}

void send_history_delete(SendHistory* h, int index) { entry_list_remove(h->entry, kHistoryEntries, index); }

void send_history_clear(SendHistory* h) { std::memset(h, 0, sizeof *h); }
