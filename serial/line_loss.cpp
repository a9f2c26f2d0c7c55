#include "serial/line_loss.h"

namespace {

// The Win32 numbers, spelled out so the core needs no Windows header.
constexpr uint32_t kGone[] = {
    2,     // ERROR_FILE_NOT_FOUND: the device object has gone
    5,     // ERROR_ACCESS_DENIED: a removed USB adapter's handle
    20,    // ERROR_BAD_UNIT
    21,    // ERROR_NOT_READY: EIO under Wine (a pty whose far end closed)
    22,    // ERROR_BAD_COMMAND
    31,    // ERROR_GEN_FAILURE
    55,    // ERROR_DEV_NOT_EXIST
    109,   // ERROR_BROKEN_PIPE: a read of nothing under Wine
    233,   // ERROR_PIPE_NOT_CONNECTED: EPIPE under Wine
    433,   // ERROR_NO_SUCH_DEVICE
    1117,  // ERROR_IO_DEVICE
    1167,  // ERROR_DEVICE_NOT_CONNECTED
    1617,  // ERROR_DEVICE_REMOVED
};

}  // namespace

int line_error_means_gone(uint32_t error) {
  for (uint32_t e : kGone)
    if (e == error) return 1;
  return 0;
}

int line_watch_failed(LineWatch* w, uint32_t error) {
  if (!line_error_means_gone(error)) {
    w->failures = 0;
    return 0;
  }
  w->error = error;
  if (w->failures < kLineLostAfterFailures) w->failures++;
  return w->failures >= kLineLostAfterFailures;
}

void reconnect_lost(Reconnect* r, uint32_t now_ms, uint32_t error) {
  r->lost = 1;
  r->since_ms = r->last_try_ms = now_ms;
  r->error = error;
  r->attempts = 0;
}

int reconnect_due(const Reconnect* r, uint32_t now_ms) {
  return r->lost && now_ms - r->last_try_ms >= kReconnectEveryMs;
}

void reconnect_tried(Reconnect* r, uint32_t now_ms) {
  r->last_try_ms = now_ms;
  r->attempts++;
}
