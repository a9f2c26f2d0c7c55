#include "send/transmit_win.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "codec/frame.h"
#include "net/link_net_win.h"
#include "serial/line_loss.h"
#include "serial/line_params.h"
#include "serial/port_win.h"

SendHistory g_send_history = {};

namespace {
// A file transfer writes from its worker beside the window's senders: one
// write at a time per channel, as they share the channel's OVERLAPPED. The
// window's thread never waits for the worker's write (it may take a second
// on a slow line): its send is refused while one is on its way.
std::mutex g_write_lock[2];
// The worker of the transfer that holds each channel (transmit_hold).
std::atomic<DWORD> g_held_by[2];

int on_window_thread() {
  return g_main_window && GetWindowThreadProcessId(g_main_window, nullptr) == GetCurrentThreadId();
}

int held_from_this_thread(int channel) {
  const DWORD owner = g_held_by[channel - 1].load();
  return owner != 0 && owner != GetCurrentThreadId();
}
}  // namespace

void transmit_hold(int channel, DWORD thread) {
  if (channel == 1 || channel == 2) g_held_by[channel - 1].store(thread);
}


int64_t port_line_us(int channel, int count) {
  if (channel != 1 && channel != 2) return 0;
  // A network link has no line time of ours: its bytes have left when the
  // link has taken them.
  if (g_channel[channel - 1].net) return 0;
  // The line the port was given, as the receive thread times its chunks by.
  return line_chars_us(g_channel[channel - 1].shape.load(), count);
}

namespace {
int write_locked(int channel, const uint8_t* bytes, int count, int wait) {
  if (channel != 1 && channel != 2) return kSendBadChannel;
  if (count < 0 || count > kSendMax) return kSendTooLong;
  // The answer's read should come soon after this: poll the queues closely.
  if (held_from_this_thread(channel)) return kSendBusy;
  g_line_activity_tick.store(GetTickCount());
  std::unique_lock<std::mutex> hold(g_write_lock[channel - 1], std::defer_lock);
  if (wait) hold.lock();
  else if (!hold.try_lock()) return kSendBusy;
  return channel_link(channel - 1)->write(channel - 1, bytes, count);
}
}  // namespace

int port_write(int channel, const uint8_t* bytes, int count) {
  return write_locked(channel, bytes, count, !on_window_thread());
}

int com_port_write(int ch, const uint8_t* bytes, int count) {
  uint8_t buffer[kSendMax] = {};
  if (count > 0) std::memcpy(buffer, bytes, static_cast<size_t>(count));
  Channel* c = &g_channel[ch];
  DWORD written = 0;
  if (c->write_ov.hEvent) ResetEvent(c->write_ov.hEvent);
  if (!WriteFile(c->port, buffer, static_cast<DWORD>(count), &written, &c->write_ov)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      // A write that says the device has gone loses the line as the
      // receive thread's reads would: the main window's line watch acts.
      if (line_error_means_gone(error)) c->lost_error.store(error);
      DWORD errors = 0;
      COMSTAT stat = {};
      if (c->port) ClearCommError(c->port, &errors, &stat);
      c->accumulated_errors.fetch_or(errors);
      return kSendWriteFailed;
    }
    // A line held by flow control on a port without write time-outs would
    // keep this thread for good: past its limit the write is cancelled and
    // fails like any other.
    COMMTIMEOUTS t = {};
    if (!GetCommTimeouts(c->port, &t)) t = c->timeouts;
    DWORD limit = line_write_limit_ms(c->dcb.BaudRate, count, t.WriteTotalTimeoutMultiplier,
                                      t.WriteTotalTimeoutConstant);
    if (WaitForSingleObject(c->write_ov.hEvent, limit) != WAIT_OBJECT_0) {
      CancelIoEx(c->port, &c->write_ov);
      GetOverlappedResult(c->port, &c->write_ov, &written, TRUE);
      return kSendWriteFailed;
    }
    if (!GetOverlappedResult(c->port, &c->write_ov, &written, FALSE)) return kSendWriteFailed;
  } else if (!GetOverlappedResult(c->port, &c->write_ov, &written, FALSE)) {
    written = static_cast<DWORD>(count);
  }
  return written == static_cast<DWORD>(count) ? kSendOk : kSendShort;
}

