// The receive thread of one channel: wait for characters, collect the line
// errors, read them, append them to the capture buffer in chunks of at most
// 100 bytes (kind 1 for CH1, kind 3 for CH2), and go round again while the
// channel's open flag is set.
//
// How the thread waits. It first tries an overlapped WaitCommEvent
// (EV_RXCHAR) on the channel's own wait event, and keeps that wait for the
// whole open where the driver honours it (Windows). Wine's fails on a pty
// with nothing queued (it gives up when reading the modem lines fails) and
// keeps a little memory for every such wait, so once a wait has failed
// while the channel is open the thread waits with a read instead: an
// overlapped ReadFile of one byte, which the wineserver completes when the
// pty becomes readable. The thread sleeps until the first byte of a chunk
// is there, and the chunk's time is taken as that read completes. The byte
// is the chunk's first; the bytes behind it are read into the buffer after
// it. The first-byte read is issued with no read time-outs, so it waits as
// long as the line is quiet; the port gets the user's time-outs back the
// moment the read is queued (first_byte_read_issue), and every other read
// runs under them, so the DCB dialog always shows and sets the user's.
// Under the user's time-outs the read would end empty after 102 ms (the
// standard ones) and be issued again, ten turns a second a channel, each a
// timer and a completion in the wineserver: that was half of the idle cost.
// A port whose reads fail (a pty whose far end closed), or one that would
// not take the waiting read's time-outs and has time-outs so short that
// the read comes back empty within a few ms, would make the loop busy, so
// such turns are followed by a pause (receive_plan.h).
//
// How the thread reads. ClearCommError says how many bytes are queued.
// Whole chunks already queued are read at once, up to 4000 bytes, and cut
// into chunks of 100: each of those chunks would end on its count at once
// under any time-outs, so one read gives the chunks a read of each would,
// at a fraction of the cost. Under Wine every read is a handful of round
// trips through the wineserver (the time-outs are fetched, the read is
// queued there, completed by an APC, its event set), and that, not the
// wait, is what receiving costs. Less than a chunk is completed by a read
// of the rest of one chunk under the user's time-outs, which decide where
// the chunk ends. The interval counts from the chunk's first byte, however
// the turn found it (receive_read_deadline): the thread ends the read itself
// once the interval has passed since that byte, whatever the driver's own
// interval timer would do (Wine's starts where a read first finds bytes,
// which after the first-byte read is the second byte). When a turn's last
// chunk was full, the next turn looks at the queue before it waits: during
// continuous traffic there is no wait at all.
//
// Chunk times. A chunk is timed when its first byte was seen; the chunks
// of one read that were all queued at that moment are timed back from it
// by the line time of the bytes queued behind each one's first byte
// (receive_chunk_time_us), so a continuous stream has no silence inside it.
//
// Figures (bench/results/throughput.md, latency.md; 2 cores shared with
// other work, Wine 8, CH1 and CH2 each receiving 92,160 bytes/s): polling
// the queue every millisecond and reading one chunk a turn, Quorrin and the
// wineserver together used 45 to 61 % of one core; with the first-byte
// read alone and still one chunk a read, no less (the reads were the cost);
// waiting with it and reading queued chunks together, 8 to 10 %, and one
// channel drains about 9 MB/s instead of 0.37 (6 % on a quiet machine).
// Idle with both ports open, 1.1 to 1.2 % together while the first-byte
// read ended on the user's total time-out every 102 ms, 0.6 to 0.7 % with
// the waiting read. Answers are timed to about 1 ms in the median (95th
// percentile 2.5 ms for answers after 2 ms), and the first chunk after a
// quiet line to a few ms (the 25 ms poll of a quiet line made it 13 to
// 18 ms late in the median).
//
// Close clears the open flag, then ends the wait or read (SetCommMask(port,
// 0) and CancelIoEx, repeated until the thread has ended); the thread also
// looks at the flag every 100 ms while a wait is pending (500 ms while a
// first-byte read is), so a close that comes between the loop's test and
// the wait cannot leave it waiting.
//
// A read still pending after its 1000 ms limit is cancelled and awaited, so
// the buffer and OVERLAPPED are never reused while the driver may still fill
// them; bytes it delivered before the cancel are kept.
#include "serial/line_loss.h"
#include "serial/port_win.h"

