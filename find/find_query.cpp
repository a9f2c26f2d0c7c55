#include "find/find_query.h"

#include <algorithm>

namespace {

int stream_wanted(uint32_t streams, int kind) { return kind >= 1 && kind <= 4 && (streams >> (kind - 1)) & 1u; }
int channel_wanted(uint32_t streams, int ch) { return (streams >> (2 * (ch - 1))) & 3u; }

struct Adding {
  FindList* out;
  const CaptureSnapshot* s;
  int32_t length;
};

void add(FindList* out, const FindFound& f) {
  if (out->n < out->capacity) out->items[out->n++] = f;
  else out->more++;
}

FindFound at_record(const CaptureSnapshot& s, int32_t first, int32_t last, uint8_t what) {
  FindFound f = {};
  f.what = what;
  f.first = first;
  f.last = last;
  if (first >= 0 && first < s.count) {
    f.kind = s.records[first].kind;
    f.within = find_within_chunk(s.records, first);
    f.chunk_time_us = f.time_us = s.times ? s.times[first] : kTimeUnknown;
    f.channel = static_cast<uint8_t>(f.kind <= 2 ? 1 : 2);
  } else {
    f.chunk_time_us = f.time_us = kTimeUnknown;
  }
  return f;
}

int on_bytes(void* ctx, const FindHit& h) {
  Adding* a = static_cast<Adding*>(ctx);
  FindFound f = {};
  f.what = kFindBytes;
  f.kind = static_cast<uint8_t>(h.stream + 1);
  f.channel = static_cast<uint8_t>(h.stream < 2 ? 1 : 2);
  f.time_us = f.chunk_time_us = h.time_us;
  f.within = h.within;
  f.first = h.record;
  f.last = -1;
  // The last record: the pattern's bytes counted on through the stream's
  // records, over the gap markers between its chunks.
  if (h.record >= 0) {
    int32_t left = a->length;
    int32_t i = h.record;
    for (; i < a->s->count; i++) {
      if (a->s->records[i].kind != f.kind) continue;
      if (--left == 0) break;
    }
    f.last = i < a->s->count ? i : a->s->count - 1;
  }
  add(a->out, f);
  return 0;
}

void find_silences(FindPass* f, const CaptureSnapshot& s, FindList* out) {
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(s.records, s.times, s.count, &at, &gap, &c)) {
    const int ch = c.kind <= 2 ? 0 : 1;
    if (!channel_wanted(f->q.streams, ch + 1)) continue;
    if (f->have_prev[ch]) {
      const int64_t quiet = timeline_silence_us(f->prev[ch], c, f->q.shape);
      if (quiet != kTimeUnknown && quiet > f->q.silence_us) {
        FindFound found = at_record(s, c.first, c.first + c.count - 1, kFindSilence);
        found.detail = quiet;
        add(out, found);
      }
    }
    f->prev[ch] = c;
    f->have_prev[ch] = 1;
  }
}

int find_bad_frames(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel) {
  ModbusMonitorOptions o = f->q.modbus;
  o.events = s.events;
  o.event_count = s.event_count;
  o.base = s.base;
  if (modbus_monitor_decode_either(s.records, s.times, s.count, &o, &f->frames, &f->scratch, nullptr, cancel))
    return 1;
  const ModbusFrameList& l = f->frames;
  for (int32_t i = 0; i < l.n; i++) {
    const ModbusFrame& m = l.frames[i];
    if (!stream_wanted(f->q.streams, (m.channel - 1) * 2 + m.sent + 1)) continue;
    uint8_t why = 0;
    int64_t detail = 0;
    if (m.check != kMonitorOk) why = kFindBadCheck, detail = m.check;
    else if (m.fields & kFieldException) why = kFindBadException, detail = m.exception;
    // A request the stretch holds nothing after may yet be answered.
    else if (m.role == kMonitorRequest && m.pair < 0 && i + 1 < l.n) why = kFindBadNoAnswer;
    if (!why) continue;
    FindFound found = at_record(s, m.first_record, m.last_record, kFindBadFrame);
    found.time_us = m.time_us;
    found.why = why;
    found.detail = detail;
    found.channel = m.channel;
    add(out, found);
  }
  return 0;
}

void find_events(FindPass* f, const CaptureSnapshot& s, FindList* out) {
  if (s.count == 0) return;
  for (int32_t i = 0; i < s.event_count; i++) {
    const LineEvent& e = s.events[i];
    if (e.kind == kEventLoaded || e.kind == kEventCleared) continue;
    if (e.channel && !channel_wanted(f->q.streams, e.channel)) continue;
    int64_t place = e.place - s.base;
    if (place < 0 || place > s.count) continue;
    if (place == s.count) place = s.count - 1;
    // The event stands before a record; the view marks the chunk it opens.
    int32_t first = static_cast<int32_t>(place);
    while (first < s.count && s.records[first].kind >= 128) first++;
    if (first == s.count) first = static_cast<int32_t>(place);
    FindFound found = at_record(s, first, first, kFindLineEvent);
    found.time_us = e.time_us;
    found.why = e.kind;
    found.detail = e.detail;
    found.channel = e.channel;
    add(out, found);
  }
}

}  // namespace

void find_pass_begin(FindPass* f, const FindQuery& q) {
  f->q = q;
  f->have_prev[0] = f->have_prev[1] = 0;
  if (q.what == kFindBytes) find_search_begin(&f->bytes, q.pattern, q.streams);
}

void find_pass_end(FindPass* f) {
  modbus_frame_list_free(&f->frames);
  modbus_frame_list_free(&f->scratch);
}

void find_pass_next_stretch(FindPass* f) {
  if (f->q.what == kFindBytes) find_search_next_stretch(&f->bytes);
}

int find_pass_run(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel) {
  const int32_t before = out->n;
  int cancelled = 0;
  switch (f->q.what) {
    case kFindBytes: {
      Adding a = {out, &s, f->q.pattern.length};
      find_search_run(&f->bytes, s.records, s.times, s.count, on_bytes, &a);
      break;
    }
    case kFindSilence: find_silences(f, s, out); break;
    case kFindBadFrame: cancelled = find_bad_frames(f, s, out, cancel); break;
    case kFindLineEvent: find_events(f, s, out); break;
  }
  // The matcher reports a match where it ends; the list goes by where each begins.
  std::stable_sort(out->items + before, out->items + out->n,
                   [](const FindFound& a, const FindFound& b) { return a.first < b.first; });
  return cancelled;
}

int32_t find_time_first(const int64_t* times, int32_t count, int64_t at) {
  for (int32_t i = 0; i < count; i++)
    if (times[i] != kTimeUnknown && times[i] >= at) return i;
  return count;
}

int32_t find_within_chunk(const CaptureRecord* records, int32_t at) {
  int32_t i = at;
  while (i > 0 && records[i - 1].kind == records[at].kind) i--;
  return at - i;
}