namespace {

struct LookedAtWrite {
  OVERLAPPED ov;       // its event is made once and kept
  HANDLE port;         // the handle it was started on
  int busy;
  uint64_t started_ms;
  DWORD limit_ms;
  int count;
  int64_t handed_us;  // capture_send_begin's hand-over time
  // A network link's write is the link's once port_write_begin returns
  // (it records it when it has left): told done by the next look.
  int link_done;
  uint8_t buffer[kSendMax];  // the driver reads from here until the write ends
};
LookedAtWrite g_looked_at[2] = {};
constexpr DWORD kLookedAtWriteGraceMs = 5;

}  // namespace

int port_write_begin(int channel, const uint8_t* bytes, int count) {
  if ((channel != 1 && channel != 2) || count < 1 || count > kSendMax) return kPortWriteFailed;
  LookedAtWrite* w = &g_looked_at[channel - 1];
  Channel* c = &g_channel[channel - 1];
  // A write left from a window that closed meanwhile is taken first.
  if (w->busy) port_write_check(channel);
  if (w->busy || (!c->port && !c->net) || c->open.load() == 0 || held_from_this_thread(channel))
    return kPortWriteFailed;
  const int record = !settings_line_monitor(&g_app.settings);
  if (c->net) {
    g_line_activity_tick.store(GetTickCount());
    if (net_send(channel - 1, bytes, count, record) != kSendOk) return kPortWriteFailed;
    w->link_done = w->busy = 1;
    return kPortWriteBusy;
  }
  if (!w->ov.hEvent) w->ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!w->ov.hEvent) return kPortWriteFailed;
  std::memcpy(w->buffer, bytes, static_cast<size_t>(count));
  w->count = count;
  HANDLE event = w->ov.hEvent;
  ZeroMemory(&w->ov, sizeof w->ov);
  w->ov.hEvent = event;
  ResetEvent(event);
  g_line_activity_tick.store(GetTickCount());
  DWORD written = 0;
  w->handed_us = capture_send_begin(&g_app.capture, channel);
  if (!WriteFile(c->port, w->buffer, static_cast<DWORD>(count), &written, &w->ov) &&
      GetLastError() != ERROR_IO_PENDING) {
    capture_send_end(&g_app.capture, channel, nullptr, 0, w->handed_us, 0);
    DWORD errors = 0;
    COMSTAT stat = {};
    ClearCommError(c->port, &errors, &stat);
    c->accumulated_errors.fetch_or(errors);
    return kPortWriteFailed;
  }
  COMMTIMEOUTS t = {};
  if (!GetCommTimeouts(c->port, &t)) t = c->timeouts;
  w->limit_ms = line_write_limit_ms(c->dcb.BaudRate, count, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant);
  w->port = c->port;
  w->started_ms = GetTickCount64();
  w->busy = 1;
  // A write on a free line ends within a millisecond or two: a short look
  // lets the caller record it at once, with the time it really completed.
  WaitForSingleObject(w->ov.hEvent, kLookedAtWriteGraceMs);
  return kPortWriteBusy;
}

