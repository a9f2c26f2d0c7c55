// The two serial channels: open, configure and close one channel's port,
// and the receive thread that feeds the capture buffer from it.
//
// Threads: open, close and the configuration dialog run on the user-interface
// thread. Each open channel has one receive thread. `open` is the thread's run
// flag: set before the thread starts, cleared by close before CancelIoEx, so
// the thread's cancelled wait or read returns, it sees 0 and ends; close waits
// for that end before it closes the handles; should the thread outlive the
// close's limit, its handle is kept and the channel cannot be opened again
// until it has ended.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/app_win.h"
#include "serial/receive_plan.h"

struct Channel {
  int index;                      // 0 CH1, 1 CH2
  std::atomic<int32_t> open;      // channel open flag, the receive thread's run flag
  HANDLE port;                    // 0 when closed
  HANDLE thread;
  OVERLAPPED read_ov;             // manual-reset event, made at open
  OVERLAPPED wait_ov;             // the receive thread's WaitCommEvent
  OVERLAPPED write_ov;            // the transmit path
  DCB dcb;
  COMMTIMEOUTS timeouts;
  COMMCONFIG config;
  std::atomic<uint32_t> accumulated_errors;  // ORed by the receive thread and the UI thread
  uint8_t read_buffer[kReceiveBatch];
};

extern Channel g_channel[2];

// Tick count of the latest bytes read or written on either channel. An
// answer is most likely soon after a request (or, in line monitor mode,
// after the other channel's data), so a receive thread whose first-byte
// reads come back empty at once (time-outs that short) pauses least then.
extern std::atomic<uint32_t> g_line_activity_tick;

// 0 on success; 1 after the failure was shown to the user.
int channel_open(HWND owner, int ch);
int channel_apply_parameters(HWND owner, int ch);
void channel_close(int ch);
void channel_config_dialog(HWND owner, int ch);
int channel_read_back(HWND owner, int ch);

inline int channel_is_open(int ch) { return g_channel[ch].open.load() == 1; }

// serial/receive_win.cpp
DWORD WINAPI receive_thread(void* channel);
