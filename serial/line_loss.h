// When an open port has gone, and when to try it again: what a receive
// thread concludes from its failed reads, and the schedule on which the
// main window opens a lost port again while "Reconnect a lost port" is on.
// The receive thread (serial/receive_win.cpp) and the main window's line
// watch (app/main_win.cpp) do the calls; nothing here touches a port.
#pragma once

#include <cstdint>

// Win32 error numbers that say the device behind a port is gone: a removed
// USB adapter (ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
// ERROR_DEVICE_REMOVED, ERROR_DEVICE_NOT_CONNECTED and their kin), and
// under Wine a pty whose far end closed (ERROR_NOT_READY for EIO,
// ERROR_BROKEN_PIPE for a read of nothing). A cancelled operation, a
// time-out or an invalid handle (the program's own close) is not a loss.
int line_error_means_gone(uint32_t error);

// Failed reads in a row that make a line lost: one failure may be a
// passing fault, a run of them that all say "gone" is not.
constexpr int32_t kLineLostAfterFailures = 3;

// A receive thread's count of failed reads in a row.
struct LineWatch {
  int32_t failures;  // gone-type failures in a row
  uint32_t error;    // the latest of them
};

// Counts one failed read with its error; 1 when the line is now lost.
// Any other error starts the count again.
int line_watch_failed(LineWatch* w, uint32_t error);
// A read that succeeded (or ended empty): the run is broken.
inline void line_watch_ok(LineWatch* w) { w->failures = 0; }

// One channel's reconnect state on the main window.
struct Reconnect {
  int32_t lost;           // 1 while the channel is lost and tried again
  uint32_t since_ms;      // tick count when it was lost
  uint32_t last_try_ms;   // tick count of the latest attempt (since_ms at first)
  uint32_t error;         // what said it was gone (0: the port list)
  int32_t attempts;       // opens tried
};

constexpr uint32_t kReconnectEveryMs = 1000;

void reconnect_lost(Reconnect* r, uint32_t now_ms, uint32_t error);
// 1 when the next attempt is due: kReconnectEveryMs after the latest one
// (or after the loss). Tick counts wrap; the differences do not mind.
int reconnect_due(const Reconnect* r, uint32_t now_ms);
void reconnect_tried(Reconnect* r, uint32_t now_ms);
// How long the channel has been lost.
inline uint32_t reconnect_outage_ms(const Reconnect* r, uint32_t now_ms) { return now_ms - r->since_ms; }
inline void reconnect_end(Reconnect* r) { *r = Reconnect{}; }