int port_write_check(int channel) {
  if (channel != 1 && channel != 2) return kPortWriteIdle;
  LookedAtWrite* w = &g_looked_at[channel - 1];
  Channel* c = &g_channel[channel - 1];
  if (!w->busy) return kPortWriteIdle;
  if (w->link_done) {
    w->busy = w->link_done = 0;
    return kPortWriteDone;
  }
  // A close ends the write with the handle; the OVERLAPPED says so without it.
  if (!HasOverlappedIoCompleted(&w->ov)) {
    if (c->port == w->port && GetTickCount64() - w->started_ms <= w->limit_ms) return kPortWriteBusy;
    // Held past its limit: cancelled. The driver ends it soon; until it
    // has, the buffer stays the driver's and a later look takes the end
    // (a cancelled write ends with an error status: failed).
    if (c->port == w->port) CancelIoEx(w->port, &w->ov);
    return kPortWriteBusy;
  }
  w->busy = 0;
  const DWORD written = static_cast<DWORD>(w->ov.InternalHigh);
  const int done = w->ov.Internal == 0 && written == static_cast<DWORD>(w->count);
  // Timed from its hand-over, not from this look, which may come a tick later.
  capture_send_end(&g_app.capture, channel, w->buffer, done && !settings_line_monitor(&g_app.settings) ? w->count : 0,
                   w->handed_us, port_line_us(channel, w->count));
  return done ? kPortWriteDone : kPortWriteFailed;
}

namespace {
int send_recorded(int count, const uint8_t* bytes, int channel, int wait) {
  if (held_from_this_thread(channel)) return kSendBusy;
  // A network link records what it sent itself, once it has left.
  if (g_channel[channel - 1].net && g_channel[channel - 1].open.load() != 0) {
    g_line_activity_tick.store(GetTickCount());
    return net_send(channel - 1, bytes, count, !settings_line_monitor(&g_app.settings));
  }
  const int64_t handed = capture_send_begin(&g_app.capture, channel);
  const int result = write_locked(channel, bytes, count, wait);
  // The capture shows what went out, timed when its last character left.
  const int record = result == kSendOk && !settings_line_monitor(&g_app.settings);
  capture_send_end(&g_app.capture, channel, bytes, record ? count : 0, handed, port_line_us(channel, count));
  return result;
}
}  // namespace

int send_bytes_unwaited(int count, const uint8_t* bytes, int channel) {
  if (channel != 1 && channel != 2) return kSendBadChannel;
  if (count < 0 || count > kSendMax) return kSendTooLong;
  return send_recorded(count, bytes, channel, 0);
}

int send_bytes(HWND owner, int count, const uint8_t* bytes, int channel) {
  if (count < 0 || count > kSendMax) {
    show_texts(owner, L"Error", {kTextFrameTooLong, kTextNothingSent}, nullptr, count, kSendMax);
    return kSendTooLong;
  }
  if (channel != 1 && channel != 2) {
    MessageBoxW(owner, L"Not type ch", L"Error", MB_OK);
    return kSendBadChannel;
  }
  return send_recorded(count, bytes, channel, !on_window_thread());
}

int send_frame_bytes(HWND owner, int count, const char16_t* units, int frame, uint8_t bytes[kSendMax], int32_t* length) {
  char16_t work[kSendMax] = {};
  if (count < 0) count = 0;
  if (count > kEntryUnits) count = kEntryUnits;
  for (int i = 0; i < count; i++) work[i] = units[i];
  *length = 0;
  if (frame_assemble(&g_app.settings, &ansi_codec_win, work, count, frame, bytes, length) != kFrameOk) {
    show_texts(owner, L"Error", {kTextFramedTooLong, kTextSendLimit, kTextNothingSent}, nullptr,
               static_cast<int>(*length), kSendMax);
    return 1;
  }
  return 0;
}

int send_characters(HWND owner, int count, const char16_t* units, int channel, int frame, int remember) {
  uint8_t bytes[kSendMax];
  int32_t length = 0;
  if (send_frame_bytes(owner, count, units, frame, bytes, &length) != 0) return 0;
  const int sent = send_bytes(owner, length, bytes, channel);
  if (sent != kSendOk) {
    if (sent == kSendBusy) show_texts(owner, L"Quorrin", {kTextSendBusy, kTextNothingSent}, nullptr, channel);
    else show_message(owner, kTextSendFailed, 0, L"Error");
    return 0;
  }
  if (remember) send_history_remember(&g_send_history, bytes, length);
  return 0;
}
