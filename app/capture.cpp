#include "app/capture.h"

#include <cstdio>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "record/record_queue.h"

static void capture_forget_times(int64_t* times, int32_t count) {
  for (int32_t i = 0; i < count; i++) times[i] = kTimeUnknown;
}

int capture_allocate(Capture* cap) {
  if (cap->records) return 0;
  cap->records = static_cast<CaptureRecord*>(std::calloc(kCaptureRecords, sizeof(CaptureRecord)));
  cap->times = static_cast<int64_t*>(std::malloc(kCaptureRecords * sizeof(int64_t)));
  if (!cap->records || !cap->times) {
    capture_free(cap);
    return 1;
  }
  capture_forget_times(cap->times, kCaptureRecords);
  return 0;
}

void capture_free(Capture* cap) {
  std::free(cap->records);
  std::free(cap->times);
  cap->records = nullptr;
  cap->times = nullptr;
}

const char* line_event_name(uint8_t kind) {
  static const char* const kNames[] = {"?",      "opened",  "closed",  "lost",
                                      "back",   "settings", "loaded", "cleared", "recording-stopped", "loss", "refused"};
  return kind < sizeof kNames / sizeof kNames[0] ? kNames[kind] : "?";
}

int line_event_breaks(uint8_t kind) {
  return kind != kEventSettings && kind != kEventRecordStopped && kind != kEventRefused;
}

int line_event_peer(const LineEvent& e, char out[32]) {
  out[0] = 0;
  if ((e.kind != kEventOpened && e.kind != kEventRefused) || e.detail == 0) return 0;
  const uint32_t a = e.detail;
  if (a == kEventPeerIpv6) std::snprintf(out, 32, "IPv6 port %u", static_cast<unsigned>(e.port));
  else std::snprintf(out, 32, "%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF,
                     static_cast<unsigned>(e.port));
  return 1;
}