namespace {

constexpr DWORD kReadLimitMs = 1000;
constexpr DWORD kWaitSliceMs = 100;       // how often a pending wait looks at the open flag
constexpr DWORD kFirstByteSliceMs = 500;  // and a pending first-byte read
constexpr DWORD kShortEmptyTurnMs = 5;  // a first-byte read back empty sooner than this gets a pause

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

// Issues the one-byte read that waits for a chunk's first byte. It is
// issued with no read time-outs, so that it waits for its byte however long
// the line stays quiet instead of ending empty on the user's total time-out
// and being issued again; the port gets the user's time-outs back as soon
// as the read is queued (the wineserver gives a read its time-outs when it
// queues it, so the pending read keeps none). The lock keeps the DCB dialog
// from reading or setting the time-outs in between. Returns what ReadFile
// returned, with its last error.
BOOL first_byte_read_issue(Channel* c, DWORD* n) {
  std::lock_guard<std::mutex> hold(c->timeouts_lock);
  COMMTIMEOUTS wait = c->timeouts;
  wait.ReadIntervalTimeout = wait.ReadTotalTimeoutMultiplier = wait.ReadTotalTimeoutConstant = 0;
  const BOOL swapped = SetCommTimeouts(c->port, &wait);
  const BOOL done = ReadFile(c->port, c->read_buffer, 1, n, &c->read_ov);
  const DWORD error = GetLastError();
  if (swapped) SetCommTimeouts(c->port, &c->timeouts);
  SetLastError(error);
  return done;
}

// What the first-byte read gave.
enum FirstByte { kFirstByteGot, kFirstByteNone, kFirstByteFailed };

// Waits for the first byte of a chunk with a one-byte read into
// read_buffer[0]. kFirstByteNone: the read ended empty (close cancelled
// it, or a total time-out where the port would not take the waiting
// read's); kFirstByteFailed: the driver refused or failed the read.
FirstByte receive_first_byte(Channel* c) {
  c->read_buffer[0] = 0;
  DWORD n = 0;
  if (first_byte_read_issue(c, &n)) {
    if (!GetOverlappedResult(c->port, &c->read_ov, &n, FALSE)) return kFirstByteFailed;
    return n > 0 ? kFirstByteGot : kFirstByteNone;
  }
  if (GetLastError() != ERROR_IO_PENDING) return kFirstByteFailed;
  // Close cancels the read; the open flag is looked at every slice in case
  // a close came between the loop's test and the read.
  while (WaitForSingleObject(c->read_ov.hEvent, kFirstByteSliceMs) == WAIT_TIMEOUT) {
    if (c->open.load() == 0) CancelIoEx(c->port, &c->read_ov);
  }
  n = 0;
  if (GetOverlappedResult(c->port, &c->read_ov, &n, FALSE)) return n > 0 ? kFirstByteGot : kFirstByteNone;
  switch (GetLastError()) {
    case ERROR_OPERATION_ABORTED:  // close cancelled it
    case ERROR_TIMEOUT:            // a total time-out ended it empty
    case ERROR_SEM_TIMEOUT:
      return kFirstByteNone;
    default:
      return kFirstByteFailed;
  }
}

// The deadline of the read that completes a chunk begun by the first-byte
// read (receive_interval_deadline), from the user's time-outs.
DWORD interval_deadline(Channel* c) {
  COMMTIMEOUTS t;
  {
    std::lock_guard<std::mutex> hold(c->timeouts_lock);
    t = c->timeouts;
  }
  return receive_interval_deadline(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant);
}

// Reads up to `want` bytes into read_buffer + offset and returns the count
// (0 for nothing). With a deadline, a read still pending `deadline` ms
// after `since` (a tick count) is ended there.
DWORD receive_read(Channel* c, DWORD offset, DWORD want, DWORD since, DWORD deadline) {
  uint8_t* into = c->read_buffer + offset;
  ZeroMemory(into, want);
  DWORD n = 0;
  if (ReadFile(c->port, into, want, &n, &c->read_ov)) {
    if (!GetOverlappedResult(c->port, &c->read_ov, &n, FALSE)) return 0;
    return n;
  }
  if (GetLastError() != ERROR_IO_PENDING) return 0;
  DWORD start = GetTickCount();
  for (;;) {
    DWORD now = GetTickCount();
    DWORD left = now - start > kReadLimitMs ? 0 : kReadLimitMs - (now - start) + 1;
    if (deadline != kReceiveNoDeadline) {
      DWORD until_deadline = now - since >= deadline ? 0 : deadline - (now - since);
      if (until_deadline < left) left = until_deadline;
    }
    if (left == 0) break;
    WaitForSingleObject(c->read_ov.hEvent, left);
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

// Appends read_buffer[0 .. n - 1] as chunks of kReceiveChunk bytes (the
// last one may be shorter), of which `queued` were there when the first
// was seen at seen_time: each chunk is timed back from then by the line
// time of the bytes queued behind it (receive_chunk_time_us), never before
// the end of the channel's previous chunk, *ended. Returns the size of the
// last chunk.
DWORD receive_append(Channel* c, DWORD n, DWORD queued, uint8_t kind, int64_t seen_time, int64_t* ended) {
  DWORD last = 0;
  const LineShape shape = c->shape.load();
  for (DWORD at = 0, size; (size = receive_chunk_at(n, at)) > 0; at += size) {
    const int64_t t = receive_chunk_time_us(seen_time, queued, at, shape, *ended);
    capture_append_seen(&g_app.capture, c->read_buffer + at, static_cast<int>(size), kind, t, seen_time);
    // A received chunk's time is its first character's end.
    *ended = time_add_us(t, line_chars_us(shape, size - 1));
    last = size;
  }
  if (n > 0) g_line_activity_tick.store(GetTickCount());
  return last;
}

}  // namespace

DWORD WINAPI receive_thread(void* arg) {
  Channel* c = static_cast<Channel*>(arg);
  const uint8_t kind = c->index == 0 ? kKindRecvCh1 : kKindRecvCh2;
  SetCommMask(c->port, EV_RXCHAR);
  int look_first = 0;    // the last chunk was full: look at the queue before waiting
  int wait_fails = 0;    // the driver has given up a wait on an idle line
  DWORD fail_pause = 0;  // the pause after the latest failed first-byte read
  LineWatch watch = {};  // failed reads in a row that say the device is gone
  int64_t ended = kTimeUnknown;  // where the latest chunk's bytes ended on the line
  while (c->open.load() != 0) {
    DWORD errors = 0;
    COMSTAT stat = {};
    DWORD have = 0;   // bytes already in read_buffer (the first byte)
    DWORD since = 0;  // tick count when the first byte was taken
    // The chunk's time is the moment its first bytes were seen (the wait's
    // or the first-byte read's end, or the queue found holding them), not
    // the read's end: the read goes on collecting until the line has been
    // quiet for the read interval time-out, so its end says more about that
    // time-out than about when the bytes came.
    int64_t seen_time = kTimeUnknown;
    if (look_first || !wait_fails) {
      DWORD mask = EV_RXCHAR;
      // Characters likely to be waiting need no wait: it would only cost
      // round trips through the driver.
      int waited = look_first ? 1 : receive_wait(c, &mask);
      // A driver that fails a wait on an idle line (Wine's on a pty) is
      // waited on with a read from then on.
      if (!waited && c->open.load() != 0) wait_fails = 1;
      if (!waited) continue;
      ClearCommError(c->port, &errors, &stat);
      seen_time = capture_now_us(&g_app.capture);
      since = GetTickCount();
      c->accumulated_errors.fetch_or(errors);
      look_first = 0;
      if (!(mask & (EV_RXCHAR | EV_RXFLAG)) || stat.cbInQue == 0) continue;
    } else {
      DWORD began = GetTickCount();
      FirstByte first = receive_first_byte(c);
      if (first != kFirstByteGot) {
        if (c->open.load() == 0) break;
        if (first == kFirstByteFailed) {
          // A run of errors that say the device is gone ends the thread;
          // the main window's line watch sees why and closes the channel
          // or tries it again.
          const DWORD error = GetLastError();
          if (line_watch_failed(&watch, error)) {
            c->lost_error.store(error);
            break;
          }
          // A port whose reads fail would otherwise spin: back off.
          fail_pause = receive_fail_pause(fail_pause);
          Sleep(fail_pause);
        } else if (GetTickCount() - began < kShortEmptyTurnMs) {
          Sleep(receive_short_turn_pause(GetTickCount() - g_line_activity_tick.load()));
        }
        continue;
      }
      seen_time = capture_now_us(&g_app.capture);
      since = GetTickCount();
      fail_pause = 0;
      line_watch_ok(&watch);
      have = 1;
      ClearCommError(c->port, &errors, &stat);
      c->accumulated_errors.fetch_or(errors);
    }
    ReceiveRead plan = receive_plan(have, stat.cbInQue);
    // The interval counts from the chunk's first byte however this turn
    // found it; the thread ends the read there itself (Wine would count
    // from wherever the read first found bytes).
    DWORD deadline = receive_read_deadline(plan, interval_deadline(c));
    DWORD n = have + receive_read(c, have, plan.want, since, deadline);
    if (n > kReceiveBatch) n = kReceiveBatch;
    // A full last chunk may have left more behind: the next turn looks at
    // the queue before it waits.
    look_first = receive_append(c, n, have + stat.cbInQue, kind, seen_time, &ended) == kReceiveChunk;
    // No ResetEvent here: every ReadFile resets its OVERLAPPED's event
    // itself, and under Wine each call is one more round trip.
  }
  PurgeComm(c->port, PURGE_RXCLEAR);
  return 0;
}
