// The send history: the last 20 frames sent with the send buttons, newest
// first, as byte values widened to code units.
#pragma once

#include <cstdint>

#include "send/send_entry.h"

constexpr int kHistoryEntries = 20;

struct SendHistory {
  StringEntry entry[22];  // 0 is the newest; 20 and 21 stay empty
};

// Adds a sent frame unless an entry already begins with the same bytes; the
// oldest of 20 entries drops out. A frame longer than an entry (256 bytes)
// is not kept: cut short it would resend something else.
void send_history_remember(SendHistory* h, const uint8_t* bytes, int n);
// Removes entry `index` (0 to 19); the entries behind it move up.
void send_history_delete(SendHistory* h, int index);
void send_history_clear(SendHistory* h);
