#include "app/capture.h"

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
                                      "back",   "settings", "loaded", "cleared", "recording-stopped", "loss"};
  return kind < sizeof kNames / sizeof kNames[0] ? kNames[kind] : "?";
}

int line_event_breaks(uint8_t kind) { return kind != kEventSettings && kind != kEventRecordStopped; }

int32_t line_event_first_at(const LineEvent* events, int32_t n, int64_t place) {
  int32_t lo = 0, hi = n;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (events[mid].place < place) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

int capture_add_event(Capture* cap, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail) {
  if (!cap->records) return 1;
  const int64_t now = capture_now_us(cap);
  std::lock_guard<std::mutex> hold(cap->lock);
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

int capture_append(Capture* cap, const uint8_t* bytes, int n, uint8_t kind, int64_t time_us) {
  if (n == 0) return 0;
  if (!cap->records || n < 0 || n > kCaptureMaxChunk || kind < kKindRecvCh1 || kind > kKindSentCh2)
    return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
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
  return 0;
}

void capture_record_to(Capture* cap, RecordQueue* queue) {
  std::lock_guard<std::mutex> hold(cap->lock);
  cap->recorder = queue;
}

void capture_refresh_gap(Capture* cap) {
  if (!cap->records) return;
  std::lock_guard<std::mutex> hold(cap->lock);
  capture_write_gap_digits(cap, capture_tick_now(cap));
}

// Caller holds the lock.
static void capture_replace_locked(Capture* cap, const uint8_t* data, int32_t count) {
  std::memcpy(cap->records, data, static_cast<size_t>(count) * sizeof(CaptureRecord));
  capture_forget_times(cap->times, kCaptureRecords);
  cap->last_marker_index = 0;
  cap->base += cap->write_position.load(std::memory_order_relaxed);
  cap->event_count = 0;
  cap->generation++;
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

int capture_snapshot_take(Capture* cap, CaptureSnapshot* s) {
  s->count = 0;
  s->event_count = 0;
  if (!cap->records || !s->records || !s->times) return 1;
  std::lock_guard<std::mutex> hold(cap->lock);
  const int32_t w = cap->write_position.load(std::memory_order_relaxed);
  std::memcpy(s->records, cap->records, static_cast<size_t>(w) * sizeof(CaptureRecord));
  std::memcpy(s->times, cap->times, static_cast<size_t>(w) * sizeof(int64_t));
  s->count = w;
  s->base = cap->base;
  s->wall_offset_us = cap->wall_offset_us;
  s->event_count = cap->event_count;
  std::memcpy(s->events, cap->events, static_cast<size_t>(cap->event_count) * sizeof(LineEvent));
  return 0;
}

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