int32_t line_event_first_at(const LineEvent* events, int32_t n, int64_t place) {
  int32_t lo = 0, hi = n;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (events[mid].place < place) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

// Caller holds the lock: the time a chunk or an event goes in with. A time
// taken before the lock was had may be earlier than one that got in first;
// it takes that one's time, so the capture stays in time order.
static int64_t capture_in_order(Capture* cap, int64_t time_us) {
  if (time_us == kTimeUnknown) return time_us;
  if (cap->latest_time_us != kTimeUnknown && time_us < cap->latest_time_us) time_us = cap->latest_time_us;
  cap->latest_time_us = time_us;
  return time_us;
}

static void capture_flush_sent(Capture* cap, int64_t t, int rx_ch, int force);

int capture_add_event(Capture* cap, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail) {
  if (!cap->records) return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
  // A sent chunk still on its way was handed over before the event.
  capture_flush_sent(cap, capture_now_us(cap), -1, 1);
  const int64_t now = capture_in_order(cap, capture_now_us(cap));
  if (cap->event_count == kCaptureEvents) {  // the oldest gives way
    std::memmove(cap->events, cap->events + 1, (kCaptureEvents - 1) * sizeof(LineEvent));
    cap->event_count--;
  }
  LineEvent& e = cap->events[cap->event_count++];
  e.place = cap->base + cap->write_position.load(std::memory_order_relaxed);
  e.time_us = now;
  e.kind = kind;
  e.channel = channel;
  e.port = port;
  e.detail = detail;
  if (cap->recorder) record_queue_put_event(cap->recorder, kind, channel, port, detail, now);
  return 0;
}

int32_t capture_copy_events(Capture* cap, LineEvent* out, int64_t* base) {
  std::lock_guard<std::mutex> hold(cap->lock);
  *base = cap->base;
  std::memcpy(out, cap->events, static_cast<size_t>(cap->event_count) * sizeof(LineEvent));
  return cap->event_count;
}

// Caller holds the lock: drops the events before absolute place `base`.
static void capture_drop_events_before(Capture* cap, int64_t base) {
  int32_t n = 0;
  while (n < cap->event_count && cap->events[n].place < base) n++;
  if (n == 0) return;
  std::memmove(cap->events, cap->events + n, static_cast<size_t>(cap->event_count - n) * sizeof(LineEvent));
  cap->event_count -= n;
}

void capture_clear(Capture* cap) {
  std::lock_guard<std::mutex> hold(cap->lock);
  capture_flush_sent(cap, capture_now_us(cap), -1, 1);  // the recording keeps what went out
  cap->base += cap->write_position.load(std::memory_order_relaxed);
  cap->event_count = 0;
  cap->generation++;
  cap->write_position.store(0, std::memory_order_release);
  cap->last_marker_index = 0;
  CaptureView& v = cap->view;
  v.painted_position = 0;
  v.view_position = 0;
  v.end_view_position = 0;
  std::memcpy(v.end_marker, "EOF", 4);
  v.cursor_row = 0;
  v.cursor_col = 0;
  v.gap_x = v.gap_y = v.gap2_x = v.gap2_y = 0;
  v.gap_index = -1;
  v.eof_drawn = 0;
  v.select_anchor = v.select_end = -1;
  v.mark_first = v.mark_last = -1;
}

int capture_gap_units(int32_t elapsed_ms) {
  int32_t gap = elapsed_ms / 100;
  if (gap > 9999) gap = 9999;
  // A tick count that went backwards (it cannot on one machine, but a fake
  // clock or a loaded log can) must not print a minus sign into a marker.
  if (gap < 0) gap = 0;
  return gap;
}

static uint32_t capture_tick_now(const Capture* cap) { return cap->tick ? cap->tick() : 0; }

// One gap digit into a record below the write position, which the view may
// be reading at this moment: a relaxed atomic store, matching the loads of
// capture_byte and capture_marker2.
static void capture_store_digit(uint8_t* byte, int digit) {
  std::atomic_ref<uint8_t>(*byte).store(static_cast<uint8_t>('0' + digit), std::memory_order_relaxed);
}

// Caller holds the lock.
static void capture_write_gap_digits(Capture* cap, uint32_t now) {
  int32_t m = cap->last_marker_index;
  // A single-byte first chunk puts its marker at index 2: it never gets digits.
  if (m < 3) return;
  int gap = capture_gap_units(static_cast<int32_t>(now - cap->last_append_time));
  CaptureRecord* r = cap->records;
  capture_store_digit(&r[m].data, gap / 1000);
  capture_store_digit(&r[m].marker2, gap / 100 % 10);
  capture_store_digit(&r[m + 1].data, gap / 10 % 10);
  capture_store_digit(&r[m + 1].marker2, gap % 10);
}

static void capture_set_marker(CaptureRecord* r, uint8_t kind, char c1, char c2) {
  std::memset(r, 0, sizeof *r);
  r->kind = kind;
  r->data = static_cast<uint8_t>(c1);
  r->marker2 = static_cast<uint8_t>(c2);
}

static int capture_chunk_acceptable(const Capture* cap, int n, uint8_t kind) {
  return cap->records && n > 0 && n <= kCaptureMaxChunk && kind >= kKindRecvCh1 && kind <= kKindSentCh2;
}

// Caller holds the lock and has checked the chunk (capture_chunk_acceptable).
static void capture_append_locked(Capture* cap, const uint8_t* bytes, int n, uint8_t kind, int64_t time_us) {
  time_us = capture_in_order(cap, time_us);
  capture_write_gap_digits(cap, capture_tick_now(cap));

  int32_t w = cap->write_position.load(std::memory_order_relaxed);
  CaptureRecord* r = cap->records + w;
  int64_t* t = cap->times + w;
  for (int i = 0; i < n; i++) {
    std::memset(&r[i], 0, sizeof r[i]);
    r[i].kind = kind;
    r[i].data = bytes[i];
    r[i].position = static_cast<uint8_t>(i & 0xFF);
    t[i] = time_us;
  }
  int32_t p = w + n;
  capture_set_marker(&cap->records[p], kKindGapText, 't', '=');
  capture_set_marker(&cap->records[p + 1], kKindGapHigh, '0', '0');
  capture_set_marker(&cap->records[p + 2], kKindGapLow, '0', '0');
  capture_forget_times(cap->times + p, 3);
  cap->last_marker_index = p + 1;
  w = p + 3;
  cap->last_append_time = capture_tick_now(cap);

  if (w > kCaptureWrapThreshold) {
    std::memmove(cap->records, cap->records + kCaptureWrapShift,
                 static_cast<size_t>(w - kCaptureWrapShift) * sizeof(CaptureRecord));
    std::memmove(cap->times, cap->times + kCaptureWrapShift,
                 static_cast<size_t>(w - kCaptureWrapShift) * sizeof(int64_t));
    w -= kCaptureWrapShift;
    if (w < 0) w = 0;
    cap->last_marker_index -= kCaptureWrapShift;
    cap->base += kCaptureWrapShift;
    capture_drop_events_before(cap, cap->base);
  }
  cap->write_position.store(w, std::memory_order_release);
  // The recording gets the chunk as it came, whatever the buffer's wrap.
  if (cap->recorder) record_queue_put_chunk(cap->recorder, kind, time_us, bytes, n);
}

// Caller holds the lock: appends the sent chunks waiting for their time
// that are due by time t, earliest first; with `force` every waiting one,
// and for a chunk received on channel index rx_ch (-1: none) its own
// channel's whose write was handed over by t. One put in before its time is
// timed at t (kTimeUnknown: its own time): its last character had left by
// then, and no time goes into the capture ahead of the moment.
static void capture_flush_sent(Capture* cap, int64_t t, int rx_ch, int force) {
  for (;;) {
    int pick = -1;
    int64_t pick_at = 0;
    for (int ch = 0; ch < 2; ch++) {
      if (cap->sent_due_n[ch] == 0) continue;
      const Capture::SentDue& d = cap->sent_due[ch][0];
      int64_t at = d.time_us;
      if (t != kTimeUnknown && d.time_us > t) {
        const int forced = force || (ch == rx_ch && d.handed_us <= t);
        if (!forced) continue;
        at = t;
      } else if (t == kTimeUnknown && !force) {
        continue;
      }
      if (pick < 0 || at < pick_at) {
        pick = ch;
        pick_at = at;
      }
    }
    if (pick < 0) return;
    Capture::SentDue* due = cap->sent_due[pick];
    capture_append_locked(cap, due[0].bytes, due[0].n, pick == 0 ? kKindSentCh1 : kKindSentCh2, pick_at);
    cap->sent_due_n[pick]--;
    std::memmove(due, due + 1, static_cast<size_t>(cap->sent_due_n[pick]) * sizeof *due);
  }
}

// Caller holds the lock: the first write on its way to channel index ch
// handed over no later than time t, or -1.
static int capture_send_before(const Capture* cap, int ch, int64_t t) {
  if (t == kTimeUnknown) return -1;
  for (int i = 0; i < cap->sending_n[ch]; i++)
    if (cap->sending[ch][i] != kTimeUnknown && cap->sending[ch][i] <= t) return i;
  return -1;
}

// Caller holds the lock: forgets write i of channel index ch.
static void capture_send_forget(Capture* cap, int ch, int i) {
  cap->sending_n[ch]--;
  std::memmove(cap->sending[ch] + i, cap->sending[ch] + i + 1,
               static_cast<size_t>(cap->sending_n[ch] - i) * sizeof(int64_t));
}

// Caller holds the lock: a chunk received on channel index ch and seen at
// time_us waits while a write to that channel handed over no later than it
// is on its way (its answer must not go in before it), at most
// kCaptureSendHoldMs; the writes that have not reported back by then are
// taken as ended (a later end of one finds nothing to end), so a lost report
// never slows the channel's receiving.
static void capture_hold_behind_send(Capture* cap, int ch, int64_t time_us, std::unique_lock<std::mutex>& hold) {
  auto clear = [&] { return capture_send_before(cap, ch, time_us) < 0; };
  if (clear()) return;
  if (!cap->send_done.wait_for(hold, std::chrono::milliseconds(kCaptureSendHoldMs), clear)) {
    for (int i; (i = capture_send_before(cap, ch, time_us)) >= 0;) capture_send_forget(cap, ch, i);
  }
}

int capture_append_seen(Capture* cap, const uint8_t* bytes, int n, uint8_t kind, int64_t time_us, int64_t seen_us) {
  if (n == 0) return 0;
  if (!capture_chunk_acceptable(cap, n, kind)) return 1;
  std::unique_lock<std::mutex> hold(cap->lock);
  const int rx_ch = kind == kKindRecvCh1 ? 0 : kind == kKindRecvCh2 ? 1 : -1;
  if (rx_ch >= 0) capture_hold_behind_send(cap, rx_ch, seen_us, hold);
  // Sent chunks due by this one's time go first; its own channel's write
  // handed over before it was seen goes first whatever its time.
  capture_flush_sent(cap, time_us, -1, 0);
  if (rx_ch >= 0) capture_flush_sent(cap, seen_us, rx_ch, 0);
  capture_append_locked(cap, bytes, n, kind, time_us);
  return 0;
}

int capture_append(Capture* cap, const uint8_t* bytes, int n, uint8_t kind, int64_t time_us) {
  return capture_append_seen(cap, bytes, n, kind, time_us, time_us);
}

int64_t capture_send_begin(Capture* cap, int channel) {
  const int64_t now = capture_now_us(cap);
  if (channel != 1 && channel != 2) return now;
  const int ch = channel - 1;
  {
    std::lock_guard<std::mutex> hold(cap->lock);
    if (cap->sending_n[ch] == kCaptureSendsInFlight) capture_send_forget(cap, ch, 0);
    cap->sending[ch][cap->sending_n[ch]++] = now;
  }
  cap->send_done.notify_all();  // a held chunk's bound may have dropped the oldest
  return now;
}

int capture_send_end(Capture* cap, int channel, const uint8_t* bytes, int n, int64_t handed_us, int64_t line_us) {
  if (channel != 1 && channel != 2) return 1;
  const int ch = channel - 1;
  const uint8_t kind = channel == 1 ? kKindSentCh1 : kKindSentCh2;
  const int64_t now = capture_now_us(cap);
  int result = 0;
  {
    std::lock_guard<std::mutex> hold(cap->lock);
    capture_flush_sent(cap, now, -1, 0);
    if (n != 0) {
      // Its bytes queue behind the channel's sent chunk still on its way.
      int64_t from = handed_us;
      if (cap->sent_due_n[ch] > 0) {
        const int64_t before = cap->sent_due[ch][cap->sent_due_n[ch] - 1].time_us;
        if (from == kTimeUnknown || before > from) from = before;
      }
      int64_t left = time_add_us(from, line_us);
      if (left == kTimeUnknown) left = now;
      if (!capture_chunk_acceptable(cap, n, kind)) {
        result = 1;
      } else if (now != kTimeUnknown && left != kTimeUnknown && left > now) {
        if (cap->sent_due_n[ch] == kCaptureSentDue) {  // the oldest goes in now
          Capture::SentDue* due = cap->sent_due[ch];
          capture_append_locked(cap, due[0].bytes, due[0].n, kind, now);
          cap->sent_due_n[ch]--;
          std::memmove(due, due + 1, static_cast<size_t>(cap->sent_due_n[ch]) * sizeof *due);
        }
        Capture::SentDue& d = cap->sent_due[ch][cap->sent_due_n[ch]++];
        d.n = n;
        d.time_us = left;
        d.handed_us = handed_us;
        std::memcpy(d.bytes, bytes, static_cast<size_t>(n));
      } else {
        capture_append_locked(cap, bytes, n, kind, left);
      }
    }
    // Under the same hold as the append: what was held goes in after it. A
    // write the hold's bound already let go of has nothing left to end.
    for (int i = 0; i < cap->sending_n[ch]; i++) {
      if (cap->sending[ch][i] == handed_us) {
        capture_send_forget(cap, ch, i);
        break;
      }
    }
  }
  cap->send_done.notify_all();
  return result;
}

void capture_send_release(Capture* cap, int channel) {
  if (channel != 1 && channel != 2) return;
  {
    std::lock_guard<std::mutex> hold(cap->lock);
    cap->sending_n[channel - 1] = 0;
  }
  cap->send_done.notify_all();
}

void capture_record_to(Capture* cap, RecordQueue* queue) {
  std::lock_guard<std::mutex> hold(cap->lock);
  // A recording that ends keeps what went out before it ended, and says
  // what its hand-over refused last.
  capture_flush_sent(cap, capture_now_us(cap), -1, 1);
  if (cap->recorder) record_queue_put_losses(cap->recorder);
  cap->recorder = queue;
}

void capture_refresh_gap(Capture* cap) {
  if (!cap->records) return;
  std::lock_guard<std::mutex> hold(cap->lock);
  capture_flush_sent(cap, capture_now_us(cap), -1, 0);
  // A loss the recording has not said yet, on a line gone quiet since.
  if (cap->recorder) record_queue_put_losses(cap->recorder);
  capture_write_gap_digits(cap, capture_tick_now(cap));
}

// Caller holds the lock.
static void capture_replace_locked(Capture* cap, const uint8_t* data, int32_t count) {
  capture_flush_sent(cap, capture_now_us(cap), -1, 1);  // the recording keeps what went out
  std::memcpy(cap->records, data, static_cast<size_t>(count) * sizeof(CaptureRecord));
  capture_forget_times(cap->times, kCaptureRecords);
  cap->last_marker_index = 0;
  cap->base += cap->write_position.load(std::memory_order_relaxed);
  cap->event_count = 0;
  cap->generation++;
  // The latest time stays: a log's times never enter it, and the
  // recording goes on in time order across the load.
  cap->view.mark_first = cap->view.mark_last = -1;  // Find's match was in the records replaced
  cap->write_position.store(count, std::memory_order_release);
}

// Caller holds the lock; count is the write position.
static void capture_set_times_locked(Capture* cap, const int64_t* times, int32_t count, int64_t file_wall_offset_us);

int capture_replace(Capture* cap, const uint8_t* data, int32_t count) {
  if (!cap->records || count < 0 || count > kCaptureWrapThreshold) return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
  capture_replace_locked(cap, data, count);
  return 0;
}

int capture_load(Capture* cap, const uint8_t* data, int32_t count, const int64_t* times, int64_t file_wall_offset_us,
                 const LineEvent* events, int32_t event_count) {
  if (!cap->records || count < 0 || count > kCaptureWrapThreshold) return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
  capture_replace_locked(cap, data, count);
  if (times) capture_set_times_locked(cap, times, count, file_wall_offset_us);
  // The log's events, at their records, on this capture's clock as the
  // times are; without the times their times are not placeable.
  const int64_t shift = time_sub_us(file_wall_offset_us, cap->wall_offset_us);
  for (int32_t i = 0; i < event_count && i < kCaptureEvents; i++) {
    if (events[i].place < 0 || events[i].place > count) continue;
    LineEvent& e = cap->events[cap->event_count++];
    e = events[i];
    e.place = cap->base + events[i].place;
    e.time_us = times ? time_add_us(events[i].time_us, shift) : kTimeUnknown;
  }
  return 0;
}

int capture_snapshot_allocate(CaptureSnapshot* s) {
  if (s->records) return 0;
  s->records = static_cast<CaptureRecord*>(std::malloc(kCaptureRecords * sizeof(CaptureRecord)));
  s->times = static_cast<int64_t*>(std::malloc(kCaptureRecords * sizeof(int64_t)));
  s->count = 0;
  if (!s->records || !s->times) {
    capture_snapshot_free(s);
    return 1;
  }
  return 0;
}

void capture_snapshot_free(CaptureSnapshot* s) {
  std::free(s->records);
  std::free(s->times);
  s->records = nullptr;
  s->times = nullptr;
  s->count = 0;
}

int capture_snapshot_since(Capture* cap, int64_t from, CaptureSnapshot* s) {
  s->count = 0;
  s->event_count = 0;
  if (!cap->records || !s->records || !s->times) return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
  capture_flush_sent(cap, capture_now_us(cap), -1, 0);
  const int32_t w = cap->write_position.load(std::memory_order_relaxed);
  if (from < cap->base) from = cap->base;
  const int32_t at = from - cap->base < w ? static_cast<int32_t>(from - cap->base) : w;
  std::memcpy(s->records, cap->records + at, static_cast<size_t>(w - at) * sizeof(CaptureRecord));
  std::memcpy(s->times, cap->times + at, static_cast<size_t>(w - at) * sizeof(int64_t));
  s->count = w - at;
  s->base = cap->base + at;
  s->wall_offset_us = cap->wall_offset_us;
  s->generation = cap->generation;
  s->event_count = cap->event_count;
  std::memcpy(s->events, cap->events, static_cast<size_t>(cap->event_count) * sizeof(LineEvent));
  return 0;
}

int capture_snapshot_take(Capture* cap, CaptureSnapshot* s) { return capture_snapshot_since(cap, 0, s); }

int32_t capture_copy_since(Capture* cap, int64_t from, int32_t max, CaptureRecord* records, int64_t* times,
                           int64_t* first, int64_t* end) {
  *first = from;
  *end = from;
  if (!cap->records || max <= 0) return 0;
  std::lock_guard<std::mutex> hold(cap->lock);
  const int32_t w = cap->write_position.load(std::memory_order_relaxed);
  *end = cap->base + w;
  if (from < cap->base) from = cap->base;
  *first = from;
  if (from >= *end) return 0;
  const int32_t at = static_cast<int32_t>(from - cap->base);
  const int32_t n = w - at < max ? w - at : max;
  std::memcpy(records, cap->records + at, static_cast<size_t>(n) * sizeof(CaptureRecord));
  std::memcpy(times, cap->times + at, static_cast<size_t>(n) * sizeof(int64_t));
  return n;
}

int capture_copy(Capture* cap, int32_t first, int32_t count, CaptureRecord* out) {
  if (!cap->records || first < 0 || count < 0 || first > kCaptureRecords - count) return 1;
  if (count == 0) return 0;
  std::lock_guard<std::mutex> hold(cap->lock);
  std::memcpy(out, cap->records + first, static_cast<size_t>(count) * sizeof(CaptureRecord));
  return 0;
}

int capture_copy_times(Capture* cap, int32_t first, int32_t count, int64_t* out) {
  if (!cap->records || first < 0 || count < 0 || first > kCaptureRecords - count) return 1;
  if (count == 0) return 0;
  std::lock_guard<std::mutex> hold(cap->lock);
  std::memcpy(out, cap->times + first, static_cast<size_t>(count) * sizeof(int64_t));
  return 0;
}

int64_t time_add_us(int64_t a, int64_t b) {
  if (a == kTimeUnknown || b == kTimeUnknown) return kTimeUnknown;
  if (b > 0 && a > INT64_MAX - b) return kTimeUnknown;
  if (b < 0 && a <= INT64_MIN - b) return kTimeUnknown;
  return a + b;
}

int64_t time_sub_us(int64_t a, int64_t b) {
  if (a == kTimeUnknown || b == kTimeUnknown) return kTimeUnknown;
  if (b < 0 && a > INT64_MAX + b) return kTimeUnknown;
  if (b > 0 && a <= INT64_MIN + b) return kTimeUnknown;
  return a - b;
}

static void capture_set_times_locked(Capture* cap, const int64_t* times, int32_t count, int64_t file_wall_offset_us) {
  // Two offsets too far apart to subtract leave no time placeable.
  int64_t shift = time_sub_us(file_wall_offset_us, cap->wall_offset_us);
  for (int32_t i = 0; i < count; i++)
    cap->times[i] = time_add_us(times[i], shift);
}

int capture_set_times(Capture* cap, const int64_t* times, int32_t count, int64_t file_wall_offset_us) {
  if (!cap->records) return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
  if (count != cap->write_position.load(std::memory_order_relaxed)) return 1;
  capture_set_times_locked(cap, times, count, file_wall_offset_us);
  return 0;
}

CapturePlace capture_place(Capture* cap) {
  std::lock_guard<std::mutex> hold(cap->lock);
  return {cap->write_position.load(std::memory_order_relaxed), cap->base, cap->generation};
}
