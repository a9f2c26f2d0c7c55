// The receive thread of one channel: wait for characters, collect the line
// errors, read at most 100 bytes, append them to the capture buffer as one
// chunk (kind 1 for CH1, kind 3 for CH2), and go round again while the
// channel's open flag is set.
//
// The wait is an overlapped WaitCommEvent on the channel's own wait event.
// Close clears the open flag, then ends the wait (SetCommMask(port, 0) and
// CancelIoEx, repeated until the thread has ended); the thread itself also
// looks at the flag every 100 ms while its wait is pending, so a close that
// comes between the loop's test and the wait cannot leave it waiting. Some drivers (Wine's on a pty among them) fail the wait at once when
// nothing is queued; while the channel is still open the thread then looks
// at the queue every millisecond while traffic flows and every 10 to 25 ms
// on a quiet line (see poll_pause), so an idle line does not spin a core,
// and keeps doing so instead of waiting until the channel is closed.
//
// While a turn leaves bytes in the driver's queue, the next turn reads them
// without waiting first: a burst is drained at the pace of the reads.
//
// A read still pending after its 1000 ms limit is cancelled and awaited, so
// the buffer and OVERLAPPED are never reused while the driver may still fill
// them; bytes it delivered before the cancel are kept.
#include "serial/port_win.h"

namespace {

constexpr DWORD kReadLimitMs = 1000;
constexpr DWORD kWaitSliceMs = 100;  // how often a pending wait looks at the open flag
// How long the polling thread pauses between looks at the queue: 1 ms for
// a second after the latest bytes in or out on either channel (a pty holds
// only a few kilobytes, so a long pause would hold a sender back, and an
// answer's time is only as good as the pause before its read), 10 ms for
// the next two seconds, then 25 ms, so an idle line costs well under 1 % of
// a core.
DWORD poll_pause(DWORD quiet_ms) {
  if (quiet_ms < 1000) return 1;
  if (quiet_ms < 3000) return 10;
  return 25;
}

// 1 when the wait ended with an event mask, 0 when it failed or was cancelled.
int receive_wait(Channel* c, DWORD* mask) {
  *mask = 0;
  ResetEvent(c->wait_ov.hEvent);
  if (WaitCommEvent(c->port, mask, &c->wait_ov)) return 1;
  if (GetLastError() != ERROR_IO_PENDING) return 0;
  // Close clears the open flag and ends the wait (SetCommMask, CancelIoEx);
  // should a close slip in between the loop's test and this wait, the flag
  // is looked at again every kWaitSliceMs, so the wait never outlives it.
  DWORD unused = 0;
  while (WaitForSingleObject(c->wait_ov.hEvent, kWaitSliceMs) == WAIT_TIMEOUT) {
    if (c->open.load() == 0) {
      CancelIoEx(c->port, &c->wait_ov);
      GetOverlappedResult(c->port, &c->wait_ov, &unused, TRUE);
      return 0;
    }
  }
  return GetOverlappedResult(c->port, &c->wait_ov, &unused, FALSE) ? 1 : 0;
}

// Reads up to kReceiveChunk bytes; returns the count (0 for nothing).
DWORD receive_read(Channel* c) {
  ZeroMemory(c->read_buffer, sizeof c->read_buffer);
  DWORD n = 0;
  if (ReadFile(c->port, c->read_buffer, kReceiveChunk, &n, &c->read_ov)) {
    if (!GetOverlappedResult(c->port, &c->read_ov, &n, FALSE)) return 0;
    return n;
  }
  if (GetLastError() != ERROR_IO_PENDING) return 0;
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed > kReadLimitMs) break;
    WaitForSingleObject(c->read_ov.hEvent, kReadLimitMs - elapsed + 1);
    if (GetOverlappedResult(c->port, &c->read_ov, &n, FALSE)) return n;
    if (GetLastError() != ERROR_IO_INCOMPLETE) return 0;
  }
  CancelIoEx(c->port, &c->read_ov);
  // A cancelled read reports failure, but what the driver delivered before
  // the cancel is in the buffer and counted: keep it.
  n = 0;
  if (GetOverlappedResult(c->port, &c->read_ov, &n, TRUE)) return n;
  return GetLastError() == ERROR_OPERATION_ABORTED ? n : 0;
}

}  // namespace

DWORD WINAPI receive_thread(void* arg) {
  Channel* c = static_cast<Channel*>(arg);
  const uint8_t kind = c->index == 0 ? kKindRecvCh1 : kKindRecvCh2;
  SetCommMask(c->port, EV_RXCHAR);
  DWORD still_queued = 0;  // bytes the last turn left in the driver's queue
  int wait_fails = 0;      // the driver has given up a wait on an idle line
  while (c->open.load() != 0) {
    DWORD mask = 0;
    int waited;
    if (still_queued > 0) {
      // Characters are known to be waiting: waiting for them would only
      // cost a round trip through the driver on every 100 bytes.
      mask = EV_RXCHAR;
      waited = 1;
    } else if (wait_fails) {
      waited = 0;
    } else {
      waited = receive_wait(c, &mask);
      // A driver that fails a wait on an idle line (Wine's on a pty) is
      // polled from then on: its waits do nothing for us, and Wine keeps a
      // little memory for every one of them.
      if (!waited && c->open.load() != 0) wait_fails = 1;
    }
    DWORD errors = 0;
    COMSTAT stat = {};
    int fresh = 0;  // the poll below has just read the errors and the queue
    still_queued = 0;
    // The chunk's time is the moment its bytes were seen in the queue, not
    // the read's end: the read goes on collecting until the line has been
    // quiet for the read interval time-out (100 ms), so its end says more
    // about that time-out than about when the bytes came.
    int64_t seen_time = kTimeUnknown;
    if (!waited) {
      // The driver gave up the wait with nothing queued: look at the queue
      // every few milliseconds until bytes arrive or the channel closes.
      while (c->open.load() != 0) {
        Sleep(poll_pause(GetTickCount() - g_line_activity_tick.load()));
        if (!ClearCommError(c->port, &errors, &stat)) break;
        if (errors) c->accumulated_errors.fetch_or(errors);
        if (stat.cbInQue > 0) {
          seen_time = capture_now_us(&g_app.capture);
          mask = EV_RXCHAR;
          waited = fresh = 1;
          break;
        }
      }
    }
    if (waited) {
      if (!fresh) {
        ClearCommError(c->port, &errors, &stat);
        seen_time = capture_now_us(&g_app.capture);
      }
      c->accumulated_errors.fetch_or(errors);
      if ((mask & (EV_RXCHAR | EV_RXFLAG)) && stat.cbInQue > 0) {
        DWORD n = receive_read(c);
        if (n > kReceiveChunk) n = kReceiveChunk;
        if (n > 0) capture_append(&g_app.capture, c->read_buffer, static_cast<int>(n), kind, seen_time);
        if (n > 0) g_line_activity_tick.store(GetTickCount());
        if (n > 0 && stat.cbInQue > n) still_queued = stat.cbInQue - n;
      }
    }
    ResetEvent(c->read_ov.hEvent);
  }
  PurgeComm(c->port, PURGE_RXCLEAR);
  return 0;
}
