// The transmit path: every byte the send tools put on a line. Runs on the
// user-interface thread and blocks it until the write has completed.
#pragma once

#include "app/app_win.h"
#include "serial/send_history.h"

constexpr int kSendMax = 258;  // bytes one send carries at most

// Send bytes results.
enum SendResult {
  kSendOk = 0,
  kSendWriteFailed = 1,  // WriteFile or its completion failed
  kSendShort = 2,        // fewer bytes written than asked
  kSendTooLong = 3,      // more than kSendMax bytes: refused, nothing written
  kSendBadChannel = 4,   // channel neither 1 nor 2
};

extern SendHistory g_send_history;

// Writes count bytes to channel 1 (CH1) or 2 (CH2) and records them in the
// capture (kind 2 or 4) unless line monitor mode is on.
int send_bytes(HWND owner, int count, const uint8_t* bytes, int channel);
